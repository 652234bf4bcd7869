#pragma once
// A decodable source of samples: what a handle of the library stands for.
// Every implementation locks itself, so a channel may be read from the
// library's capture/output threads while the window thread uses it.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "audio/sample_format.h"

namespace audio {

// Result of a read that delivered nothing because the channel has ended.
constexpr std::int64_t kEnded = -1;

class Channel {
 public:
  explicit Channel(StreamFormat format) : format_(format) {}
  virtual ~Channel() = default;
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  // Fixed at creation.
  const StreamFormat& format() const { return format_; }

  // Reads up to `frames` interleaved float frames at the channel's own rate
  // and channel count. Returns the frames delivered, 0 when nothing is there
  // now, kEnded once the channel has nothing left.
  virtual std::int64_t ReadFloat(float* out, std::size_t frames) = 0;

  // Like ReadFloat, in the channel's own sample format (float or 16-bit).
  virtual std::int64_t ReadOutput(void* out, std::size_t frames) = 0;

  enum class Seek { kDone, kOutOfRange, kNotSeekable };
  // Moves to a frame position.
  virtual Seek SetPosition(std::uint64_t frame) = 0;

  // Length in frames, when the channel has one.
  virtual std::optional<std::uint64_t> LengthFrames() const { return std::nullopt; }

 private:
  const StreamFormat format_;
};

}  // namespace audio
