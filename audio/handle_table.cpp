#include "audio/handle_table.h"

namespace audio {

std::uint32_t HandleTable::Insert(std::shared_ptr<Channel> channel) {
  std::lock_guard lock(mutex_);
  do {
    ++last_;  // wraps past 0 only after 2^32 handles
  } while (last_ == 0 || channels_.count(last_) != 0);
  channels_.emplace(last_, std::move(channel));
  return last_;
}

std::shared_ptr<Channel> HandleTable::Find(std::uint32_t handle) const {
  if (handle == 0) return nullptr;
  std::lock_guard lock(mutex_);
  const auto it = channels_.find(handle);
  return it == channels_.end() ? nullptr : it->second;
}

std::shared_ptr<Channel> HandleTable::Remove(std::uint32_t handle) {
  if (handle == 0) return nullptr;
  std::lock_guard lock(mutex_);
  const auto it = channels_.find(handle);
  if (it == channels_.end()) return nullptr;
  auto channel = std::move(it->second);
  channels_.erase(it);
  return channel;
}

std::vector<std::shared_ptr<Channel>> HandleTable::RemoveAll() {
  std::lock_guard lock(mutex_);
  std::vector<std::shared_ptr<Channel>> all;
  all.reserve(channels_.size());
  for (auto& [handle, channel] : channels_) all.push_back(std::move(channel));
  channels_.clear();
  return all;
}

}  // namespace audio
