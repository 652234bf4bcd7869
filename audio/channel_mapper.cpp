#include "audio/channel_mapper.h"

#include <algorithm>
#include <cstring>

namespace audio {
namespace {

enum Side { kLeft, kRight, kCentre, kNone };

// Where each channel of the usual interleaved layouts (front left, front
// right, centre, LFE, rear/side pairs) lands in a stereo fold-down.
Side SideOf(std::uint32_t chans, std::uint32_t i) {
  static const Side k3[] = {kLeft, kRight, kCentre};
  static const Side k4[] = {kLeft, kRight, kLeft, kRight};
  static const Side k5[] = {kLeft, kRight, kCentre, kLeft, kRight};
  static const Side k6[] = {kLeft, kRight, kCentre, kNone, kLeft, kRight};
  static const Side k7[] = {kLeft, kRight, kCentre, kNone, kCentre, kLeft, kRight};
  static const Side k8[] = {kLeft, kRight, kCentre, kNone, kLeft, kRight, kLeft, kRight};
  switch (chans) {
    case 3: return k3[i];
    case 4: return k4[i];
    case 5: return k5[i];
    case 6: return k6[i];
    case 7: return k7[i];
    case 8: return k8[i];
    default: return i % 2 == 0 ? kLeft : kRight;
  }
}

// Stereo fold-down weights for `chans` > 2 input channels: the front pair at
// full weight, everything else at -3 dB, LFE left out; each side is then
// scaled so that full scale on every channel stays within full scale.
void FoldToStereo(std::uint32_t chans, std::vector<float>& left, std::vector<float>& right) {
  constexpr float kMinus3dB = 0.70710678f;
  left.assign(chans, 0.0f);
  right.assign(chans, 0.0f);
  for (std::uint32_t i = 0; i < chans; ++i) {
    const float w = i < 2 ? 1.0f : kMinus3dB;
    switch (SideOf(chans, i)) {
      case kLeft: left[i] = w; break;
      case kRight: right[i] = w; break;
      case kCentre: left[i] = right[i] = w; break;
      case kNone: break;
    }
  }
  for (auto* side : {&left, &right}) {
    float sum = 0.0f;
    for (float w : *side) sum += w;
    if (sum > 0.0f)
      for (float& w : *side) w /= sum;
  }
}

}  // namespace

ChannelMapper::ChannelMapper(std::uint32_t inChans, std::uint32_t outChans)
    : in_(inChans), out_(outChans), identity_(inChans == outChans), weights_(std::size_t{outChans} * inChans, 0.0f) {
  if (identity_) {
    for (std::uint32_t c = 0; c < in_; ++c) weights_[c * in_ + c] = 1.0f;
    return;
  }
  auto set = [&](std::uint32_t o, std::uint32_t i, float w) { weights_[o * in_ + i] = w; };
  if (in_ == 1) {
    // Mono into both front channels; further outputs stay silent.
    set(0, 0, 1.0f);
    if (out_ >= 2) set(1, 0, 1.0f);
    monoToStereo_ = out_ == 2;
    return;
  }
  std::vector<float> left, right;
  if (in_ == 2) {
    left = {1.0f, 0.0f};
    right = {0.0f, 1.0f};
  } else {
    FoldToStereo(in_, left, right);
  }
  if (out_ == 1) {
    for (std::uint32_t i = 0; i < in_; ++i) set(0, i, 0.5f * (left[i] + right[i]));
  } else if (in_ < out_) {
    // Fewer channels than the output: channel for channel, the rest silent.
    for (std::uint32_t i = 0; i < in_; ++i) set(i, i, 1.0f);
  } else {
    // More than the output: fold to stereo into the front pair.
    for (std::uint32_t i = 0; i < in_; ++i) {
      set(0, i, left[i]);
      set(1, i, right[i]);
    }
  }
}

void ChannelMapper::Map(const float* in, float* out, std::size_t frames) const {
  if (frames == 0) return;
  if (identity_) {
    std::memcpy(out, in, frames * in_ * sizeof(float));
    return;
  }
  if (monoToStereo_) {
    for (std::size_t f = 0; f < frames; ++f) out[2 * f] = out[2 * f + 1] = in[f];
    return;
  }
  if (in_ == 2 && out_ == 1) {
    for (std::size_t f = 0; f < frames; ++f) out[f] = 0.5f * (in[2 * f] + in[2 * f + 1]);
    return;
  }
  for (std::size_t f = 0; f < frames; ++f) {
    const float* src = in + f * in_;
    float* dst = out + f * out_;
    for (std::uint32_t o = 0; o < out_; ++o) {
      const float* w = &weights_[o * in_];
      float acc = 0.0f;
      for (std::uint32_t i = 0; i < in_; ++i) acc += w[i] * src[i];
      dst[o] = acc;
    }
  }
}

}  // namespace audio
