#pragma once
// 32-bit handles for channels. 0 is never a handle, and numbers only count
// up, so a freed handle stays invalid (for the next four billion handles).
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "audio/channel.h"

namespace audio {

class HandleTable {
 public:
  // Thread: any. A channel found here stays alive while the caller holds it,
  // even when another thread frees its handle meanwhile.
  std::uint32_t Insert(std::shared_ptr<Channel> channel);
  std::shared_ptr<Channel> Find(std::uint32_t handle) const;
  std::shared_ptr<Channel> Remove(std::uint32_t handle);
  std::vector<std::shared_ptr<Channel>> RemoveAll();

 private:
  mutable std::mutex mutex_;
  std::uint32_t last_ = 0;
  std::unordered_map<std::uint32_t, std::shared_ptr<Channel>> channels_;
};

}  // namespace audio
