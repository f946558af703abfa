#include "matching/match_candidate.h"

#include <algorithm>

namespace zarnik {

void EquivalenceCandidate::add(const std::vector<DuplicateCandidatePtr>& memberships, bool notify) {
  for (const auto& membership : memberships) {
    membership->setEquivalenceCandidate(this);
    duplicates_.push_back(membership);
  }
  if (!notify || delegate_ == nullptr || duplicates_.size() < 2) return;
  const bool justMatched = duplicates_.size() == 2;
  const std::vector<DuplicateCandidatePtr>& reported = justMatched ? duplicates_ : memberships;
  ByteCount size = 0;
  for (const auto& membership : reported) size += membership->node()->attributes().diskSize;
  delegate_->didMatchDuplicates(size, reported, *this);
}

std::vector<DuplicateCandidatePtr> EquivalenceCandidate::removeMembers(const std::string& path) {
  std::vector<DuplicateCandidatePtr> removed;
  auto keep = std::stable_partition(
      duplicates_.begin(), duplicates_.end(),
      [&](const DuplicateCandidatePtr& m) { return m->node()->path() != path; });
  removed.assign(keep, duplicates_.end());
  duplicates_.erase(keep, duplicates_.end());
  for (const auto& membership : removed) membership->setEquivalenceCandidate(nullptr);
  if (!removed.empty() && delegate_ != nullptr) delegate_->didUnmatchDuplicates(removed, *this);
  return removed;
}

}  // namespace zarnik
