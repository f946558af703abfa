#include "scanning/content_prefix_gate.h"

namespace zarnik {

std::vector<MatchingNodePtr> ContentPrefixGate::admit(const MatchingNodePtr& node, std::uint64_t prefixHash) {
  std::lock_guard lock(mutex_);
  auto [slot, isFirst] = waiting_.try_emplace(Key{node->attributes().exactSize, prefixHash}, node);
  if (isFirst) return {};
  if (!slot->second) return {node};  // open already
  if (slot->second->path() == node->path()) {
    slot->second = node;
    return {};
  }
  std::vector<MatchingNodePtr> due{std::move(slot->second), node};
  slot->second.reset();
  return due;
}

void ContentPrefixGate::clear() {
  std::lock_guard lock(mutex_);
  waiting_.clear();
}

}  // namespace zarnik
