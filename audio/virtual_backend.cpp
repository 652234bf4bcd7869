#include "audio/virtual_backend.h"

#include <cmath>
#include <mutex>
#include <numbers>
#include <thread>

namespace audio {

namespace {
constexpr std::uint32_t kEnabled = 1;
constexpr std::uint32_t kInput = 16;
}  // namespace

struct VirtualBackend::State {
  struct Device {
    Spec spec;
    bool present = true;
    float volume = 1.0f;
    std::vector<double> phase;
    std::vector<float> played;
    bool open = false;
    CaptureSink* sink = nullptr;
    OutputSource* source = nullptr;
    std::size_t periodFrames = 0;
  };
  mutable std::mutex mutex;
  std::vector<Device> devices;
  bool available = true;

  Device* Find(std::uint32_t n) { return n < devices.size() ? &devices[n] : nullptr; }
};

namespace {

class VirtualStream final : public DeviceStream {
 public:
  VirtualStream(std::shared_ptr<VirtualBackend::State> state, std::uint32_t number)
      : state_(std::move(state)), number_(number) {}
  ~VirtualStream() override {
    std::lock_guard lock(state_->mutex);
    auto& d = state_->devices[number_];
    d.open = false;
    d.sink = nullptr;
    d.source = nullptr;
  }
  std::uint64_t PendingFrames() override { return 0; }  // plays the moment it is taken

 private:
  std::shared_ptr<VirtualBackend::State> state_;
  std::uint32_t number_;
};

}  // namespace

VirtualBackend::VirtualBackend() : state_(std::make_shared<State>()) {}
VirtualBackend::~VirtualBackend() = default;

std::uint32_t VirtualBackend::Add(Spec spec) {
  std::lock_guard lock(state_->mutex);
  State::Device d;
  d.phase.assign(spec.channels, 0.0);
  d.spec = std::move(spec);
  state_->devices.push_back(std::move(d));
  return static_cast<std::uint32_t>(state_->devices.size() - 1);
}

void VirtualBackend::Remove(std::uint32_t number) {
  std::lock_guard lock(state_->mutex);
  if (auto* d = state_->Find(number)) {
    d->present = false;
    d->sink = nullptr;
    d->source = nullptr;
  }
}

void VirtualBackend::SetFailures(std::uint32_t number, bool failInit, bool failStart) {
  std::lock_guard lock(state_->mutex);
  if (auto* d = state_->Find(number)) {
    d->spec.failInit = failInit;
    d->spec.failStart = failStart;
  }
}

void VirtualBackend::SetAvailable(bool available) {
  std::lock_guard lock(state_->mutex);
  state_->available = available;
}

std::size_t VirtualBackend::Push(std::uint32_t number, std::size_t frames) {
  std::lock_guard lock(state_->mutex);
  auto* d = state_->Find(number);
  if (!d || !d->sink) return 0;
  const std::uint32_t ch = d->spec.channels;
  std::vector<float> block(frames * ch);
  for (std::uint32_t c = 0; c < ch; ++c) {
    if (c >= d->spec.tones.size()) continue;
    const Tone t = d->spec.tones[c];
    const double step = 2.0 * std::numbers::pi * t.frequency / d->spec.rate;
    double& ph = d->phase[c];
    for (std::size_t i = 0; i < frames; ++i) {
      block[i * ch + c] = static_cast<float>(t.amplitude * std::sin(ph));
      ph = std::fmod(ph + step, 2.0 * std::numbers::pi);
    }
  }
  return d->sink->Write(block.data(), frames);
}

std::size_t VirtualBackend::PushHole(std::uint32_t number, std::size_t frames) {
  std::lock_guard lock(state_->mutex);
  auto* d = state_->Find(number);
  if (!d || !d->sink) return 0;
  return d->sink->Write(nullptr, frames);
}

std::size_t VirtualBackend::PushSamples(std::uint32_t number, const std::vector<float>& interleaved) {
  std::lock_guard lock(state_->mutex);
  auto* d = state_->Find(number);
  if (!d || !d->sink || d->spec.channels == 0) return 0;
  return d->sink->Write(interleaved.data(), interleaved.size() / d->spec.channels);
}

bool VirtualBackend::WaitDelivered(std::uint32_t number, std::chrono::milliseconds timeout) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    {
      std::lock_guard lock(state_->mutex);
      auto* d = state_->Find(number);
      if (!d || !d->sink) return false;
      if (d->sink->Settled()) return true;
    }
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

std::size_t VirtualBackend::Play(std::uint32_t number, std::size_t frames) {
  std::lock_guard lock(state_->mutex);
  auto* d = state_->Find(number);
  if (!d || !d->source) return 0;
  const std::uint32_t ch = d->spec.channels;
  const std::size_t chunk = d->periodFrames > 0 ? d->periodFrames : 512;
  std::size_t real = 0;
  std::vector<float> block(chunk * ch);
  for (std::size_t done = 0; done < frames;) {
    const std::size_t n = std::min(chunk, frames - done);
    d->source->AwaitTopUp(n);
    std::fill(block.begin(), block.end(), 0.0f);
    real += d->source->Read(block.data(), n);
    d->played.insert(d->played.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n * ch));
    done += n;
  }
  return real;
}

std::vector<float> VirtualBackend::Played(std::uint32_t number) const {
  std::lock_guard lock(state_->mutex);
  return number < state_->devices.size() ? state_->devices[number].played : std::vector<float>{};
}

bool VirtualBackend::StreamOpen(std::uint32_t number) const {
  std::lock_guard lock(state_->mutex);
  return number < state_->devices.size() && state_->devices[number].open;
}

bool VirtualBackend::Available() {
  std::lock_guard lock(state_->mutex);
  return state_->available;
}

std::vector<DeviceInfo> VirtualBackend::Devices(bool) {
  std::lock_guard lock(state_->mutex);
  std::vector<DeviceInfo> out;
  if (!state_->available) return out;
  for (const auto& d : state_->devices) {
    const std::uint32_t flags = d.present ? d.spec.flags : (d.spec.flags & ~kEnabled);
    out.push_back({d.spec.name, flags, d.spec.rate, d.spec.channels});
  }
  return out;
}

bool VirtualBackend::Probe(std::uint32_t number) {
  std::lock_guard lock(state_->mutex);
  auto* d = state_->Find(number);
  return state_->available && d && d->present && (d->spec.flags & kEnabled) && !d->spec.failInit;
}

std::unique_ptr<DeviceStream> VirtualBackend::OpenCapture(std::uint32_t number, const StreamParams& params,
                                                          CaptureSink& sink) {
  std::lock_guard lock(state_->mutex);
  auto* d = state_->Find(number);
  if (!state_->available || !d || !d->present || d->spec.failStart || d->open || !(d->spec.flags & kInput))
    return nullptr;
  d->open = true;
  d->sink = &sink;
  d->periodFrames = params.periodFrames;
  return std::make_unique<VirtualStream>(state_, number);
}

std::unique_ptr<DeviceStream> VirtualBackend::OpenOutput(std::uint32_t number, const StreamParams& params,
                                                         OutputSource& source) {
  std::lock_guard lock(state_->mutex);
  auto* d = state_->Find(number);
  if (!state_->available || !d || !d->present || d->spec.failStart || d->open || (d->spec.flags & kInput))
    return nullptr;
  d->open = true;
  d->source = &source;
  d->periodFrames = params.periodFrames;
  return std::make_unique<VirtualStream>(state_, number);
}

bool VirtualBackend::SetVolume(std::uint32_t number, float level) {
  std::lock_guard lock(state_->mutex);
  auto* d = state_->Find(number);
  if (!d || !d->present) return false;
  d->volume = level;
  return true;
}

std::optional<float> VirtualBackend::GetVolume(std::uint32_t number) {
  std::lock_guard lock(state_->mutex);
  auto* d = state_->Find(number);
  if (!d || !d->present) return std::nullopt;
  return d->volume;
}

}  // namespace audio
