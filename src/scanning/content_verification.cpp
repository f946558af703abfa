#include "scanning/content_verification.h"

#include "matching/exact_hashing.h"

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
