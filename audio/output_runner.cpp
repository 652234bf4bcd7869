#include "audio/output_runner.h"

#include <algorithm>

namespace audio {

OutputRunner::OutputRunner(std::uint32_t channels, std::size_t capacityFrames, std::size_t periodFrames,
                           std::chrono::microseconds period)
    : channels_(std::max<std::uint32_t>(channels, 1)),
      periodFrames_(std::max<std::size_t>(periodFrames, 1)),
      period_(std::max(period, std::chrono::microseconds(1000))),
      ring_(std::max(capacityFrames, periodFrames_) * channels_),
      block_(periodFrames_ * channels_) {}

OutputRunner::~OutputRunner() {
  RequestQuit();
  std::lock_guard lock(threadMutex_);
  if (!thread_.joinable()) return;
  if (thread_.get_id() == std::this_thread::get_id())
    thread_.detach();
  else
    thread_.join();
}

bool OutputRunner::OnOwnThread() const noexcept { return threadId_.load() == std::this_thread::get_id(); }

void OutputRunner::Start(Fill fill, DeviceStream* stream, std::shared_ptr<void> keepAlive) {
  Join();
  // A drop asked for inside a callback is carried out here, before the
  // server may read again (the ring has one consumer at a time).
  if (dropQueue_.exchange(false)) ring_.Discard();
  fill_ = std::move(fill);
  stream_ = stream;
  quit_ = false;
  playing_ = true;
  releasing_ = true;
  threadRunning_ = true;
  std::lock_guard lock(threadMutex_);
  thread_ = std::thread([this, keep = std::move(keepAlive)]() mutable {
    threadId_ = std::this_thread::get_id();
    Loop();
    // Last: releasing the owner may destroy this runner.
    keep.reset();
  });
}

void OutputRunner::BeginDrain() {
  playing_ = false;
  wake_.release();
  if (!OnOwnThread()) std::lock_guard barrier(callbackMutex_);  // a running callback has returned
}

void OutputRunner::RequestQuit() noexcept {
  playing_ = false;
  quit_ = true;
  releasing_ = false;
  dropQueue_ = true;
  wake_.release();
}

void OutputRunner::Join() {
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
std::size_t OutputRunner::Read(float* samples, std::size_t frames) noexcept {
  if (!releasing_.load(std::memory_order_relaxed)) return 0;
  const std::size_t got = ring_.Read(samples, frames * channels_) / channels_;
  wake_.release();
  return got;
}

// Test thread (virtual backend). Two rounds, so that at least one full round
// began after the call: a round that ends short means the program had nothing.
void OutputRunner::AwaitTopUp(std::size_t frames) {
  const std::size_t want = std::min(frames, CapacityFrames());
  for (int i = 0; i < 2; ++i) {
    if (QueuedFrames() >= want || !threadRunning_.load()) return;
    std::unique_lock lock(roundMutex_);
    const std::uint64_t seen = rounds_;
    wake_.release();
    roundDone_.wait_for(lock, std::chrono::seconds(2), [&] {
      return rounds_ > seen || QueuedFrames() >= want || !threadRunning_.load();
    });
  }
}

// Output thread: one round asks the program until the ring is full or it has
// nothing more for now.
void OutputRunner::TopUp() {
  {
    std::lock_guard cb(callbackMutex_);
    while (playing_.load() && ring_.Free() / channels_ >= periodFrames_) {
      const std::uint32_t bytes = static_cast<std::uint32_t>(periodFrames_ * channels_ * sizeof(float));
      const std::int32_t n = fill_(block_.data(), bytes);
      if (n <= 0 || !playing_.load()) {
        // Data handed back together with a stop inside the callback still counts.
        if (n > 0) ring_.Write(block_.data(), std::min<std::size_t>(static_cast<std::uint32_t>(n), bytes) /
                                                  sizeof(float) / channels_ * channels_);
        break;
      }
      const std::size_t samples = std::min<std::size_t>(static_cast<std::uint32_t>(n), bytes) / sizeof(float);
      ring_.Write(block_.data(), samples / channels_ * channels_);
    }
  }
  std::lock_guard lock(roundMutex_);
  ++rounds_;
  roundDone_.notify_all();
}

void OutputRunner::Loop() {
  while (!quit_.load()) {
    if (playing_.load()) {
      TopUp();
    } else {
      // Draining: the thread ends once the server has played everything.
      if (ring_.Size() == 0 && (!stream_ || stream_->PendingFrames() == 0)) break;
    }
    (void)wake_.try_acquire_for(playing_.load() ? period_ : period_ / 4);
  }
  playing_ = false;
  {
    std::lock_guard lock(roundMutex_);
    threadRunning_ = false;
  }
  roundDone_.notify_all();
}

}  // namespace audio
