#include "audio/capture_runner.h"

#include <algorithm>

namespace audio {

CaptureRunner::CaptureRunner(std::uint32_t channels, std::size_t capacityFrames, std::size_t periodFrames,
                             std::chrono::microseconds period)
    : channels_(std::max<std::uint32_t>(channels, 1)),
      periodFrames_(std::max<std::size_t>(periodFrames, 1)),
      period_(std::max(period, std::chrono::microseconds(1000))),
      ring_(std::max(capacityFrames, periodFrames_) * channels_),
      block_(periodFrames_ * channels_) {}

CaptureRunner::~CaptureRunner() {
  RequestStop();
  std::lock_guard lock(threadMutex_);
  if (!thread_.joinable()) return;
  // The owner can be released by the thread itself (freed from inside the callback).
  if (thread_.get_id() == std::this_thread::get_id())
    thread_.detach();
  else
    thread_.join();
}

bool CaptureRunner::OnOwnThread() const noexcept { return threadId_.load() == std::this_thread::get_id(); }

void CaptureRunner::Start(Deliver deliver, std::shared_ptr<void> keepAlive) {
  Join();
  deliver_ = std::move(deliver);
  stop_ = false;
  drain_ = false;
  active_ = true;
  accepting_ = true;
  std::lock_guard lock(threadMutex_);
  thread_ = std::thread([this, keep = std::move(keepAlive)]() mutable {
    threadId_ = std::this_thread::get_id();
    Loop();
    // Last: releasing the owner may destroy this runner.
    keep.reset();
  });
}

void CaptureRunner::RequestStop() noexcept {
  accepting_ = false;
  drain_ = false;
  stop_ = true;
  active_ = false;
  wake_.release();
}

void CaptureRunner::RequestDrainStop() noexcept {
  accepting_ = false;
  drain_ = true;
  stop_ = true;
  active_ = false;
  wake_.release();
}

void CaptureRunner::Join() {
  std::thread t;
  {
    std::lock_guard lock(threadMutex_);
    if (!thread_.joinable() || thread_.get_id() == std::this_thread::get_id()) return;
    t = std::move(thread_);
  }
  t.join();
  threadId_ = std::thread::id{};
}

// Server thread.
std::size_t CaptureRunner::Write(const float* samples, std::size_t frames) noexcept {
  if (!accepting_.load(std::memory_order_relaxed)) return 0;
  const std::size_t fit = std::min(frames, ring_.Free() / channels_);
  ring_.Write(samples, fit * channels_);
  if (fit < frames) dropped_.fetch_add(frames - fit, std::memory_order_relaxed);
  wake_.release();
  return fit;
}

bool CaptureRunner::Settled() const noexcept {
  // Ring first: a block taken from it is marked in-callback before it is taken.
  const bool empty = ring_.Size() == 0;
  return (empty || !active_.load()) && !inCallback_.load();
}

// Capture thread.
bool CaptureRunner::DeliverBlock(std::size_t frames) {
  inCallback_ = true;
  const std::size_t got = ring_.Read(block_.data(), std::min(frames, periodFrames_) * channels_);
  const bool keep = deliver_(block_.data(), got);
  if (!keep) RequestStop();
  inCallback_ = false;
  return keep;
}

// Capture thread. A block goes out when a full period is queued, or when what is
// queued has waited a period (the server may deliver in smaller pieces).
void CaptureRunner::Loop() {
  auto lastDelivery = std::chrono::steady_clock::now();
  while (!stop_.load()) {
    (void)wake_.try_acquire_for(period_);
    while (!stop_.load()) {
      const std::size_t queued = ring_.Size() / channels_;
      const auto now = std::chrono::steady_clock::now();
      if (queued == 0 || (queued < periodFrames_ && now - lastDelivery < period_)) break;
      lastDelivery = now;
      if (!DeliverBlock(queued)) break;
    }
  }
  // A draining stop: what arrived before it is part of the recording.
  while (drain_.load()) {
    const std::size_t queued = ring_.Size() / channels_;
    if (queued == 0 || !DeliverBlock(queued)) break;
  }
}

}  // namespace audio
