// Visiting stored groups with their members' nodes decoded ahead, a batch at a time across the
// pool: the same groups in the same order as when nodes are decoded on demand, and a visitor that
// stops is not called again.
#include "support/stored_scan.h"
#include "support/test_dir.h"

#include "detection/duplicates_detection_results.h"
#include "foundation/logger.h"

#include <gtest/gtest.h>

namespace zarnik {
namespace {

using testing::TestDir;
using MemberNodes = DuplicatesDetectionResults::MemberNodes;

// A group as a visitor sees it: its identifier, then each member's identifier and path.
std::vector<std::string> seen(const ZKEquivalence& group) {
  std::vector<std::string> parts{std::to_string(group.uniqueIdentifier)};
  for (const auto& member : group.duplicates) {
    const auto node = member.node();
    parts.push_back(std::to_string(member.identifier) + " " + (node ? node->path() : "?"));
  }
  return parts;
}

class StoredResultsVisitTest : public testing::StoredScanTest {
 protected:
  // Groups of two to four equal files, of sizes that differ from group to group.
  void scanGroups(int groups) {
    for (int i = 0; i < groups; ++i) {
      const std::string content(static_cast<size_t>(10 + i), static_cast<char>('a' + i % 26));
      for (int copy = 0; copy < 2 + i % 3; ++copy)
        dir.file("tree/g" + std::to_string(i) + "/" + std::to_string(copy) + ".txt", content);
    }
    store(dir / "tree");
  }

  std::vector<std::vector<std::string>> visit(MemberNodes nodes, size_t stopAfter = SIZE_MAX) {
    std::vector<std::vector<std::string>> groups;
    auto visited = results
                       ->forEachEquivalence(
                           [&](const ZKEquivalence& group) {
                             groups.push_back(seen(group));
                             return groups.size() < stopAfter;
                           },
                           nodes)
                       .wait();
    EXPECT_TRUE(visited.hasValue());
    EXPECT_EQ(visited.valueOr(-1), static_cast<std::int64_t>(groups.size()));
    return groups;
  }
};

TEST_F(StoredResultsVisitTest, NodesDecodedAheadGiveTheSameGroupsInTheSameOrderAndAStopHolds) {
  scanGroups(200);  // about 600 members: several batches
  const auto asked = visit(MemberNodes::whenAsked);
  ASSERT_EQ(asked.size(), 200u);
  for (const auto& group : asked) {
    for (size_t member = 1; member < group.size(); ++member)
      EXPECT_EQ(group[member].find('?'), std::string::npos) << group[member];
  }
  EXPECT_EQ(visit(MemberNodes::decodedAhead), asked);

  // Stops in the first batch and in later ones.
  for (size_t stop : {1, 90, 150}) {
    const auto part = visit(MemberNodes::decodedAhead, stop);
    ASSERT_EQ(part.size(), stop);
    EXPECT_TRUE(std::equal(part.begin(), part.end(), asked.begin()));
  }
}

}  // namespace
}  // namespace zarnik
