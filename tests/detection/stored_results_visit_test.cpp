// Visiting stored groups with their members' nodes decoded ahead, a batch at a time across the
// pool: the same groups in the same order as when nodes are decoded on demand, and a visitor that
// stops is not called again. Groups kept when they are stored are the stored ones, in the same
// order.
#include "support/stored_scan.h"
#include "support/test_dir.h"

#include "detection/duplicates_detection_results.h"
#include "foundation/logger.h"
#include "store/archiving.h"
#include "store/managed_object_context.h"

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
  void scanGroups(int groups, size_t mostKeptCopies = 0) {
    for (int i = 0; i < groups; ++i) {
      const std::string content(static_cast<size_t>(10 + i), static_cast<char>('a' + i % 26));
      for (int copy = 0; copy < 2 + i % 3; ++copy)
        dir.file("tree/g" + std::to_string(i) + "/" + std::to_string(copy) + ".txt", content);
    }
    store(dir / "tree", /*selectRandomAmongEqual=*/true, mostKeptCopies);
  }

  std::vector<ZKEquivalence> read() {
    std::vector<ZKEquivalence> groups;
    EXPECT_TRUE(results
                    ->forEachEquivalence([&](const ZKEquivalence& group) {
                      groups.push_back(group);
                      return true;
                    })
                    .wait()
                    .hasValue());
    return groups;
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

// What a listing reads of a group besides its members' nodes, as stored.
ManagedObjectContext::EncodedEquivalence withoutNodes(ZKEquivalence group) {
  for (auto& member : group.duplicates) member.nodeData.clear();
  return ManagedObjectContext::encode(std::move(group));
}

TEST_F(StoredResultsVisitTest, GroupsKeptWhenStoredAreTheStoredGroupsInTheirOrderTakenOnce) {
  // Tiny files take a block each: most groups free as much as others, and their order comes from
  // their identifiers.
  scanGroups(120, DuplicatesDetectionResults::kMostKeptCopies);
  const auto kept = results->takeStoredGroups().wait();
  ASSERT_TRUE(kept.hasValue());
  const auto stored = read();
  ASSERT_EQ(kept.value()->size(), 120u);
  ASSERT_EQ(kept.value()->size(), stored.size());
  for (size_t index = 0; index < stored.size(); ++index) {
    const ZKEquivalence& fromMemory = (*kept.value())[index];
    const ZKEquivalence& fromStore = stored[index];
    EXPECT_EQ(seen(fromMemory), seen(fromStore));
    const auto a = withoutNodes(fromMemory);
    const auto b = withoutNodes(fromStore);
    EXPECT_EQ(a.uniqueIdentifier, b.uniqueIdentifier);
    EXPECT_EQ(a.currentSelectionConfiguration, b.currentSelectionConfiguration);
    EXPECT_EQ(a.initialSelectionConfiguration, b.initialSelectionConfiguration);
    EXPECT_EQ(a.availableSelectionConfigurations, b.availableSelectionConfigurations);
    EXPECT_EQ(a.privateEquivalenceInfo, b.privateEquivalenceInfo);
    EXPECT_EQ(a.reclaimableSize, b.reclaimableSize);
    for (size_t member = 0; member < fromStore.duplicates.size(); ++member) {
      const auto& memoryCopy = fromMemory.duplicates[member];
      const auto& storedCopy = fromStore.duplicates[member];
      EXPECT_EQ(memoryCopy.equivalence, storedCopy.equivalence);
      EXPECT_EQ(memoryCopy.differencesData, storedCopy.differencesData);
      // The node shown is the one stored: archived again, it gives the stored archive.
      ASSERT_NE(memoryCopy.node(), nullptr);
      EXPECT_EQ(storedCopy.substitutions->archivedNode(*memoryCopy.node()), storedCopy.nodeData);
    }
  }
  const auto again = results->takeStoredGroups().wait();
  ASSERT_TRUE(again.hasValue());
  EXPECT_TRUE(again.value()->empty());
}

// A cleaned copy's record outlives the results. When its node could not be read, the next scan's
// locations must not make it readable as some other file.
TEST_F(StoredResultsVisitTest, ACarriedRecordWhoseNodeCannotBeReadStaysUnreadable) {
  scanGroups(3, DuplicatesDetectionResults::kMostKeptCopies);
  dir.file("other/alone.txt", "nothing like it");
  const auto access = results->storeAccess();
  const auto damaged = makeFuture(*access.queue, [&access]() -> Result<Void> {
    ZK_ASSIGN_OR_RETURN(auto group, access.context->fetchEquivalence(1));
    if (!group) return Error::generic("no group 1");
    auto& copy = group->duplicates.front();
    copy.cleanID = 1;  // with no note: the record is all there is
    // Its scan location is one this scan does not have; the next scan has two.
    const auto at = copy.nodeData.find(R"("index":0)");
    if (at == std::string::npos) return Error::generic("no scan location in " + copy.nodeData);
    copy.nodeData.replace(at, 9, R"("index":1)");
    ZK_TRY(access.context->updateEquivalence(*group));
    return Void{};
  });
  ASSERT_TRUE(damaged.wait().hasValue()) << damaged.wait().error().oneLine();
  ASSERT_TRUE(testing::scanAndStore(*results, {dir / "tree", dir / "other"}, resolver, true));

  const auto kept = results->takeStoredGroups().wait();
  ASSERT_TRUE(kept.hasValue());
  for (const auto& [source, groups] :
       std::vector<std::pair<const char*, std::vector<ZKEquivalence>>>{{"kept", *kept.value()},
                                                                       {"stored", read()}}) {
    size_t carried = 0;
    for (const auto& group : groups) {
      for (const auto& copy : group.duplicates) {
        if (!copy.cleanID) continue;
        ++carried;
        EXPECT_EQ(copy.node(), nullptr) << source << ": " << copy.node()->path();
      }
    }
    EXPECT_EQ(carried, 1u) << source;
  }
}

TEST_F(StoredResultsVisitTest, GroupsAreKeptOnlyWhenAskedAndNotTooMany) {
  // 5 groups of 2, 3, 4, 2 and 3 copies: 14 copies.
  for (const auto& [mostKeptCopies, keptGroups] :
       std::vector<std::pair<size_t, size_t>>{{0, 0}, {13, 0}, {14, 5}}) {
    scanGroups(5, mostKeptCopies);
    const auto kept = results->takeStoredGroups().wait();
    ASSERT_TRUE(kept.hasValue());
    EXPECT_EQ(kept.value()->size(), keptGroups) << "at most " << mostKeptCopies << " kept";
    EXPECT_EQ(read().size(), 5u);
  }
}

}  // namespace
}  // namespace zarnik
