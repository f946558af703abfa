// Black-box tests of results that outlive the program: scan, then results and select in later
// runs; stores that are damaged or too new; and the program killed while it writes.
#include "e2e/zarnik_runner.h"
#include "support/test_dir.h"

#include "base/json.h"
#include "platform/file_lock.h"
#include "platform/file_reading.h"
#include "platform/sqlite_database.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <signal.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace zarnik {
namespace {

using testing::quoted;
using testing::runZarnik;

class StoredResultsTest : public testing::ZarnikProgramTest {
 protected:
  [[nodiscard]] std::string store() const { return scratch / "data/zarnik/session/duplicates.db"; }

  Json resultsDocument() {
    auto run = runZarnik("results --json", scratch);
    EXPECT_EQ(run.status, 0) << run.err;
    auto json = parseJson(run.out);
    EXPECT_TRUE(json.hasValue()) << run.out;
    return json.hasValue() ? json.value() : Json();
  }

  // Runs zarnik with `arguments` and kills it with SIGKILL after `delay`.
  static void runAndKill(const std::vector<std::string>& arguments,
                         std::chrono::microseconds delay) {
    const pid_t child = testing::spawnZarnik(arguments);
    ASSERT_GT(child, 0);
    // The moment of the kill is the point of the test, not a wait for work.
    std::this_thread::sleep_for(delay);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
  }
};

TEST_F(StoredResultsTest, ScanResultsAndSelectionChangesOutliveTheProgram) {
  tree.file("a/report.pdf", "same content");
  tree.file("b/report copy.pdf", "same content");
  tree.file("a/x.txt", "other pair");
  tree.file("b/y.txt", "other pair");
  auto none = runZarnik("results", scratch);
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.err.find("run `zarnik scan` first"), std::string::npos) << none.err;

  auto scan = runZarnik("scan --exact --min-size 0 " + quoted(tree.path()), scratch);
  ASSERT_EQ(scan.status, 0) << scan.err;
  // The store was closed at the end: its write-ahead log was folded in and removed, not left to
  // grow run after run. (A sanitized program tears down as usual instead, for its leak check; a
  // store its queues still hold at exit may then keep its log.)
#ifndef ZARNIK_SANITIZED_PROGRAM
  EXPECT_NE(::access((store() + "-wal").c_str(), F_OK), 0);
#endif
  auto listed = runZarnik("results", scratch);
  ASSERT_EQ(listed.status, 0) << listed.err;
  EXPECT_NE(listed.out.find("Found 2 groups with 4 copies"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("remove " + tree / "b/report copy.pdf"), std::string::npos)
      << listed.out;

  // The export of the stored results names each group and copy by its identifier.
  Json document = resultsDocument();
  ASSERT_EQ(document["groups"].size(), 2u);
  std::int64_t group = 0;
  std::int64_t removed = 0;
  std::int64_t kept = 0;
  for (const auto& equivalence : document["groups"]) {
    for (const auto& duplicate : equivalence["duplicates"]) {
      if (bytesFromJson(duplicate["path"]) == "b/report copy.pdf") {
        group = equivalence["identifier"];
        removed = duplicate["identifier"];
        EXPECT_EQ(duplicate["autoselect"], true);
      } else if (bytesFromJson(duplicate["path"]) == "a/report.pdf") {
        kept = duplicate["identifier"];
        EXPECT_EQ(duplicate["original"], true);
      }
    }
  }
  ASSERT_NE(group, 0);

  auto keepBoth = runZarnik("select --deselect " + std::to_string(removed), scratch);
  ASSERT_EQ(keepBoth.status, 0) << keepBoth.err;
  EXPECT_NE(keepBoth.out.find("newly kept #" + std::to_string(removed)), std::string::npos)
      << keepBoth.out;

  // Selecting every copy needs --force; nothing changes without it. Several copies follow one
  // --select, as the help shows.
  const std::string both =
      "select --select " + std::to_string(removed) + " " + std::to_string(kept);
  auto refused = runZarnik(both, scratch);
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("every copy of the group would be removed"), std::string::npos)
      << refused.err;
  auto forced = runZarnik(both + " --force", scratch);
  EXPECT_EQ(forced.status, 0) << forced.err;

  auto strategy =
      runZarnik("select --group " + std::to_string(group) + " --strategy none", scratch);
  EXPECT_EQ(strategy.status, 0) << strategy.err;
  auto unknown = runZarnik("select --group 999 --strategy none", scratch);
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.err.find("no group 999"), std::string::npos) << unknown.err;

  // Three undos go back to the scan's own proposal. The first returns to every copy selected: it
  // warns and needs --force, as the change that selected them did.
  auto refusedUndo = runZarnik("select --undo", scratch);
  EXPECT_EQ(refusedUndo.status, 1);
  EXPECT_NE(refusedUndo.err.find("every copy of the group would be removed"), std::string::npos)
      << refusedUndo.err;
  ASSERT_EQ(runZarnik("select --undo --force", scratch).status, 0);
  for (int i = 0; i < 2; ++i) ASSERT_EQ(runZarnik("select --undo", scratch).status, 0);
  const Json undone = resultsDocument();
  for (const auto& equivalence : undone["groups"]) {
    if (equivalence["identifier"] != group) continue;
    EXPECT_EQ(equivalence["selection"], "automatic");
    for (const auto& duplicate : equivalence["duplicates"]) {
      EXPECT_EQ(duplicate["autoselect"], duplicate["identifier"] == removed);
    }
  }
  auto exhausted = runZarnik("select --undo", scratch);
  EXPECT_EQ(exhausted.status, 1);
  EXPECT_NE(exhausted.err.find("no selection change to undo"), std::string::npos) << exhausted.err;

  // Redoing the change that selected every copy warns as the change did, and needs --force again.
  ASSERT_EQ(runZarnik("select --redo", scratch).status, 0);
  auto refusedRedo = runZarnik("select --redo", scratch);
  EXPECT_EQ(refusedRedo.status, 1);
  EXPECT_NE(refusedRedo.err.find("every copy of the group would be removed"), std::string::npos)
      << refusedRedo.err;
  EXPECT_EQ(resultsDocument()["groups"].size(), 2u);
  EXPECT_EQ(runZarnik("select --redo --force", scratch).status, 0);
}

TEST_F(StoredResultsTest, DamagedOrNewerStoresAreToldAboutAndNeverOverwritten) {
  tree.file("a/one", "pair");
  tree.file("b/one", "pair");
  ASSERT_EQ(runZarnik("scan --min-size 0 " + quoted(tree.path()), scratch).status, 0);
  {
    auto database = SqliteDatabase::open(store());
    ASSERT_TRUE(database.hasValue());
    ASSERT_TRUE(database.value()->setUserVersion(99).hasValue());
  }
  auto newer = runZarnik("results", scratch);
  EXPECT_EQ(newer.status, 1);
  EXPECT_NE(newer.err.find("newer version of Zarnik"), std::string::npos) << newer.err;
  // A scan still works; its results are not kept, and the newer store stays as it was.
  auto scan = runZarnik("scan --min-size 0 " + quoted(tree.path()), scratch);
  EXPECT_EQ(scan.status, 0) << scan.err;
  EXPECT_NE(scan.err.find("will not be kept"), std::string::npos) << scan.err;
  EXPECT_NE(scan.out.find("Found 1 group"), std::string::npos) << scan.out;
  EXPECT_EQ(SqliteDatabase::open(store()).value()->userVersion().valueOr(0), 99);

  ::unlink(store().c_str());
  ::unlink((store() + "-wal").c_str());
  ::unlink((store() + "-shm").c_str());
  tree.file("store-garbage", std::string(8192, 'z'));
  ASSERT_EQ(::rename((tree / "store-garbage").c_str(), store().c_str()), 0);
  auto damaged = runZarnik("results", scratch);
  EXPECT_EQ(damaged.status, 1);
  EXPECT_NE(damaged.err.find("damaged; moved aside to " + store() + ".damaged-"), std::string::npos)
      << damaged.err;
  EXPECT_EQ(runZarnik("scan --min-size 0 " + quoted(tree.path()), scratch).status, 0);
  EXPECT_EQ(resultsDocument()["groups"].size(), 1u);
}

TEST_F(StoredResultsTest, KillingAScanWhileItStoresLeavesTheOldOrTheNewResults) {
  tree.file("small/a", "one pair");
  tree.file("small/b", "one pair");
  ASSERT_EQ(runZarnik("scan --min-size 0 " + quoted(tree / "small"), scratch).status, 0);
  constexpr int kPairs = 1000;
  for (int i = 0; i < kPairs; ++i) {
    const std::string content = "pair number " + std::to_string(i);
    tree.file("large/a/" + std::to_string(i), content);
    tree.file("large/b/" + std::to_string(i), content);
  }
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(runZarnik("scan --min-size 0 " + quoted(tree / "large"), scratch).status, 0);
  const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - started);
  ASSERT_EQ(runZarnik("scan --min-size 0 " + quoted(tree / "small"), scratch).status, 0);

  std::mt19937 random(11);
  std::uniform_int_distribution<long> moment(0, whole.count());
  std::set<size_t> seen;
  for (int round = 0; round < 8; ++round) {
    runAndKill({"scan", "--min-size", "0", tree / "large"},
               std::chrono::microseconds(moment(random)));
    auto run = runZarnik("results --json", scratch);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err.find("damaged"), std::string::npos) << run.err;
    auto json = parseJson(run.out);
    ASSERT_TRUE(json.hasValue()) << run.out.substr(0, 200);
    const size_t groups = json.value()["groups"].size();
    EXPECT_TRUE(groups == 1 || groups == kPairs) << groups;
    seen.insert(groups);
  }
  EXPECT_FALSE(seen.empty());
}

TEST_F(StoredResultsTest, AWriterWaitsAFewSecondsForAnotherAndThenSaysWhoHoldsTheResults) {
  tree.file("a/one", "pair");
  tree.file("b/one copy", "pair");
  ASSERT_EQ(runZarnik("scan --exact --min-size 0 " + quoted(tree.path()), scratch).status, 0);
  const Json before = resultsDocument();
  const std::string lockFile = scratch / "data/zarnik/session/session.lock";
  {
    auto held = FileLock::tryLock(lockFile, "zarnik clean");
    ASSERT_TRUE(held.hasValue() && held.value().has_value());
    const std::string busy =
        "another zarnik (pid " + std::to_string(::getpid()) +
        ", `zarnik clean`) is changing the results; try again when it has finished";
    const std::vector<std::string> writers = {"select --group 1 --strategy none",
                                              "clean --yes --delete",
                                              "scan --min-size 0 " + quoted(tree.path())};
    for (const auto& command : writers) {
      const auto started = std::chrono::steady_clock::now();
      auto refused = runZarnik(command, scratch);
      EXPECT_EQ(refused.status, 1) << command;
      EXPECT_NE(refused.err.find(busy), std::string::npos) << command << ": " << refused.err;
      // It gave up after its few seconds of waiting, not when the lock went.
      EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30)) << command;
    }
    // Reading never waits.
    EXPECT_EQ(resultsDocument(), before);
    auto dryRun = runZarnik("clean --dry-run", scratch);
    EXPECT_EQ(dryRun.status, 0) << dryRun.err;
    EXPECT_NE(dryRun.out.find("would be moved to the trash"), std::string::npos) << dryRun.out;
  }
  EXPECT_EQ(testing::contentsOf(tree / "b/one copy"), "pair");
  auto changed = runZarnik("select --group 1 --strategy none", scratch);
  EXPECT_EQ(changed.status, 0) << changed.err;
}

TEST_F(StoredResultsTest,
       ADamagedStateFileCostsTheViewStateButNotTheResultsOrTheirCleaningRecords) {
  tree.file("a/one", "pair");
  tree.file("b/one copy", "pair");
  ASSERT_EQ(runZarnik("scan --exact --min-size 0 " + quoted(tree.path()), scratch).status, 0);
  ASSERT_EQ(runZarnik("clean --yes", scratch).status, 0);
  const std::string state = scratch / "data/zarnik/session/session.state";
  tree.file("garbage", "{\"$class\": \"DuplicatesDetectionSessionState\", \"status\": 17");
  ASSERT_EQ(::rename((tree / "garbage").c_str(), state.c_str()), 0);

  auto listed = runZarnik("results", scratch);
  EXPECT_EQ(listed.status, 0) << listed.err;
  EXPECT_NE(listed.err.find(state + ": the session state was damaged and is moved aside to " +
                            state + ".damaged-"),
            std::string::npos)
      << listed.err;
  EXPECT_NE(listed.out.find("(cleaning 1: in the trash)"), std::string::npos) << listed.out;
  auto reverted = runZarnik("revert --all", scratch);
  EXPECT_EQ(reverted.status, 0) << reverted.err << reverted.out;
  EXPECT_EQ(testing::contentsOf(tree / "b/one copy"), "pair");
}

TEST_F(StoredResultsTest, ADamagedWriteAheadLogIsSetAsideAndNamedNeverReadAsEmpty) {
  tree.file("a/one", "pair");
  tree.file("b/one copy", "pair");
  ASSERT_EQ(runZarnik("scan --exact --min-size 0 " + quoted(tree.path()), scratch).status, 0);
  // Two committed writes left in the log, as a program killed before closing the store leaves
  // them: both files are copied while the store is still open, before closing folds the log in.
  std::string storeBytes;
  std::string logBytes;
  {
    auto database = SqliteDatabase::open(store());
    ASSERT_TRUE(database.hasValue());
    auto& db = *database.value();
    ASSERT_TRUE(db.execute("PRAGMA journal_mode = WAL").hasValue());
    ASSERT_TRUE(db.execute("PRAGMA wal_autocheckpoint = 0").hasValue());
    ASSERT_TRUE(db.execute("UPDATE ZKEquivalence SET expanded = 1").hasValue());
    ASSERT_TRUE(db.execute("UPDATE ZKDuplicate SET ignored = 1").hasValue());
    storeBytes = testing::contentsOf(store());
    logBytes = testing::contentsOf(store() + "-wal");
  }
  ASSERT_GE(logBytes.size(), 32u + 2 * (24u + 16384u));
  logBytes[32 + 24 + 100] ^=
      0x5a;  // inside the first frame: the later commit can no longer be replayed
  ASSERT_TRUE(writeFileAtomically(store(), storeBytes).hasValue());
  ASSERT_TRUE(writeFileAtomically(store() + "-wal", logBytes).hasValue());
  ::unlink((store() + "-shm").c_str());

  auto damaged = runZarnik("results", scratch);
  EXPECT_EQ(damaged.status, 1);
  EXPECT_NE(damaged.err.find(store() + ": the stored results were damaged; moved aside to " +
                             store() + ".damaged-"),
            std::string::npos)
      << damaged.err;
  size_t setAside = 0;
  for (const auto& entry : std::filesystem::directory_iterator(scratch / "data/zarnik/session")) {
    const std::string name = entry.path().filename();
    if (name.find("duplicates.db.damaged-") == 0 && name.size() > 4 &&
        name.substr(name.size() - 4) == "-wal") {
      EXPECT_EQ(testing::contentsOf(entry.path()),
                logBytes);  // kept as found, for whoever can repair it
      ++setAside;
    }
  }
  EXPECT_EQ(setAside, 1u);
}

TEST_F(StoredResultsTest, KillingASelectionChangeLeavesTheOldOrTheNewSelection) {
  tree.file("a/one", "pair");
  tree.file("b/one copy", "pair");  // the scan proposes the copy: "automatic" and "none" differ
  ASSERT_EQ(runZarnik("scan --min-size 0 " + quoted(tree.path()), scratch).status, 0);
  std::mt19937 random(5);
  std::uniform_int_distribution<long> moment(0, 40000);
  for (int round = 0; round < 16; ++round) {
    const std::string strategy = round % 2 == 0 ? "none" : "automatic";
    runAndKill({"select", "--group", "1", "--strategy", strategy},
               std::chrono::microseconds(moment(random)));
    const Json document = resultsDocument();
    ASSERT_EQ(document["groups"].size(), 1u);
    const auto& group = document["groups"][0];
    const auto selection = group["selection"];
    EXPECT_TRUE(selection == "none" || selection == "automatic") << selection;
    size_t proposed = 0;
    for (const auto& duplicate : group["duplicates"])
      proposed += duplicate["autoselect"] == true ? 1 : 0;
    EXPECT_EQ(proposed, selection == "automatic" ? 1u : 0u);  // the selection and its name agree
  }
  auto undo = runZarnik("select --undo", scratch);
  EXPECT_TRUE(undo.status == 0 || undo.err.find("no selection change to undo") != std::string::npos)
      << undo.err;
}

}  // namespace
}  // namespace zarnik
