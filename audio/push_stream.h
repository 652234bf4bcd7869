#pragma once
// A stream the program feeds: queued frames are read in order; an empty
// queue reads as "nothing now", or as the end once End was called (until
// more data is put).
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "audio/channel.h"

namespace audio {

class PushStream final : public Channel {
 public:
  explicit PushStream(StreamFormat format);

  // Appends bytes in the stream's own sample format. A trailing part of a
  // frame waits for the rest. Returns the bytes now queued.
  // Thread: window or capture thread.
  std::size_t Put(const void* data, std::size_t bytes);
  // What is queued is the last: reads report the end after it.
  void End();
  std::size_t QueuedBytes() const;

  std::int64_t ReadFloat(float* out, std::size_t frames) override;
  std::int64_t ReadOutput(void* out, std::size_t frames) override;
  // Only the start: discards what is queued.
  Seek SetPosition(std::uint64_t frame) override;

 private:
  std::size_t TakeFrames(std::size_t frames);  // frames available, at most `frames`

  mutable std::mutex mutex_;
  std::vector<unsigned char> queue_;
  std::size_t readOffset_ = 0;  // bytes of queue_ already read
  bool ended_ = false;
};

}  // namespace audio
