#pragma once
// The library's output thread for one device: asks the program for data ahead
// of need and keeps the ring (up to its capacity) filled; the sound server takes
// from the ring (OutputSource::Read, server thread) and plays silence when it
// runs dry.
//
// States: playing (callbacks run), draining (no callbacks; the queue plays out,
// then the thread ends), ended.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <semaphore>
#include <thread>
#include <vector>

#include "audio/device_backend.h"
#include "audio/spsc_ring.h"

namespace audio {

class OutputRunner final : public OutputSource {
 public:
  // Runs on the output thread: fill up to `bytes` bytes, return the bytes
  // written; 0 or negative means no data now.
  using Fill = std::function<std::int32_t(float* samples, std::uint32_t bytes)>;

  OutputRunner(std::uint32_t channels, std::size_t capacityFrames, std::size_t periodFrames,
               std::chrono::microseconds period);
  ~OutputRunner() override;
  OutputRunner(const OutputRunner&) = delete;
  OutputRunner& operator=(const OutputRunner&) = delete;

  // Starts the thread; stream (may be null) tells how much the server still
  // holds, and must outlive the thread. keepAlive is held by the thread.
  // The server may already read (it gets silence until this call).
  void Start(Fill fill, DeviceStream* stream, std::shared_ptr<void> keepAlive);
  // Any thread. No callback starts after this; queued data still plays out.
  // From another thread it also waits for a running callback to return.
  void BeginDrain();
  // Any thread. No callback starts after this; the server gets silence from
  // now on and the queue is dropped before the next Start.
  void RequestQuit() noexcept;
  // Waits until the thread has ended. Does nothing on the output thread itself.
  void Join();
  bool Playing() const noexcept { return playing_.load(); }
  bool OnOwnThread() const noexcept;
  // Drops the queue. Only while no stream reads from the ring.
  void Discard() noexcept { ring_.Discard(); }
  std::size_t QueuedFrames() const noexcept { return ring_.Size() / channels_; }
  std::size_t CapacityFrames() const noexcept { return ring_.Capacity() / channels_; }

  std::size_t Read(float* samples, std::size_t frames) noexcept override;
  void AwaitTopUp(std::size_t frames) override;

 private:
  void Loop();
  void TopUp();

  const std::uint32_t channels_;
  const std::size_t periodFrames_;
  const std::chrono::microseconds period_;
  SpscRing<float> ring_;
  std::vector<float> block_;
  Fill fill_;
  DeviceStream* stream_ = nullptr;
  std::counting_semaphore<> wake_{0};
  std::atomic<bool> playing_{false};   // callbacks wanted
  std::atomic<bool> quit_{false};
  std::atomic<bool> dropQueue_{false}; // queue to be dropped at the next Start
  std::atomic<bool> releasing_{false}; // ring open to the server
  std::atomic<bool> threadRunning_{false};
  std::mutex callbackMutex_;           // held around each callback
  std::mutex roundMutex_;
  std::condition_variable roundDone_;
  std::uint64_t rounds_ = 0;           // guarded by roundMutex_
  std::mutex threadMutex_;
  std::thread thread_;
  std::atomic<std::thread::id> threadId_{};
};

}  // namespace audio
