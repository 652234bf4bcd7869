#include "audio/push_stream.h"

#include <algorithm>
#include <cstring>

namespace audio {

PushStream::PushStream(StreamFormat format) : Channel(format) {}

std::size_t PushStream::Put(const void* data, std::size_t bytes) {
  std::lock_guard lock(mutex_);
  // Compact before growing so the queue does not creep forward forever.
  if (readOffset_ > 0 && readOffset_ * 2 >= queue_.size()) {
    queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(readOffset_));
    readOffset_ = 0;
  }
  const auto* p = static_cast<const unsigned char*>(data);
  if (bytes > 0) {
    queue_.insert(queue_.end(), p, p + bytes);
    ended_ = false;
  }
  return queue_.size() - readOffset_;
}

void PushStream::End() {
  std::lock_guard lock(mutex_);
  ended_ = true;
}

std::size_t PushStream::QueuedBytes() const {
  std::lock_guard lock(mutex_);
  return queue_.size() - readOffset_;
}

std::size_t PushStream::TakeFrames(std::size_t frames) {
  const std::size_t frameBytes = format().BytesPerFrame();
  return std::min(frames, (queue_.size() - readOffset_) / frameBytes);
}

std::int64_t PushStream::ReadFloat(float* out, std::size_t frames) {
  std::lock_guard lock(mutex_);
  const std::size_t n = TakeFrames(frames);
  const std::size_t samples = n * format().chans;
  const unsigned char* src = queue_.data() + readOffset_;
  if (samples == 0) return ended_ && frames > 0 ? kEnded : 0;
  if (format().isFloat) {
    std::memcpy(out, src, samples * sizeof(float));
  } else {
    for (std::size_t i = 0; i < samples; ++i) {
      std::int16_t v;
      std::memcpy(&v, src + i * 2, 2);
      out[i] = Int16ToFloat(v);
    }
  }
  readOffset_ += n * format().BytesPerFrame();
  return static_cast<std::int64_t>(n);
}

std::int64_t PushStream::ReadOutput(void* out, std::size_t frames) {
  std::lock_guard lock(mutex_);
  const std::size_t n = TakeFrames(frames);
  const std::size_t bytes = n * format().BytesPerFrame();
  if (bytes == 0) return ended_ && frames > 0 ? kEnded : 0;
  std::memcpy(out, queue_.data() + readOffset_, bytes);
  readOffset_ += bytes;
  return static_cast<std::int64_t>(n);
}

Channel::Seek PushStream::SetPosition(std::uint64_t frame) {
  if (frame != 0) return Seek::kNotSeekable;
  std::lock_guard lock(mutex_);
  queue_.clear();
  readOffset_ = 0;
  ended_ = false;
  return Seek::kDone;
}

}  // namespace audio
