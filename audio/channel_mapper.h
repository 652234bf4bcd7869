#pragma once
// Converts interleaved frames from one channel count to another: mono goes
// to both front channels, more than two channels fold down to stereo, stereo
// becomes mono by averaging. Equal counts pass through untouched.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace audio {

class ChannelMapper {
 public:
  ChannelMapper(std::uint32_t inChans, std::uint32_t outChans);

  std::uint32_t inChans() const { return in_; }
  std::uint32_t outChans() const { return out_; }
  bool identity() const { return identity_; }

  // `in` holds frames × inChans samples, `out` receives frames × outChans.
  void Map(const float* in, float* out, std::size_t frames) const;

  // Weight of input channel `i` in output channel `o`.
  float Weight(std::uint32_t o, std::uint32_t i) const { return weights_[o * in_ + i]; }

 private:
  std::uint32_t in_;
  std::uint32_t out_;
  bool identity_;
  bool monoToStereo_ = false;
  std::vector<float> weights_;  // out_ rows of in_ weights
};

}  // namespace audio
