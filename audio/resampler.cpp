#include "audio/resampler.h"

#include <soxr.h>

namespace audio {

Resampler::Resampler(std::uint32_t inRate, std::uint32_t outRate, std::uint32_t chans)
    : inRate_(inRate), outRate_(outRate), chans_(chans) {
  Create();
}

Resampler::~Resampler() {
  if (soxr_) soxr_delete(soxr_);
}

void Resampler::Create() {
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
  const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
  soxr_error_t error = nullptr;
  soxr_ = soxr_create(inRate_, outRate_, chans_, &error, &io, &quality, &runtime);
  if (error && soxr_) {
    soxr_delete(soxr_);
    soxr_ = nullptr;
  }
}

void Resampler::Process(const float* in, std::size_t inFrames, std::size_t* inUsed, float* out,
                        std::size_t outCapacity, std::size_t* outDone) {
  *inUsed = 0;
  *outDone = 0;
  if (!soxr_ || inFrames == 0) return;
  soxr_process(soxr_, in, inFrames, inUsed, out, outCapacity, outDone);
}

std::size_t Resampler::Flush(float* out, std::size_t outCapacity) {
  if (!soxr_) return 0;
  std::size_t done = 0;
  soxr_process(soxr_, nullptr, 0, nullptr, out, outCapacity, &done);
  return done;
}

void Resampler::Reset() {
  if (soxr_ && soxr_clear(soxr_) == nullptr) return;
  if (soxr_) soxr_delete(soxr_);
  soxr_ = nullptr;
  Create();
}

}  // namespace audio
