#pragma once
// Helpers for the stream and mixer tests.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "recording/audio_library.h"

namespace streamtest {

// Every stream test runs inside its own BASS_Init/BASS_Free.
class Library : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr)) << BASS_ErrorGetCode(); }
  void TearDown() override { BASS_Free(); }
};

inline HSTREAM FloatPush(std::uint32_t rate, std::uint32_t chans) {
  return BASS_StreamCreate(rate, chans, BASS_SAMPLE_FLOAT | BASS_STREAM_DECODE, STREAMPROC_PUSH, nullptr);
}

inline void Put(HSTREAM h, const std::vector<float>& samples) {
  ASSERT_GE(BASS_StreamPutData(h, samples.data(), static_cast<std::uint32_t>(samples.size() * sizeof(float))), 0);
}

// Pulls until the channel delivers nothing now (0) or ends (-1).
template <typename T>
std::vector<T> Drain(HCHANNEL h, std::uint32_t pullBytes = 50000, int* last = nullptr) {
  std::vector<T> out;
  std::vector<unsigned char> buf(pullBytes);
  for (;;) {
    const int n = BASS_ChannelGetData(h, buf.data(), pullBytes);
    if (last) *last = n;
    if (n <= 0) break;
    const std::size_t old = out.size();
    out.resize(old + static_cast<std::size_t>(n) / sizeof(T));
    std::memcpy(out.data() + old, buf.data(), static_cast<std::size_t>(n));
  }
  return out;
}

// A canonical 44-byte-header 16-bit PCM WAV image.
inline std::vector<unsigned char> WaveImage(std::uint32_t rate, std::uint16_t chans, const std::vector<std::int16_t>& samples,
                                            bool sizesZero = false) {
  const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
  std::vector<unsigned char> w(44 + dataBytes);
  auto put32 = [&](std::size_t at, std::uint32_t v) { for (int i = 0; i < 4; ++i) w[at + i] = static_cast<unsigned char>(v >> (8 * i)); };
  auto put16 = [&](std::size_t at, std::uint16_t v) { w[at] = static_cast<unsigned char>(v); w[at + 1] = static_cast<unsigned char>(v >> 8); };
  std::memcpy(&w[0], "RIFF", 4);
  put32(4, sizesZero ? 0 : 36 + dataBytes);
  std::memcpy(&w[8], "WAVEfmt ", 8);
  put32(16, 16);
  put16(20, 1);
  put16(22, chans);
  put32(24, rate);
  put32(28, rate * chans * 2u);
  put16(32, static_cast<std::uint16_t>(chans * 2));
  put16(34, 16);
  std::memcpy(&w[36], "data", 4);
  put32(40, sizesZero ? 0 : dataBytes);
  std::memcpy(w.data() + 44, samples.data(), dataBytes);
  return w;
}

// Residual of the best fit a·sin + b·cos + c at a known frequency; its RMS
// against the fitted amplitude tells noise, lost samples and wrong pitch.
struct SineFit {
  double amplitude = 0;
  double residualRms = 0;
  double residualMax = 0;
};

inline SineFit FitSine(const std::vector<double>& x, double cyclesPerSample) {
  // Normal equations for [sin, cos, 1].
  double m[3][3] = {}, r[3] = {};
  const double w = 2 * M_PI * cyclesPerSample;
  for (std::size_t n = 0; n < x.size(); ++n) {
    const double b[3] = {std::sin(w * double(n)), std::cos(w * double(n)), 1.0};
    for (int i = 0; i < 3; ++i) {
      r[i] += b[i] * x[n];
      for (int j = 0; j < 3; ++j) m[i][j] += b[i] * b[j];
    }
  }
  // Gaussian elimination, 3 × 3.
  for (int i = 0; i < 3; ++i)
    for (int k = i + 1; k < 3; ++k) {
      const double f = m[k][i] / m[i][i];
      for (int j = 0; j < 3; ++j) m[k][j] -= f * m[i][j];
      r[k] -= f * r[i];
    }
  double c[3];
  for (int i = 2; i >= 0; --i) {
    double s = r[i];
    for (int j = i + 1; j < 3; ++j) s -= m[i][j] * c[j];
    c[i] = s / m[i][i];
  }
  SineFit fit;
  fit.amplitude = std::hypot(c[0], c[1]);
  double sum = 0;
  for (std::size_t n = 0; n < x.size(); ++n) {
    const double e = x[n] - (c[0] * std::sin(w * double(n)) + c[1] * std::cos(w * double(n)) + c[2]);
    sum += e * e;
    fit.residualMax = std::max(fit.residualMax, std::abs(e));
  }
  fit.residualRms = std::sqrt(sum / double(x.size()));
  return fit;
}

}  // namespace streamtest
