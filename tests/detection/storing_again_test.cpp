// Storing a scan's groups over results that hold the very same rows writes nothing; anything
// that differs (a copy's record, a file's state, the scan locations, a cleaning record) has the
// groups written again, so that the store always ends as a fresh write would leave it.
#include "support/stored_scan.h"
#include "support/test_dir.h"

#include "detection/duplicates_detection_results.h"
#include "store/equivalence_rows.h"
#include "store/managed_object_context.h"
#include "store/results_fingerprint.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <set>
#include <sstream>
#include <tuple>

namespace zarnik {
namespace {

class StoringAgainTest : public testing::StoredScanTest {
 protected:
  void SetUp() override {
    StoredScanTest::SetUp();
    for (int i = 0; i < 6; ++i) {
      const std::string content(static_cast<size_t>(100 + i), static_cast<char>('a' + i));
      for (int copy = 0; copy < 2 + i % 2; ++copy)
        dir.file("tree/g" + std::to_string(i) + "/" + std::to_string(copy) + ".txt", content);
    }
    store(dir / "tree", /*selectRandomAmongEqual=*/false,
          DuplicatesDetectionResults::kMostKeptCopies);
    (void)results->takeStoredGroups().wait();
  }

  // Runs `work` on the queue of `target` (the results under test by default) with its context.
  template <typename Work>
  auto onQueue(Work work, DuplicatesDetectionResults* target = nullptr) {
    const auto access = (target != nullptr ? target : results.get())->storeAccess();
    return makeFuture(*access.queue, [&access, &work]() { return work(*access.context); }).wait();
  }

  // Rows changed by the results' connection since it opened.
  std::int64_t rowsWritten() {
    const auto written = onQueue([](ManagedObjectContext& context) -> Result<std::int64_t> {
      ZK_ASSIGN_OR_RETURN(auto query, context.store().database().prepare("SELECT total_changes()"));
      ZK_ASSIGN_OR_RETURN(const bool row, query.step());
      return row ? query.integer(0) : -1;
    });
    EXPECT_TRUE(written.hasValue());
    return written.valueOr(-1);
  }

  Result<Void> sql(const std::string& statement) {
    return onQueue([&statement](ManagedObjectContext& context) -> Result<Void> {
      ZK_TRY(context.store().database().execute(statement));
      return Void{};
    });
  }

  // The stored groups as text: every column of every row, in order.
  std::string rows(DuplicatesDetectionResults* target = nullptr) {
    const auto text = onQueue(
        [](ManagedObjectContext& context) -> Result<std::string> {
          std::ostringstream out;
          for (const auto& [table, columns, order] :
               {std::tuple{"ZKEquivalence", equivalence_rows::kEquivalenceColumns,
                           "uniqueIdentifier"},
                std::tuple{"ZKDuplicate", equivalence_rows::kDuplicateColumns,
                           "equivalence, Z_PK"}}) {
            const auto count = std::count(columns.begin(), columns.end(), ',') + 1;
            ZK_ASSIGN_OR_RETURN(auto query,
                                context.store().database().prepare(fmt::format(
                                    "SELECT {} FROM {} ORDER BY {}", columns, table, order)));
            for (;;) {
              ZK_ASSIGN_OR_RETURN(const bool row, query.step());
              if (!row) break;
              for (int column = 0; column < count; ++column)
                out << (query.isNull(column) ? "null" : query.text(column)) << '|';
              out << '\n';
            }
          }
          return out.str();
        },
        target);
    EXPECT_TRUE(text.hasValue());
    return text.valueOr("");
  }

  // The digest of the store's groups and copies; a test failure when there is none.
  ResultsFingerprint::Digest storedFingerprint() {
    const auto digest = onQueue([](ManagedObjectContext& context) {
      return ResultsFingerprint::ofStoredGroups(context, 1, std::nullopt);
    });
    EXPECT_TRUE(digest.hasValue());
    return digest.valueOr(ResultsFingerprint::Digest{});
  }

  void storeAgain(const std::vector<std::string>& folders) {
    ASSERT_TRUE(testing::scanAndStore(*results, folders, resolver));
  }

  // The rows a first write of a scan of `folders` leaves in new results.
  std::string freshRows(const std::vector<std::string>& folders) {
    auto fresh = DuplicatesDetectionResults::open(std::nullopt, {});
    EXPECT_TRUE(fresh.hasValue());
    if (fresh.hasError() || !testing::scanAndStore(*fresh.value(), folders, resolver)) return "";
    return rows(fresh.value().get());
  }
};

TEST_F(StoringAgainTest, TheSameGroupsAreNotWrittenAgainAndAreListedAsBefore) {
  const std::string before = rows();
  const std::int64_t written = rowsWritten();
  storeAgain({dir / "tree"});
  EXPECT_EQ(rowsWritten(), written);
  EXPECT_EQ(rows(), before);
  const auto kept = results->takeStoredGroups().wait();
  ASSERT_TRUE(kept.hasValue());
  EXPECT_EQ(kept.value()->size(), 6u);
  for (const auto& group : *kept.value()) {
    for (const auto& copy : group.duplicates) EXPECT_NE(copy.node(), nullptr);
  }
}

// Each change is undone by the next scan, as a fresh write would undo it.
TEST_F(StoringAgainTest, RowsChangedSinceTheyWereWrittenAreWrittenAgain) {
  const std::string written = rows();
  for (const char* change : {"UPDATE ZKDuplicate SET ignored = 1 WHERE identifier = 2",
                             "UPDATE ZKEquivalence SET expanded = 1 WHERE uniqueIdentifier = 3",
                             "UPDATE ZKDuplicate SET differencesData = NULL WHERE identifier = 1",
                             "DELETE FROM ZKDuplicate WHERE identifier = 4"}) {
    ASSERT_TRUE(sql(change).hasValue()) << change;
    ASSERT_NE(rows(), written) << change;
    storeAgain({dir / "tree"});
    EXPECT_EQ(rows(), written) << change;
  }
  // A selection history, which new results end, though the groups' rows are the same.
  ASSERT_TRUE(sql("INSERT INTO ZKActivityLogItem (date, equivalenceIdentifier, "
                  "rawInteractionType) VALUES (0, 1, 'Direct')")
                  .hasValue());
  const std::int64_t before = rowsWritten();
  storeAgain({dir / "tree"});
  EXPECT_GT(rowsWritten(), before);
  const auto history =
      onQueue([](ManagedObjectContext& context) { return context.fetchActivityLogItems(); });
  ASSERT_TRUE(history.hasValue());
  EXPECT_TRUE(history.value().empty());
}

// Every column the groups are written as counts: a store whose rows differ in any one value
// from what would be written has a different fingerprint.
TEST_F(StoringAgainTest, EveryColumnOfAGroupOrACopyChangesTheFingerprint) {
  const auto original = storedFingerprint();
  for (const auto& [table, columns, key] :
       {std::tuple{"ZKEquivalence", equivalence_rows::kEquivalenceColumns, "uniqueIdentifier = 2"},
        std::tuple{"ZKDuplicate", equivalence_rows::kDuplicateColumns, "identifier = 3"}}) {
    std::string_view list = columns;
    while (!list.empty()) {
      const size_t comma = std::min(list.find(','), list.size());
      std::string column(list.substr(0, comma));
      column.erase(0, column.find_first_not_of(' '));
      list.remove_prefix(std::min(list.size(), comma + 1));
      // Kept apart from every value a column holds, and back again afterwards.
      ASSERT_TRUE(sql("PRAGMA foreign_keys = OFF").hasValue());
      ASSERT_TRUE(
          sql(fmt::format("CREATE TEMP TABLE saved AS SELECT * FROM {}", table)).hasValue());
      ASSERT_TRUE(sql(fmt::format("UPDATE {} SET {} = CASE WHEN typeof({}) = 'integer' THEN {} + "
                                  "1000003 WHEN {} IS NULL THEN 'x' ELSE {} || 'x' END WHERE {}",
                                  table, column, column, column, column, column, key))
                      .hasValue())
          << column;
      EXPECT_NE(storedFingerprint(), original) << table << "." << column;
      ASSERT_TRUE(sql(fmt::format("DELETE FROM {}; INSERT INTO {} SELECT * FROM temp.saved; "
                                  "DROP TABLE temp.saved",
                                  table, table))
                      .hasValue());
      ASSERT_TRUE(sql("PRAGMA foreign_keys = ON").hasValue());
    }
  }
  EXPECT_EQ(storedFingerprint(), original);
}

TEST_F(StoringAgainTest, AFileChangedOrOtherScanLocationsHaveTheGroupsWrittenAgain) {
  // A copy touched since: its node's dates differ.
  const std::string touched = dir / "tree/g1/0.txt";
  std::filesystem::last_write_time(
      touched, std::filesystem::last_write_time(touched) - std::chrono::hours(24));
  std::int64_t written = rowsWritten();
  storeAgain({dir / "tree"});
  EXPECT_GT(rowsWritten(), written);
  EXPECT_EQ(rows(), freshRows({dir / "tree"}));
  // The same files under two locations: the archives name other locations.
  written = rowsWritten();
  storeAgain({dir / "tree/g0", dir / "tree/g1", dir / "tree/g2", dir / "tree/g3", dir / "tree/g4",
              dir / "tree/g5"});
  EXPECT_GT(rowsWritten(), written);
  written = rowsWritten();
  storeAgain({dir / "tree/g0", dir / "tree/g1", dir / "tree/g2", dir / "tree/g3", dir / "tree/g4",
              dir / "tree/g5"});
  EXPECT_EQ(rowsWritten(), written);
}

// A cleaned copy's record is carried into the new results; once carried, storing the same scan
// again finds it there and writes nothing, and it stays there once.
TEST_F(StoringAgainTest, ACarriedCleaningRecordIsWrittenOnceAndKept) {
  ASSERT_TRUE(sql("UPDATE ZKDuplicate SET cleanID = 1 WHERE identifier = 1").hasValue());
  storeAgain({dir / "tree"});
  const std::string carried = rows();
  const std::int64_t written = rowsWritten();
  storeAgain({dir / "tree"});
  EXPECT_EQ(rowsWritten(), written);
  EXPECT_EQ(rows(), carried);
  const auto kept = results->takeStoredGroups().wait();
  ASSERT_TRUE(kept.hasValue());
  size_t cleaned = 0;
  for (const auto& group : *kept.value()) {
    for (const auto& copy : group.duplicates) cleaned += copy.cleanID ? 1 : 0;
  }
  EXPECT_EQ(cleaned, 1u);
  EXPECT_EQ(kept.value()->size(), 7u);  // the six groups and the carried one
}

// Many chunks: after the digest finds a difference, the groups are written from the first, kept
// once, and the store ends as a first write leaves it; the progress runs once to the end.
TEST_F(StoringAgainTest, GroupsFoundChangedAfterTheCheckAreWrittenFromTheFirstAndKeptOnce) {
  for (int i = 0; i < 600; ++i) {
    const std::string content = "file " + std::to_string(i);
    dir.file("big/" + std::to_string(i) + "/a", content);
    dir.file("big/" + std::to_string(i) + "/b", content);
  }
  const std::vector<std::string> folders{dir / "tree", dir / "big"};
  storeAgain(folders);
  (void)results->takeStoredGroups().wait();
  // Only the digest tells this change: as many groups and copies, the same locations.
  ASSERT_TRUE(sql("UPDATE ZKDuplicate SET ignored = 1 WHERE identifier = 1000").hasValue());
  const auto scan = testing::scanOf(folders, resolver);
  ASSERT_TRUE(scan);
  std::vector<double> progress;
  const auto stored = results
                          ->storeResults(scan->result, scan->locations,
                                         [&progress](double done) { progress.push_back(done); })
                          .wait();
  ASSERT_TRUE(stored.hasValue());
  EXPECT_EQ(rows(), freshRows(folders));
  const auto kept = results->takeStoredGroups().wait();
  ASSERT_TRUE(kept.hasValue());
  std::set<std::int64_t> groups;
  std::set<std::int64_t> copies;
  size_t copyCount = 0;
  for (const auto& group : *kept.value()) {
    groups.insert(group.uniqueIdentifier);
    for (const auto& copy : group.duplicates) copies.insert(copy.identifier);
    copyCount += group.duplicates.size();
  }
  EXPECT_EQ(kept.value()->size(), 606u);
  EXPECT_EQ(groups.size(), 606u);
  EXPECT_EQ(copyCount, 1215u);
  EXPECT_EQ(copies.size(), copyCount);
  ASSERT_FALSE(progress.empty());
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_LE(progress.front(), 0.5);
  EXPECT_EQ(progress.back(), 1.0);
}

// Writes that join the open transaction while the chunks are digested (the queue runs other
// work between them) change what the store holds: the groups are written.
TEST_F(StoringAgainTest, AWriteBetweenTheChunksHasTheGroupsWritten) {
  const std::string written = rows();
  const auto scan = testing::scanOf({dir / "tree"}, resolver);
  ASSERT_TRUE(scan);
  const auto queue = results->storeAccess().queue;
  const auto context = results->storeAccess().context;
  // Holds the queue until the storing and the write are both queued behind it, in that order.
  std::promise<void> release;
  auto released = release.get_future().share();
  queue->async([released] { released.wait(); });
  auto stored = results->storeResults(scan->result, scan->locations);
  queue->async([context] {
    (void)context->store().database().execute(
        "UPDATE ZKDuplicate SET ignored = 1 WHERE identifier = 2");
  });
  release.set_value();
  ASSERT_TRUE(stored.wait().hasValue());
  EXPECT_EQ(rows(), written);
}

// The rows written are the tables' columns, all but SQLite's row number.
TEST_F(StoringAgainTest, TheColumnsWrittenAreAllTheColumnsOfGroupsAndCopies) {
  for (const auto& [table, columns] :
       {std::pair{"ZKEquivalence", equivalence_rows::kEquivalenceColumns},
        std::pair{"ZKDuplicate", equivalence_rows::kDuplicateColumns}}) {
    const std::string name = table;  // a lambda cannot capture a structured binding here
    const auto names = onQueue([&name](ManagedObjectContext& context) -> Result<std::string> {
      ZK_ASSIGN_OR_RETURN(auto query, context.store().database().prepare(
                                          fmt::format("SELECT name FROM pragma_table_info('{}') "
                                                      "WHERE name != 'Z_PK' ORDER BY cid",
                                                      name)));
      std::string list;
      for (;;) {
        ZK_ASSIGN_OR_RETURN(const bool row, query.step());
        if (!row) return list;
        list += (list.empty() ? "" : ", ") + query.text(0);
      }
    });
    ASSERT_TRUE(names.hasValue());
    EXPECT_EQ(names.value(), columns) << table;
  }
}

}  // namespace
}  // namespace zarnik
