#include "scanning/content_prefix_gate.h"

namespace zarnik {

std::vector<Result<MatchingNodePtr>> ContentPrefixGate::admit(const ParkedFileNode& file, ByteCount size,
                                                              std::uint64_t prefixHash) {
  std::optional<ParkedFileNode> waited;
  {
    std::lock_guard lock(mutex_);
    auto [slot, isFirst] = waiting_.try_emplace(Key{size, prefixHash});
    if (isFirst || (slot->second && slot->second->path() == file.path())) {
      slot->second = file;
      return {};
    }
    if (slot->second) waited = std::exchange(slot->second, std::nullopt);
  }
  // Nodes are made again outside the lock: that asks the file system.
  std::vector<Result<MatchingNodePtr>> due;
  if (waited) due.push_back(waited->unpark(size));
  due.push_back(file.unpark(size));
  return due;
}

void ContentPrefixGate::clear() {
  std::lock_guard lock(mutex_);
  waiting_.clear();
}

}  // namespace zarnik
