#pragma once
// The library's capture thread for one device: the sound server writes into a
// preallocated ring (CaptureSink::Write, server thread), this thread drains it
// and hands the program one block per period.
//
// Control calls (Start, RequestStop, Join, Discard) come from one controlling
// thread at a time, or from inside the callback where noted.
#include <atomic>
#include <chrono>
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

class CaptureRunner final : public CaptureSink {
 public:
  // Runs on the capture thread with `count` samples; false stops the capture.
  using Deliver = std::function<bool(float* samples, std::size_t count)>;

  CaptureRunner(std::uint32_t channels, std::size_t capacityFrames, std::size_t periodFrames,
                std::chrono::microseconds period);
  ~CaptureRunner() override;
  CaptureRunner(const CaptureRunner&) = delete;
  CaptureRunner& operator=(const CaptureRunner&) = delete;

  // Starts the thread. keepAlive is held by the thread until it ends, so the
  // runner's owner may be released from inside the callback.
  void Start(Deliver deliver, std::shared_ptr<void> keepAlive);
  // Any thread, also the callback: no callback starts after this, and the
  // server's data is no longer taken in.
  void RequestStop() noexcept;
  // Not from the callback: takes in no more of the server's data, hands the
  // callback what has arrived (ended early by a result of 0 or a stop from
  // inside it), then the thread ends. Join waits for it.
  void RequestDrainStop() noexcept;
  // Waits until the thread has ended. Does nothing on the capture thread itself.
  void Join();
  // True while started and neither stopped nor ended by a callback result of 0.
  bool Active() const noexcept { return active_.load(); }
  bool OnOwnThread() const noexcept;
  // Drops what is queued. Only from the capture thread or while it is not running.
  void Discard() noexcept { ring_.Discard(); }
  std::size_t QueuedFrames() const noexcept { return ring_.Size() / channels_; }
  std::size_t CapacityFrames() const noexcept { return ring_.Capacity() / channels_; }
  // Frames the server delivered while the ring was full (dropped, never mixed in).
  std::uint64_t DroppedFrames() const noexcept { return dropped_.load(); }

  std::size_t Write(const float* samples, std::size_t frames) noexcept override;
  bool Settled() const noexcept override;

 private:
  void Loop();
  bool DeliverBlock(std::size_t frames);  // false: the callback asked to stop

  const std::uint32_t channels_;
  const std::size_t periodFrames_;
  const std::chrono::microseconds period_;
  SpscRing<float> ring_;
  std::vector<float> block_;
  Deliver deliver_;
  std::counting_semaphore<> wake_{0};
  std::atomic<bool> accepting_{false};
  std::atomic<bool> stop_{false};
  std::atomic<bool> drain_{false};
  std::atomic<bool> active_{false};
  std::atomic<bool> inCallback_{false};
  std::atomic<std::uint64_t> dropped_{0};
  std::mutex threadMutex_;  // guards thread_ between the controller and a self-detach
  std::thread thread_;
  std::atomic<std::thread::id> threadId_{};
};

}  // namespace audio
