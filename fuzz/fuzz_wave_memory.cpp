// Memory streams on arbitrary bytes, as the program opens its own recording
// image for playback: 16-bit and float output.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_wave.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::InitLibraryOnce();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An exact-size copy, so ASan sees any read past the caller's bytes.
  const std::vector<std::uint8_t> bytes(data, data + size);
  for (const std::uint32_t flags : {BASS_STREAM_DECODE, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT}) {
    const HSTREAM stream = BASS_StreamCreateFile(1, bytes.data(), 0, bytes.size(), flags);
    if (stream == 0) {
      FUZZ_CHECK(BASS_ErrorGetCode() != BASS_OK);
      continue;
    }
    fuzz::ExerciseStream(stream);
  }
  return 0;
}
