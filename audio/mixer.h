#pragma once
// A decode-only mixer: every source is converted to the mixer's channel
// count and rate, the sources are summed, and the sum is delivered in the
// mixer's sample format.
//
// A read delivers what the sources can give now, never more than asked:
// the frame count is the most that any one source delivered; a source that
// delivered less contributes silence to the rest of that read. With
// `endWhenIdle` the mixer ends once no source has anything left (also with
// no source at all) and stays ended until its position is set.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/channel.h"

namespace audio {

class Mixer final : public Channel {
 public:
  Mixer(StreamFormat format, bool endWhenIdle);
  ~Mixer() override;

  // Thread: window thread. The caller makes sure a source is in one mixer.
  // Returns false when the source's conversion cannot be set up.
  bool Add(std::shared_ptr<Channel> source);
  void Remove(const Channel* source);
  bool Contains(const Channel* source) const;
  // Moves a source to a frame position and restarts its conversion there.
  Seek SetSourcePosition(const Channel* source, std::uint64_t frame);

  // Thread: any (the output thread pulls a mixer while the window thread
  // plugs streams in).
  std::int64_t ReadFloat(float* out, std::size_t frames) override;
  std::int64_t ReadOutput(void* out, std::size_t frames) override;
  // Any position: the mixer delivers again after it has ended.
  Seek SetPosition(std::uint64_t frame) override;

 private:
  struct Link;
  std::int64_t MixLocked(std::size_t frames);  // into mix_

  const bool endWhenIdle_;
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<Link>> links_;
  bool ended_ = false;
  std::vector<float> mix_;
  std::vector<float> scratch_;
};

}  // namespace audio
