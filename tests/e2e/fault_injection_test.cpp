// Cleanings and reverts killed at every call that changes a file: after each kill, the next run
// recovers and nothing is lost. The program runs with a library loaded in front of the C library
// (fault_injection/fault_injection.c) that kills it at the n-th call of rename, link, unlink,
// write, fsync and their kin; the kill points are learnt from one counted run of each way.
//
// For each kill point: a fresh tree is scanned (a revert first cleans it), the way is run and
// killed, then the same command is run again as a user would after a crash, and `zarnik results`
// gives the records that the invariant is checked against (cleaning_invariant.h).
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "e2e/fault_injection/cleaning_invariant.h"
#include "e2e/fault_injection/faulted_run.h"
#include "support/test_dir.h"

#ifndef KILL_POINTS_PER_CALL
#define KILL_POINTS_PER_CALL 4
#endif

namespace zarnik::testing {
namespace {

namespace fs = std::filesystem;

// Processor time of the programs this test ran, which unlike the wall clock does not depend on
// what else the machine is doing.
double childrenSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_CHILDREN, &usage);
  const auto seconds = [](const timeval& time) { return static_cast<double>(time.tv_sec) + time.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// One way of cleaning or reverting, as typed on the command line. "{moved}" stands for the
// folder of --move-to.
struct Way {
  const char* name;
  std::vector<std::string> command;        // the run that is cut off, and run again to recover
  std::vector<std::string> cleanedBefore;  // for a revert: the cleaning it undoes
  bool withFolders = false;
  bool revertedAfter = false;  // after the recovery, a revert must bring every copy back
  bool movesToAnotherFileSystem = false;  // the folder of --move-to is on another file system
};

std::ostream& operator<<(std::ostream& out, const Way& way) { return out << way.name; }

const Way kWays[] = {
    {"Trash", {"clean", "--yes", "--trash"}, {}},
    {"Delete", {"clean", "--yes", "--delete"}, {}},
    {"MoveTo", {"clean", "--yes", "--move-to", "{moved}"}, {}},
    {"MoveToAnotherFileSystem", {"clean", "--yes", "--move-to", "{moved}"}, {}, false, false, true},
    {"HardLink", {"clean", "--yes", "--hardlink"}, {}, false, true},
    {"FolderDelete", {"clean", "--yes", "--delete"}, {}, true},
    {"RevertTrash", {"revert", "--all"}, {"clean", "--yes", "--trash"}},
    {"RevertHardLink", {"revert", "--all"}, {"clean", "--yes", "--hardlink"}},
};

// A group of three copies and one of two (its copy alone in a nested folder, which goes with it),
// with one copy of each to keep; or a folder group and a pair of files. Every content is
// different, so that a lost one is noticed.
TreePlan treeFor(const Way& way) {
  const auto text = [](const char* word) { return std::string(word) + ": " + std::string(64, word[0]); };
  TreePlan plan;
  if (way.withFolders) {
    plan.files = {{"docs/report.txt", text("report")},   {"docs/report copy.txt", text("report")},
                  {"Album/one.txt", text("one")},         {"Album/deep/two.txt", text("two")},
                  {"Album copy/one.txt", text("one")},    {"Album copy/deep/two.txt", text("two")}};
    plan.items = {{"docs/report copy.txt", "docs/report.txt"}, {"Album copy", "Album"}};
    return plan;
  }
  plan.files = {{"a/notes.txt", text("notes")},        {"b/notes copy.txt", text("notes")},
                {"b/notes copy 2.txt", text("notes")}, {"pictures/beach.dat", text("beach")},
                {"pictures/old/beach copy.dat", text("beach")}, {"solo.txt", text("solo")}};
  plan.items = {{"b/notes copy.txt", "a/notes.txt"},
                {"b/notes copy 2.txt", "a/notes.txt"},
                {"pictures/old/beach copy.dat", "pictures/beach.dat"}};
  return plan;
}

// A kill loses nothing that fsync would have kept, so the trees can live in memory, where the
// program's many syncs cost nothing: this halves the time of the harness.
std::string memoryBackedFolder() {
  return ::access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm" : fs::temp_directory_path().string();
}

class FaultInjection : public ::testing::TestWithParam<Way> {
 protected:
  TestDir tree{memoryBackedFolder()};
  TestDir scratch{memoryBackedFolder()};
  TestDir elsewhere;  // in the temporary folder, which may be another file system
  TreePlan plan = treeFor(GetParam());

  void SetUp() override {
    ::setenv("HOME", home().c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home() + "/data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home() + "/config").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (home() + "/cache").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (home() + "/state").c_str(), 1);
  }

  [[nodiscard]] std::string home() const { return scratch / "home"; }
  [[nodiscard]] std::string moved() const {
    return GetParam().movesToAnotherFileSystem ? elsewhere / "moved" : scratch / "moved";
  }
  [[nodiscard]] Places places() const { return {tree.path(), home() + "/data/Trash", moved()}; }

  [[nodiscard]] std::vector<std::string> withFolder(std::vector<std::string> arguments) const {
    for (auto& argument : arguments) {
      if (argument == "{moved}") argument = moved();
    }
    return arguments;
  }

  ProgramRun run(const std::vector<std::string>& arguments) {
    return runProgram(withFolder(arguments), {}, scratch.path());
  }

  // A fresh tree, stores and trash, scanned, and cleaned already when the way is a revert.
  void prepare() {
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(tree.path())) fs::remove_all(entry.path(), ignored);
    fs::remove_all(home(), ignored);
    fs::remove_all(moved(), ignored);
    fs::create_directories(home());
    fs::create_directories(moved());
    plan.build(tree.path());
    std::vector<std::string> scan{"scan", "--exact", "--min-size", "0"};
    if (GetParam().withFolders) scan.emplace_back("--folders");
    scan.push_back(tree.path());
    const auto scanned = run(scan);
    ASSERT_EQ(scanned.status, 0) << scanned.err;
    if (!GetParam().cleanedBefore.empty()) {
      const auto cleaned = run(GetParam().cleanedBefore);
      ASSERT_EQ(cleaned.status, 0) << cleaned.out << cleaned.err;
    }
  }

  // After the way ran to its end: the copies planned to go went, or came back for a revert.
  void expectTheWayDidItsWork(const ProgramRun& done) {
    ASSERT_EQ(done.status, 0) << done.out << done.err;
    const std::string results = run({"results"}).out;
    const bool revert = !GetParam().cleanedBefore.empty();
    for (const auto& item : plan.items) {
      const Record record = recordOf(results, tree / item.path);
      if (revert) {
        EXPECT_EQ(contentsOf(tree / item.path), plan.filesOf(item.path).begin()->second) << item.path;
      } else {
        EXPECT_NE(record.kind, Record::Kind::none) << item.path << " was not cleaned:\n" << results;
      }
    }
    EXPECT_EQ(invariantViolations(plan, places(), results, revert), std::vector<std::string>{});
  }

  // A fresh tree, the way killed at `point`, the same command again, and what is broken then.
  std::vector<std::string> violationsAfterKillAt(const KillPoint& point, bool* reached) {
    prepare();
    if (HasFatalFailure()) return {};
    *reached = runKilledAt(point, withFolder(GetParam().command), scratch.path()).killed;
    const auto recovered = run(GetParam().command);
    const auto listed = run({"results"});
    auto violations = invariantViolations(plan, places(), listed.out, !GetParam().cleanedBefore.empty());
    if (recovered.status < 0) violations.push_back("the next run died: " + recovered.err);
    if (listed.status != 0) violations.push_back("zarnik results fails: " + listed.err);
    if (GetParam().revertedAfter) {
      run({"revert", "--all"});
      for (const auto& violation : invariantViolations(plan, places(), run({"results"}).out, true)) {
        violations.push_back("after revert --all: " + violation);
      }
    }
    return violations;
  }
};

bool onOneFileSystem(const std::string& a, const std::string& b) {
  struct stat first {};
  struct stat second {};
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev;
}

TEST_P(FaultInjection, EveryKillPointLeavesEveryFileAccountedForAfterTheNextRun) {
  if (GetParam().movesToAnotherFileSystem && onOneFileSystem(tree.path(), elsewhere.path())) {
    GTEST_SKIP() << "the temporary folder is on the file system of the tree";
  }
  const auto started = std::chrono::steady_clock::now();
  const double processorBefore = childrenSeconds();
  prepare();
  if (HasFatalFailure()) return;
  ProgramRun counted;
  const auto counts = countCalls(withFolder(GetParam().command), scratch.path(), &counted);
  expectTheWayDidItsWork(counted);
  ASSERT_FALSE(counts.empty()) << "the library counted nothing: is it loaded?";
  if (HasFailure()) return;

  // Writes to the stores are many; four calls of each function, spread over the run, are enough
  // to cut a store write short and keep the harness quick. ZARNIK_FAULT_PER_CALL=1000 tries every call.
  const char* perCall = std::getenv("ZARNIK_FAULT_PER_CALL");
  const auto points = killPointsOf(counts, perCall != nullptr ? std::atol(perCall) : KILL_POINTS_PER_CALL);
  std::ostringstream broken;
  size_t brokenCount = 0;
  size_t notReached = 0;
  for (const auto& point : points) {
    bool reached = false;
    const auto violations = violationsAfterKillAt(point, &reached);
    if (HasFatalFailure()) return;
    notReached += reached ? 0 : 1;
    if (violations.empty()) continue;
    ++brokenCount;
    broken << "  " << point.text() << (reached ? "" : " (not reached)") << ":\n";
    for (const auto& violation : violations) broken << "      " << violation << "\n";
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::ostringstream calls;
  for (const auto& [call, count] : counts) calls << " " << call << "=" << count;
  std::cout << "[ kill points ] " << GetParam().name << ": " << points.size() << " kill points (calls:" << calls.str()
            << "), " << brokenCount << " break the invariant, " << notReached << " not reached, " << seconds
            << " s (" << childrenSeconds() - processorBefore << " s of processor time in the programs)\n";
  EXPECT_EQ(brokenCount, 0u) << "kill points after which a file is not accounted for:\n" << broken.str();
}

INSTANTIATE_TEST_SUITE_P(Ways, FaultInjection, ::testing::ValuesIn(kWays),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zarnik::testing
