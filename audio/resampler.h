#pragma once
// Streaming rate conversion of interleaved float frames with libsoxr at high
// quality (20-bit precision: well above what 16-bit output can show), on the
// calling thread only.
#include <cstddef>
#include <cstdint>

struct soxr;

namespace audio {

class Resampler {
 public:
  Resampler(std::uint32_t inRate, std::uint32_t outRate, std::uint32_t chans);
  ~Resampler();
  Resampler(const Resampler&) = delete;
  Resampler& operator=(const Resampler&) = delete;

  bool ok() const { return soxr_ != nullptr; }
  std::uint32_t chans() const { return chans_; }

  // Consumes up to `inFrames` frames and writes up to `outCapacity` frames.
  // Input the converter keeps back for its filter comes out on later calls.
  void Process(const float* in, std::size_t inFrames, std::size_t* inUsed, float* out, std::size_t outCapacity,
               std::size_t* outDone);
  // After the last input: writes what the filter still holds; 0 once empty.
  std::size_t Flush(float* out, std::size_t outCapacity);
  // Back to the state right after construction (for a rewind).
  void Reset();

 private:
  void Create();

  std::uint32_t inRate_, outRate_, chans_;
  soxr* soxr_ = nullptr;
};

}  // namespace audio
