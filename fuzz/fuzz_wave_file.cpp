// File streams on arbitrary file contents: the library's file reader and
// the player's measurement of a recording in the list.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_wave.h"
#include "playback/audio_player.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::InitLibraryOnce();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = fuzz::TempFolder() + "/input.wav";
  fuzz::WriteFile(path, data, size);

  const HSTREAM stream = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
  if (stream != 0) fuzz::ExerciseStream(stream);
  else FUZZ_CHECK(BASS_ErrorGetCode() != BASS_OK);

  const AudioPlayer player;
  const HSTREAM listed = player.OpenStream(path);
  if (listed != 0) {
    const std::string text = player.LengthText(listed);
    FUZZ_CHECK(text.size() >= 5 && text.find(':') != std::string::npos);
    FUZZ_CHECK(player.FreeStream(listed));
  }
  return 0;
}
