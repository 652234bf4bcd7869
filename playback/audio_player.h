#pragma once
// Opens audio files as streams of the audio library and measures them.
// Streams opened here belong to the caller, who frees them with FreeStream.
// Window thread. The object keeps no state.
#include <cstdint>
#include <string>

#include "recording/audio_library.h"

class AudioPlayer {
 public:
  // A stream on the file at `path` (UTF-8), 0 when nothing exists there
  // (the library is then not asked) or the library cannot read it.
  HSTREAM OpenStream(const std::string& path) const;
  // Length in bytes; all bits set on failure.
  QWORD64 GetLength(HSTREAM handle) const;
  // Non-zero when the stream was released.
  BOOL32 FreeStream(HSTREAM handle) const;
  // Seconds for a byte count; negative on failure.
  double BytesToSeconds(HSTREAM handle, QWORD64 bytes) const;

  // part 0: whole minutes; any other part: whole seconds past the minute,
  // keeping the sign of `seconds`. Both truncated toward zero.
  static std::int32_t SplitSeconds(double seconds, std::int32_t part);

  std::int32_t LengthMinutes(HSTREAM handle) const;
  std::int32_t LengthSeconds(HSTREAM handle) const;
  // "mm:ss", minutes not limited to two digits; a failed measurement (-1 s)
  // gives "00:0-1".
  std::string LengthText(HSTREAM handle) const;

  // The text LengthText gives for a stream of `seconds`.
  static std::string LengthTextFor(double seconds);
  // The two numbers as LengthText writes them.
  static std::string FormatLength(std::int32_t minutes, std::int32_t seconds);

 private:
  double LengthInSeconds(HSTREAM handle) const;
};
