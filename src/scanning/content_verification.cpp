#include "scanning/content_verification.h"

#include "foundation/disk_access_manager.h"
#include "foundation/logger.h"
#include "foundation/parallel_loop.h"
#include "matching/exact_hashing.h"
#include "platform/file_comparison.h"

#include <fmt/format.h>

#include <atomic>
#include <map>

namespace zarnik {

Result<std::vector<std::vector<MatchingNodePtr>>> splitByWholeContent(
    std::vector<MatchingNodePtr> members, const WholeContentComparison& compare,
    const std::function<void(const Error&)>& onUnreadable) {
  std::vector<std::vector<MatchingNodePtr>> sets;
  while (!members.empty()) {
    std::vector<MatchingNodePtr> same{members.front()};
    std::vector<MatchingNodePtr> different;
    for (size_t i = 1; i < members.size(); ++i) {
      auto equal = compare(*same.front(), *members[i]);
      if (equal.hasError()) {
        if (equal.error().isCancellation()) return equal.error();
        // Which of the two failed is in the error; the first may be the unreadable one, and
        // then no member compares equal to it: the rest are compared among themselves.
        if (onUnreadable) onUnreadable(equal.error());
        if (equal.error().path == same.front()->path()) {
          different.insert(different.end(), same.begin() + 1, same.end());
          different.insert(different.end(), members.begin() + static_cast<std::ptrdiff_t>(i),
                           members.end());
          same.clear();
          break;
        }
        continue;
      }
      (equal.value() ? same : different).push_back(members[i]);
    }
    if (!same.empty()) sets.push_back(std::move(same));
    members = std::move(different);
  }
  return sets;
}

bool digestReadsWholeFile(const MatchingNode& member) {
  const ByteCount size = member.attributes().exactSize;
  return sampledDigestReadSize(member.path(), size) >= size;
}

}  // namespace zarnik

namespace zarnik {
namespace {

// Whether `other` holds what `first` holds, read inside a disk-accessing session of the scan's
// priority, with its progress shown as it goes.
Result<bool> compareWholeContents(const MatchingNode& first, const MatchingNode& other,
                                  const ContentWork& work) {
  const ByteCount size = other.attributes().exactSize;
  ByteCount advanced = 0;
  work.progress->begin([&other] { return other.path(); }, size);
  Result<bool> equal = Error::cancelled();
  if (auto session = DiskAccessManager::shared().beginAccessingURL(
          other.path(), "verifyWholeContent(_:)", work.readingPriority());
      !session) {
    equal = Error::generic("Cannot be read now.", other.path());
  } else if (work.canContinue()) {
    equal = haveEqualContents(first.path(), other.path(), [&work, &advanced](std::int64_t bytes) {
      advanced += bytes;
      work.progress->advance(bytes);
      work.notifyProgress();
      return work.canContinue();  // a comparison that is stopped leaves its group unverified
    });
  }
  work.progress->end(1, std::max<ByteCount>(0, size - advanced));
  return equal;
}

Result<std::vector<CandidateGroup>> splitByContent(const CandidateGroup& group,
                                                   const ContentWork& work) {
  std::vector<MatchingNodePtr> nodes;
  std::map<const MatchingNode*, std::optional<FileId>> keys;
  for (const auto& member : group.members) {
    nodes.push_back(member.node);
    keys[member.node.get()] = member.hardLinkKey;
  }
  const WholeContentComparison compare = [&work](const MatchingNode& first,
                                                 const MatchingNode& other) {
    return compareWholeContents(first, other, work);
  };
  ZK_ASSIGN_OR_RETURN(auto sets,
                      splitByWholeContent(std::move(nodes), compare, [&work](const Error& error) {
                        Logger::shared().log("ContentVerification", "verifyWholeContent(_:)",
                                             error.description, LogContext::at(error.path));
                        work.fail(error);
                      }));
  std::vector<CandidateGroup> parts;
  for (auto& set : sets) {
    CandidateGroup part{group.kind, {}, true};
    for (auto& node : set) part.members.push_back({node, keys[node.get()], {}});
    parts.push_back(std::move(part));
  }
  return parts;
}

}  // namespace

void verifyGroupsByContent(std::vector<CandidateGroup>& groups, bool compareWhole,
                           const ContentWork& work) {
  std::vector<size_t> toCompare;
  for (size_t i = 0; i < groups.size(); ++i) {
    CandidateGroup& group = groups[i];
    if (group.kind != EquivalenceKind::exactHash) continue;
    group.verified = digestReadsWholeFile(*group.members.front().node);
    if (group.verified || !compareWhole) continue;
    toCompare.push_back(i);
    const auto others = static_cast<std::int64_t>(group.members.size() - 1);
    work.progress->announce(others, others * group.members.front().node->attributes().exactSize);
  }
  if (toCompare.empty()) return;
  Logger::shared().log("ContentVerification", "build()",
                       fmt::format("Comparing {} groups by whole content", toCompare.size()));
  // Each group is split into its own slot.
  std::vector<std::optional<std::vector<CandidateGroup>>> splits(groups.size());
  ParallelLoop::run(*work.queue, work.width, toCompare.size(), [&](ParallelLoop::Items& items) {
    while (auto at = items.next()) {
      auto split = splitByContent(groups[toCompare[*at]], work);
      if (split.hasValue()) splits[toCompare[*at]] = std::move(split.value());
    }
  });
  std::vector<CandidateGroup> confirmed;
  for (size_t i = 0; i < groups.size(); ++i) {
    if (!splits[i]) {
      confirmed.push_back(std::move(groups[i]));
      continue;
    }
    for (auto& part : *splits[i]) {
      if (part.members.size() >= 2 && part.holdsSeparateFiles())
        confirmed.push_back(std::move(part));
    }
  }
  groups = std::move(confirmed);
}

}  // namespace zarnik
