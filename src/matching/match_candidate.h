// Groups and memberships. A BaseDuplicateCandidate is one node's membership in matching; an
// EquivalenceCandidate is one group of memberships in order of arrival. Both live on the
// matching engine's queue.
#pragma once

#include "matching/match_criterion.h"
#include "matching/matching_node.h"

#include <memory>
#include <vector>

namespace zarnik {

class EquivalenceCandidate;

class BaseDuplicateCandidate {
 public:
  BaseDuplicateCandidate(MatchingNodePtr node, EquivalenceInfoPtr info)
      : node_(std::move(node)), equivalenceInfo_(std::move(info)) {}

  [[nodiscard]] const MatchingNodePtr& node() const { return node_; }
  [[nodiscard]] const EquivalenceInfoPtr& equivalenceInfo() const { return equivalenceInfo_; }
  [[nodiscard]] EquivalenceCandidate* equivalenceCandidate() const { return equivalenceCandidate_; }
  void setEquivalenceCandidate(EquivalenceCandidate* group) { equivalenceCandidate_ = group; }

  // False when a stronger group holds the node, when the node may not become a duplicate, or
  // when the information says no.
  [[nodiscard]] bool isModelingIntoDuplicateAllowed(const ModelingRules& rules, int claimer) const {
    if (node_->claimers.rawValue >= 2 * claimer) return false;
    if (!node_->isModelingIntoDuplicateAllowed()) return false;
    return equivalenceInfo_->isModelingIntoDuplicateAllowed(rules);
  }

 private:
  MatchingNodePtr node_;
  EquivalenceInfoPtr equivalenceInfo_;
  EquivalenceCandidate* equivalenceCandidate_ = nullptr;  // the group owns its members
};

using DuplicateCandidatePtr = std::shared_ptr<BaseDuplicateCandidate>;

class EquivalenceCandidateDelegate {
 public:
  virtual ~EquivalenceCandidateDelegate() = default;
  virtual void didMatchDuplicates(ByteCount ofSize,
                                  const std::vector<DuplicateCandidatePtr>& duplicates,
                                  const EquivalenceCandidate& group) = 0;
  virtual void didUnmatchDuplicates(const std::vector<DuplicateCandidatePtr>& duplicates,
                                    const EquivalenceCandidate& group) = 0;
};

class EquivalenceCandidate {
 public:
  EquivalenceCandidate(EquivalenceCandidateDelegate* delegate, EquivalenceInfoPtr info, int claimer)
      : delegate_(delegate), equivalenceInfo_(std::move(info)), claimer_(claimer) {}

  [[nodiscard]] const EquivalenceInfoPtr& equivalenceInfo() const { return equivalenceInfo_; }
  [[nodiscard]] EquivalenceKind equivalenceKind() const { return equivalenceInfo_->kind(); }
  [[nodiscard]] int claimer() const { return claimer_; }
  [[nodiscard]] const std::vector<DuplicateCandidatePtr>& duplicates() const { return duplicates_; }
  [[nodiscard]] size_t numberOfDuplicates() const { return duplicates_.size(); }
  [[nodiscard]] bool hasDuplicates() const { return duplicates_.size() >= 2; }

  // Appends memberships; with notify, reports them once the group has at least two members
  // (all of them when it has just reached two).
  void add(const std::vector<DuplicateCandidatePtr>& memberships, bool notify);
  void add(const DuplicateCandidatePtr& membership, bool notify) {
    add(std::vector<DuplicateCandidatePtr>{membership}, notify);
  }
  // Removes the memberships of the given node path; reports them when any were removed.
  std::vector<DuplicateCandidatePtr> removeMembers(const std::string& path);

 private:
  EquivalenceCandidateDelegate* delegate_;
  EquivalenceInfoPtr equivalenceInfo_;
  int claimer_;
  std::vector<DuplicateCandidatePtr> duplicates_;
};

using EquivalenceCandidatePtr = std::shared_ptr<EquivalenceCandidate>;

// The groups accepted when accumulators finish, in order.
struct EquivalenceCandidatesMatchingContext {
  std::vector<EquivalenceCandidatePtr> equivalencesToModel;
};

}  // namespace zarnik
