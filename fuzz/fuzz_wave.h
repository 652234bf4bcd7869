#pragma once
// What the program does with a stream it opened: measure it, read it to the
// end, go back to the start, read again, free it. Checks what the library
// promises about the counts.
#include <cstdint>
#include <vector>

#include "fuzz_support.h"
#include "recording/audio_library.h"

namespace fuzz {

inline void InitLibraryOnce() {
  static const bool ready = BASS_Init(0, 44100, 0, nullptr, nullptr) != 0;
  if (!ready) std::abort();
}

inline void ExerciseStream(HSTREAM stream) {
  const QWORD64 length = BASS_ChannelGetLength(stream, BASS_POS_BYTE);
  FUZZ_CHECK(length != ~QWORD64{0});
  FUZZ_CHECK(BASS_ChannelBytes2Seconds(stream, length) >= 0.0);
  static std::vector<unsigned char> buffer(1 << 14);
  QWORD64 total = 0;
  // The library reports the end with -1; a stream that never ends would
  // show up as a libFuzzer timeout.
  for (;;) {
    const std::int32_t got = BASS_ChannelGetData(stream, buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    if (got < 0) {
      FUZZ_CHECK(BASS_ErrorGetCode() == BASS_ERROR_ENDED);
      break;
    }
    FUZZ_CHECK(static_cast<std::size_t>(got) <= buffer.size());
    total += static_cast<QWORD64>(got);
    if (got == 0) break;
  }
  FUZZ_CHECK(total <= length);
  // Some codecs cannot seek; that must be reported, and a stream that went
  // back to the start gives its bytes again.
  if (BASS_ChannelSetPosition(stream, 0, BASS_POS_BYTE)) {
    if (total > 0) FUZZ_CHECK(BASS_ChannelGetData(stream, buffer.data(), 4096) > 0);
  } else {
    FUZZ_CHECK(BASS_ErrorGetCode() != BASS_OK);
  }
  FUZZ_CHECK(BASS_StreamFree(stream));
}

}  // namespace fuzz
