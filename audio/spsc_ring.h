#pragma once
// Single-producer/single-consumer ring of samples. The storage is allocated
// once, by the constructor; Write and Read never block and never allocate, so
// the sound server's thread may call them.
//
// Exactly one thread writes (Write) and one thread reads (Read, Discard) at a
// time; Size and Free may be asked from any thread. The counters only grow
// (64 bits never wrap in practice), so full and empty need no spare slot.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>

namespace audio {

template <typename T>
class SpscRing {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  explicit SpscRing(std::size_t capacity)
      : cap_(capacity > 0 ? capacity : 1), buf_(std::make_unique<T[]>(cap_)) {}

  std::size_t Capacity() const noexcept { return cap_; }

  // Elements queued. Tail is read first so the difference can never be negative.
  std::size_t Size() const noexcept {
    const std::uint64_t t = tail_.load(std::memory_order_acquire);
    const std::uint64_t h = head_.load(std::memory_order_acquire);
    return static_cast<std::size_t>(std::min<std::uint64_t>(h - t, cap_));
  }
  std::size_t Free() const noexcept { return cap_ - Size(); }

  // Producer. Copies up to n elements (zeros when src is null); returns how many fit.
  std::size_t Write(const T* src, std::size_t n) noexcept {
    const std::uint64_t h = head_.load(std::memory_order_relaxed);
    const std::uint64_t t = tail_.load(std::memory_order_acquire);
    n = std::min(n, cap_ - static_cast<std::size_t>(h - t));
    const std::size_t pos = static_cast<std::size_t>(h % cap_);
    const std::size_t first = std::min(n, cap_ - pos);
    if (src) {
      std::memcpy(buf_.get() + pos, src, first * sizeof(T));
      std::memcpy(buf_.get(), src + first, (n - first) * sizeof(T));
    } else {
      std::fill_n(buf_.get() + pos, first, T{});
      std::fill_n(buf_.get(), n - first, T{});
    }
    head_.store(h + n, std::memory_order_release);
    return n;
  }

  // Consumer. Moves up to n elements into dst; returns how many.
  std::size_t Read(T* dst, std::size_t n) noexcept {
    const std::uint64_t t = tail_.load(std::memory_order_relaxed);
    const std::uint64_t h = head_.load(std::memory_order_acquire);
    n = std::min(n, static_cast<std::size_t>(h - t));
    const std::size_t pos = static_cast<std::size_t>(t % cap_);
    const std::size_t first = std::min(n, cap_ - pos);
    std::memcpy(dst, buf_.get() + pos, first * sizeof(T));
    std::memcpy(dst + first, buf_.get(), (n - first) * sizeof(T));
    tail_.store(t + n, std::memory_order_release);
    return n;
  }

  // Consumer. Drops everything queued.
  void Discard() noexcept { tail_.store(head_.load(std::memory_order_acquire), std::memory_order_release); }

 private:
  const std::size_t cap_;
  std::unique_ptr<T[]> buf_;
  alignas(64) std::atomic<std::uint64_t> head_{0};  // written by the producer
  alignas(64) std::atomic<std::uint64_t> tail_{0};  // written by the consumer
};

}  // namespace audio
