#pragma once
// Sample formats of our streams and the conversions between them.
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace audio {

// The format a stream delivers: its rate, its channel count and whether its
// samples are 32-bit float (else signed 16-bit).
struct StreamFormat {
  std::uint32_t rate = 0;
  std::uint32_t chans = 0;
  bool isFloat = true;

  std::size_t BytesPerSample() const { return isFloat ? 4 : 2; }
  std::size_t BytesPerFrame() const { return BytesPerSample() * chans; }
};

// Float full scale is 1.0 = 32768. Round to nearest (ties to even, the
// processor's default mode), saturate to the 16-bit range, no dither. NaN
// becomes silence rather than an arbitrary value.
inline std::int16_t FloatToInt16(float x) {
  const float s = x * 32768.0f;  // exact: a power of two
  if (s >= 32767.0f) return 32767;
  if (s > -32768.0f) return static_cast<std::int16_t>(std::lrint(s));
  return s == s ? std::int16_t{-32768} : std::int16_t{0};
}

inline float Int16ToFloat(std::int16_t x) { return static_cast<float>(x) * (1.0f / 32768.0f); }

void FloatToInt16(const float* in, std::int16_t* out, std::size_t samples);
void Int16ToFloat(const std::int16_t* in, float* out, std::size_t samples);

}  // namespace audio
