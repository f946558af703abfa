#include "matching/match_criterion.h"

#include "base/byte_path.h"
#include "platform/file_state.h"

#include <cstring>

namespace zarnik {

ModelingRules ModelingRules::of(const ScanRules& rules) {
  return {rules.exactMatchEnabled(), rules.sizeThresholdOption().sizeValue()};
}

bool isHashModelingAllowed(const ExactFileHash& hash, EquivalenceKind kind,
                           const ModelingRules& rules) {
  if (hash.size < 1) return false;
  // Contents are also digested for folder matching alone: their groups are shown only when asked
  // for.
  if (kind == EquivalenceKind::exactHash && !rules.exactMatchEnabled) return false;
  if (hash.size < rules.smallestSize) return false;
  return shouldPublicateCandidates(kind);
}

std::uint64_t childHashOf(const ExactFileHash& hash) {
  std::uint64_t value = 0;
  std::memcpy(&value, hash.data.data(), sizeof(value));
  return value ^ static_cast<std::uint64_t>(hash.size);
}

std::shared_ptr<SymlinkTargetPathEquivalenceInfo> SymlinkTargetPathEquivalenceInfo::fromLink(
    const std::string& linkPath) {
  auto target = symbolicLinkTarget(linkPath);
  if (!target.hasValue() || !isValidUtf8(target.value())) return nullptr;
  return std::make_shared<SymlinkTargetPathEquivalenceInfo>(std::move(target).value());
}

}  // namespace zarnik
