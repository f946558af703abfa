// CandidateGroup: a group the engine found, as the building stage sees it: its members in path
// order (so that the same tree gives the same identifiers, original and output every time),
// their hard-link keys, and whether its copies are known to hold the same bytes.
#pragma once

#include "foundation/executor.h"
#include "matching/match_candidate.h"
#include "scanning/detection_result.h"
#include "selection/autoselector.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zarnik {

struct GroupMember {
  MatchingNodePtr node;
  std::optional<FileId> hardLinkKey;
  std::string path;  // for ordering; let go once the groups are sorted
};

struct CandidateGroup {
  EquivalenceKind kind = EquivalenceKind::exactHash;
  std::vector<GroupMember> members;
  bool verified = false;

  // A group made only of hard links of one file frees nothing.
  [[nodiscard]] bool holdsSeparateFiles() const;
  [[nodiscard]] ByteCount largestSize() const;
  // The group as a detection result; its copies are numbered from `nextIdentifier` on.
  [[nodiscard]] scanning_service::DetectionResult detectionResult(
      std::int64_t& nextIdentifier) const;
};

// One engine group's members that may be duplicates, in path order (fewer than two: no group).
// Called on the engine's queue, or once the engine has finished with the group.
[[nodiscard]] CandidateGroup candidateGroupOf(const EquivalenceCandidate& group,
                                              const ModelingRules& rules);
// The engine's groups of at least two members that may be duplicates (a node stays only in its
// strongest group), sorted by their first member's path; made by `width` workers on `executor`.
[[nodiscard]] std::vector<CandidateGroup> candidateGroupsOf(
    const std::vector<EquivalenceCandidatePtr>& groups, const ExtendedScanRules& rules,
    Executor& executor, size_t width);

// What each worker making results needs for its own autoselector (one is used from one thread at
// a time).
struct SelectionInputs {
  OVURLResolver resolver;
  ExtendedAutoselectionRules rules;
  std::shared_ptr<const SystemFiles> systemFiles;
};
// The groups as detection results, with their copies told apart and a selection proposed, each
// group made by one of `width` workers on `executor`. Copies are numbered group after group from 1,
// in the groups' order, whichever worker makes them. Each candidate is emptied once its result is
// made, and `groupMade` is called.
[[nodiscard]] std::vector<scanning_service::DetectionResult> selectedDetectionResults(
    std::vector<CandidateGroup>& candidates, const SelectionInputs& inputs, Executor& executor,
    size_t width, const std::function<void()>& groupMade);

struct AppliedSizeThreshold {
  ByteCount size = 0;
  // The automatic threshold keeps a group whole when its largest copy reaches it.
  bool keepsSmallerCopiesOfLargeGroups = false;
};
// Leaves out what the rules' size threshold leaves out: under the automatic threshold (chosen
// from the copies' sizes) the groups whose largest copy is smaller, under a fixed one the copies
// smaller than it; then the groups left without two separate files.
AppliedSizeThreshold applySizeThreshold(std::vector<CandidateGroup>& groups,
                                        const ExtendedScanRules& rules);

}  // namespace zarnik
