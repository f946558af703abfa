// Confirming a group of exact duplicates by whole content. The sampled digest reads at most four
// chunks of a large file, so two files that differ only between the chunks share it; comparing
// every member with the group's first, byte for byte, tells them apart. Members that differ
// from the first are compared among themselves the same way, so a group splits into the sets
// of members that hold equal bytes.
#pragma once

#include "base/result.h"
#include "matching/content_work.h"
#include "matching/matching_node.h"
#include "scanning/candidate_group.h"

#include <functional>
#include <vector>

namespace zarnik {

// Whether `other` holds the same bytes as `first`; an error for a file that cannot be read, and
// the cancellation error when the comparison was stopped.
using WholeContentComparison =
    std::function<Result<bool>(const MatchingNode& first, const MatchingNode& other)>;

// The members split into sets of equal content, in the members' order, each with at least one
// member. A member that cannot be read is left out (`onUnreadable` hears why). Cancellation
// stops it: the cancellation error, and nothing is split.
[[nodiscard]] Result<std::vector<std::vector<MatchingNodePtr>>> splitByWholeContent(
    std::vector<MatchingNodePtr> members, const WholeContentComparison& compare,
    const std::function<void(const Error&)>& onUnreadable);

// Whether the sampled digest of a file of this size reads all of it: its group is then known
// to hold equal bytes without reading them again.
[[nodiscard]] bool digestReadsWholeFile(const MatchingNode& member);

// Marks the groups of exact duplicates whose digest read their files whole as verified; with
// `compareWhole`, confirms the others by whole content, side by side on the work's queue (at
// most `width` groups at once), and splits them where members differ. Unreadable members are
// reported through the work and left out; a cancelled comparison leaves its group unverified.
void verifyGroupsByContent(std::vector<CandidateGroup>& groups, bool compareWhole,
                           const ContentWork& work);

}  // namespace zarnik
