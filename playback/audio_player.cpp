#include "playback/audio_player.h"

#include <cmath>
#include <filesystem>
#include <limits>
#include <system_error>

namespace {

// Truncates toward zero into 32 bits; out-of-range values and NaN cannot come
// from a real length, they are clamped rather than left undefined.
std::int32_t TruncateToInt32(double v) {
  if (std::isnan(v)) return 0;
  const double t = std::trunc(v);
  if (t >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
    return std::numeric_limits<std::int32_t>::max();
  if (t <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
    return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(t);
}

// Two digits at least; 0 to 9 and negatives get a leading "0" ("0-1").
std::string NumberText(std::int32_t n) {
  const std::string digits = std::to_string(n);
  return n > 9 ? digits : "0" + digits;
}

}  // namespace

HSTREAM AudioPlayer::OpenStream(const std::string& path) const {
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::symlink_status(std::filesystem::path(path), ec))) return 0;
  return BASS_StreamCreateFile(0, path.c_str(), 0, 0, 0);
}

QWORD64 AudioPlayer::GetLength(HSTREAM handle) const { return BASS_ChannelGetLength(handle, BASS_POS_BYTE); }

BOOL32 AudioPlayer::FreeStream(HSTREAM handle) const { return BASS_StreamFree(handle); }

double AudioPlayer::BytesToSeconds(HSTREAM handle, QWORD64 bytes) const {
  return BASS_ChannelBytes2Seconds(handle, bytes);
}

std::int32_t AudioPlayer::SplitSeconds(double seconds, std::int32_t part) {
  if (part == 0) return TruncateToInt32(seconds / 60.0);
  return TruncateToInt32(std::fmod(seconds, 60.0));
}

double AudioPlayer::LengthInSeconds(HSTREAM handle) const { return BytesToSeconds(handle, GetLength(handle)); }

std::int32_t AudioPlayer::LengthMinutes(HSTREAM handle) const { return SplitSeconds(LengthInSeconds(handle), 0); }

std::int32_t AudioPlayer::LengthSeconds(HSTREAM handle) const { return SplitSeconds(LengthInSeconds(handle), 1); }

std::string AudioPlayer::LengthText(HSTREAM handle) const {
  const std::int32_t s = LengthSeconds(handle);
  const std::int32_t m = LengthMinutes(handle);
  return FormatLength(m, s);
}

std::string AudioPlayer::LengthTextFor(double seconds) {
  return FormatLength(SplitSeconds(seconds, 0), SplitSeconds(seconds, 1));
}

std::string AudioPlayer::FormatLength(std::int32_t minutes, std::int32_t seconds) {
  return NumberText(minutes) + ":" + NumberText(seconds);
}
