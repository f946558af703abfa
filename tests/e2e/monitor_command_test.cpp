// The duplicates monitor run as a person runs it, `zarnik monitor run` in a home of the test's own:
// copies are reported in its status and by a desktop notification, reviewed and cleaned as a
// scan's results, found again after a crash, and watched folders may vanish, move or be mounted
// over without stopping it. Every wait is a deadline loop of short polls.
#include "e2e/zarnik_runner.h"
#include "support/notification_recorder.h"
#include "support/private_session_bus.h"
#include "support/test_dir.h"

#include "base/date.h"
#include "base/json.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/mount.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace zarnik {
namespace {

using namespace std::chrono_literals;
using testing::quoted;
using testing::runZarnik;
using testing::TestDir;

using testing::kSlowdown;

// Polls `done` every 50 ms until it holds or `timeout` (longer for a sanitized program) passes.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 8s) {
  const auto deadline = std::chrono::steady_clock::now() + timeout * kSlowdown;
  while (std::chrono::steady_clock::now() < deadline) {
    if (done()) return true;
    std::this_thread::sleep_for(50ms);
  }
  return done();
}

std::string readWhole(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Content of its own for each `seed`, so that files made from different seeds never match.
std::string content(int seed, size_t size = 8192) {
  std::string bytes(size, '\0');
  std::uint32_t state = 2654435761U * static_cast<std::uint32_t>(seed + 1);
  for (auto& byte : bytes) {
    state = state * 1664525U + 1013904223U;
    byte = static_cast<char>(state >> 24);
  }
  return bytes;
}

void copyFile(const std::string& from, const std::string& to) {
  std::filesystem::copy_file(from, to);
}

// `zarnik monitor run` as a child process, its standard error kept in a file.
class MonitorProcess {
 public:
  MonitorProcess(const std::vector<std::string>& folders, std::string errPath)
      : errPath_(std::move(errPath)) {
    std::vector<std::string> arguments{ZARNIK_BINARY, "monitor", "run"};
    arguments.insert(arguments.end(), folders.begin(), folders.end());
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath_.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawn(&pid_, ZARNIK_BINARY, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~MonitorProcess() {
    if (pid_ > 0) kill(SIGKILL);
  }
  MonitorProcess(const MonitorProcess&) = delete;
  MonitorProcess& operator=(const MonitorProcess&) = delete;

  [[nodiscard]] pid_t pid() const { return pid_; }
  [[nodiscard]] bool isRunning() const {
    if (pid_ <= 0) return false;
    int raw = 0;
    return ::waitpid(pid_, &raw, WNOHANG) == 0;
  }
  // Sends `signal` and waits for the end; the exit code, 128 + the signal when one ended it.
  int kill(int signal) {
    ::kill(pid_, signal);
    int raw = 0;
    ::waitpid(pid_, &raw, 0);
    pid_ = -1;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  }
  [[nodiscard]] std::string errors() const { return readWhole(errPath_); }

 private:
  std::string errPath_;
  pid_t pid_ = -1;
};

class MonitorCommandTest : public testing::ZarnikProgramTest {
 protected:
  void SetUp() override {
    ZarnikProgramTest::SetUp();
    // The running marker lies here: a folder of the test's own, and no user service manager.
    runtime_ =
        std::make_unique<testing::ScopedEnvironment>("XDG_RUNTIME_DIR", scratch.dir("runtime"));
    noBus_ = std::make_unique<testing::ScopedEnvironment>("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
  }

  std::unique_ptr<MonitorProcess> startMonitor(const std::vector<std::string>& folders = {}) {
    auto monitor = std::make_unique<MonitorProcess>(
        folders, scratch / ("monitor-" + std::to_string(++starts_) + ".err"));
    EXPECT_GT(monitor->pid(), 0);
    return monitor;
  }

  // What `zarnik monitor status --json` says; an empty object when it says nothing readable.
  Json status() {
    const auto run = runZarnik("monitor status --json", scratch);
    auto parsed = parseJson(run.out);
    return parsed.hasValue() ? parsed.value() : Json::object();
  }
  std::int64_t statusNumber(const Json& json, const char* key) {
    return json.value(key, std::int64_t{-1});
  }
  std::int64_t newDuplicates(const Json& json) {
    const auto recent = json.find("recentDuplicates");
    return recent == json.end() ? -1 : recent->value("new", std::int64_t{-1});
  }
  std::int64_t totalRecentDuplicates(const Json& json) {
    const auto recent = json.find("recentDuplicates");
    return recent == json.end() ? -1 : recent->value("total", std::int64_t{-1});
  }
  std::vector<std::string> latestPaths(const Json& json) {
    std::vector<std::string> paths;
    const auto recent = json.find("recentDuplicates");
    if (recent == json.end() || !recent->contains("latest")) return paths;
    for (const auto& duplicate : (*recent)["latest"])
      paths.push_back(duplicate.value("path", std::string()));
    return paths;
  }

  bool waitForState(const std::string& state, std::chrono::milliseconds timeout = 8s) {
    return waitUntil([&] { return status().value("state", std::string()) == state; }, timeout);
  }
  bool waitForGroups(std::int64_t groups, std::chrono::milliseconds timeout = 8s) {
    return waitUntil([&] { return statusNumber(status(), "groups") == groups; }, timeout);
  }

  // The groups of an export document (`scan --json`, `results --json`), each as its set of paths.
  static std::set<std::set<std::string>> groupsOf(const Json& document) {
    std::set<std::set<std::string>> groups;
    for (const auto& group : document["groups"]) {
      std::set<std::string> paths;
      for (const auto& copy : group["duplicates"]) {
        paths.insert(copy.value("scanLocation", std::string()) + copy.value("path", std::string()));
      }
      groups.insert(paths);
    }
    return groups;
  }
  std::set<std::set<std::string>> exported(const std::string& arguments) {
    const auto run = runZarnik(arguments, scratch);
    EXPECT_EQ(run.status, 0) << arguments << ": " << run.err;
    auto parsed = parseJson(run.out);
    EXPECT_TRUE(parsed.hasValue()) << arguments << ": " << run.out;
    return parsed.hasValue() ? groupsOf(parsed.value()) : std::set<std::set<std::string>>{};
  }

  void setOngoingStoreOperations(std::int64_t count) {
    const std::string path = scratch / "config/zarnik/settings.json";
    auto settings = parseJson(readWhole(path));
    ASSERT_TRUE(settings.hasValue()) << path;
    settings.value()["DuplicatesMonitorCrashHandler.ongoingDMOperationsCount"] = count;
    std::ofstream(path, std::ios::trunc) << dumpJson(settings.value(), 2);
  }

 private:
  std::unique_ptr<testing::ScopedEnvironment> runtime_;
  std::unique_ptr<testing::ScopedEnvironment> noBus_;
  int starts_ = 0;
};

TEST_F(MonitorCommandTest, ACopyMadeInAWatchedFolderIsReportedInTheStatusAndByOneNotification) {
  std::string whyNot;
  auto bus = testing::PrivateSessionBus::start(&whyNot);
  if (!bus) GTEST_SKIP() << "no private session bus: " << whyNot;
  auto recorder = testing::NotificationRecorder::start();
  ASSERT_NE(recorder, nullptr);
  const std::string original = tree.file("photos/sunset.jpg", content(1));
  tree.file("photos/other.jpg", content(2));

  auto monitor = startMonitor({tree.path()});
  ASSERT_TRUE(waitForState("monitoring")) << monitor->errors();
  EXPECT_EQ(statusNumber(status(), "groups"), 0);
  const std::string copy = tree / "photos/sunset copy.jpg";
  copyFile(original, copy);

  ASSERT_TRUE(waitUntil([&] { return totalRecentDuplicates(status()) == 1; }, 6s))
      << dumpJson(status(), 2);
  ASSERT_TRUE(recorder->waitForCount(1, 5s));
  const Json found = status();
  EXPECT_EQ(statusNumber(found, "groups"), 1);
  EXPECT_EQ(latestPaths(found), std::vector<std::string>{copy});
  EXPECT_EQ(found.value("updated", std::string()).substr(0, 10), iso8601(dateNow()).substr(0, 10));
  // Once shown in a notification the copy is no longer new, but not yet looked at either.
  EXPECT_TRUE(waitUntil([&] { return newDuplicates(status()) == 0; }))
      << dumpJson(status(), 2) << readWhole(scratch / "zarnik/zarnik.log");
  EXPECT_EQ(found["recentDuplicates"].value("notViewed", -1), 1);
  const auto notifications = recorder->received();
  ASSERT_EQ(notifications.size(), 1U) << readWhole(scratch / "zarnik/zarnik.log");
  EXPECT_NE((notifications[0].summary + notifications[0].body).find("sunset copy.jpg"),
            std::string::npos)
      << notifications[0].summary << " / " << notifications[0].body;

  EXPECT_EQ(monitor->kill(SIGTERM), 0) << monitor->errors();
  const Json stopped = status();
  EXPECT_EQ(stopped.value("state", std::string()), "off");
  EXPECT_EQ(stopped.value("running", true), false);
}

TEST_F(MonitorCommandTest, TheMonitorsGroupIsReviewedCleanedAndBroughtBackWhileItRuns) {
  const std::string original = tree.file("docs/report.pdf", content(3));
  auto monitor = startMonitor({tree.path()});
  ASSERT_TRUE(waitForState("monitoring")) << monitor->errors();
  const std::string copy = tree / "docs/report (1).pdf";
  copyFile(original, copy);
  ASSERT_TRUE(waitForGroups(1)) << dumpJson(status(), 2);

  const auto review = runZarnik("monitor review", scratch);
  ASSERT_EQ(review.status, 0) << review.err;
  EXPECT_NE(review.out.find("report (1).pdf"), std::string::npos) << review.out;
  const auto results = runZarnik("results --json", scratch);
  ASSERT_EQ(results.status, 0) << results.err;
  const Json document = parseJson(results.out).value();
  EXPECT_EQ(groupsOf(document), (std::set<std::set<std::string>>{{original, copy}}));
  std::string copyId;
  for (const auto& member : document["groups"][0]["duplicates"]) {
    if (member.value("path", std::string()) == "docs/report (1).pdf")
      copyId = std::to_string(member.value("identifier", 0));
  }
  ASSERT_FALSE(copyId.empty()) << results.out;

  const auto selected = runZarnik("select --select " + copyId, scratch);
  ASSERT_EQ(selected.status, 0) << selected.err;
  const auto cleaned = runZarnik("clean --yes", scratch);
  ASSERT_EQ(cleaned.status, 0) << cleaned.out << cleaned.err;
  EXPECT_FALSE(std::filesystem::exists(copy));
  EXPECT_TRUE(std::filesystem::exists(original));
  EXPECT_TRUE(waitForGroups(0)) << "the running monitor keeps the cleaned group: "
                                << dumpJson(status(), 2);

  const auto reverted = runZarnik("revert --all", scratch);
  ASSERT_EQ(reverted.status, 0) << reverted.out << reverted.err;
  EXPECT_EQ(readWhole(copy), content(3));
  EXPECT_TRUE(monitor->isRunning()) << monitor->errors();
}

TEST_F(MonitorCommandTest, OneCopyIsIgnoredCleanedAndPutBackByItsPathWhileTheMonitorRuns) {
  const std::string report = tree.file("docs/report.pdf", content(3));
  const std::string photo = tree.file("pictures/beach.jpg", content(4));
  auto monitor = startMonitor({tree.path()});
  ASSERT_TRUE(waitForState("monitoring")) << monitor->errors();
  const std::string reportCopy = tree / "docs/report (copy).pdf";
  const std::string photoCopy = tree / "pictures/beach (copy).jpg";
  copyFile(report, reportCopy);
  copyFile(photo, photoCopy);
  ASSERT_TRUE(waitForGroups(2)) << dumpJson(status(), 2);

  // Ignored: no news of it, and its group is not under review.
  const auto ignored = runZarnik("monitor ignore " + quoted(reportCopy), scratch);
  ASSERT_EQ(ignored.status, 0) << ignored.err;
  EXPECT_TRUE(waitUntil([&] {
    const Json now = status();
    for (const auto& duplicate : now["recentDuplicates"]["latest"]) {
      if (duplicate.value("path", std::string()) == reportCopy)
        return duplicate.value("ignored", false);
    }
    return false;
  })) << dumpJson(status(), 2);
  EXPECT_EQ(newDuplicates(status()), 1);
  EXPECT_EQ(exported("monitor review --json"),
            (std::set<std::set<std::string>>{{photo, photoCopy}}));
  EXPECT_NE(runZarnik("monitor ignore " + quoted(tree / "docs/gone.pdf"), scratch).status, 0);
  ASSERT_EQ(runZarnik("monitor unignore " + quoted(reportCopy), scratch).status, 0);
  EXPECT_EQ(runZarnik("monitor unignore " + quoted(reportCopy), scratch).status, 1)
      << "no longer ignored";
  EXPECT_EQ(exported("monitor review --json"),
            (std::set<std::set<std::string>>{{report, reportCopy}, {photo, photoCopy}}));

  // Cleaning by path keeps a copy of every group, and nothing the person did not name goes.
  const auto whole =
      runZarnik("monitor clean --yes " + quoted(report) + " " + quoted(reportCopy), scratch);
  EXPECT_EQ(whole.status, 1);
  EXPECT_NE(whole.err.find("none would be kept"), std::string::npos) << whole.err;
  const auto unknown = runZarnik("monitor clean --yes " + quoted(tree / "docs"), scratch);
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.err.find("not among the duplicates the monitor found"), std::string::npos)
      << unknown.err;
  EXPECT_TRUE(std::filesystem::exists(report) && std::filesystem::exists(reportCopy));

  const auto cleaned = runZarnik("monitor clean --yes " + quoted(reportCopy), scratch);
  ASSERT_EQ(cleaned.status, 0) << cleaned.out << cleaned.err;
  EXPECT_FALSE(std::filesystem::exists(reportCopy));
  for (const auto& kept : {report, photo, photoCopy})
    EXPECT_TRUE(std::filesystem::exists(kept)) << kept;
  EXPECT_TRUE(waitForGroups(1)) << dumpJson(status(), 2);

  const auto back = runZarnik("monitor put-back " + quoted(reportCopy), scratch);
  ASSERT_EQ(back.status, 0) << back.out << back.err;
  EXPECT_EQ(readWhole(reportCopy), content(3));
  EXPECT_EQ(runZarnik("monitor put-back " + quoted(photoCopy), scratch).status, 1)
      << "never cleaned";
  EXPECT_TRUE(monitor->isRunning()) << monitor->errors();
}

TEST_F(MonitorCommandTest, IgnoringTheCopyAGroupKeptLeavesTheOthersUnderReviewWithOneKept) {
  const std::string original = tree.file("docs/report.pdf", content(5));
  auto monitor = startMonitor({tree.path()});
  ASSERT_TRUE(waitForState("monitoring")) << monitor->errors();
  copyFile(original, tree / "docs/report (copy).pdf");
  copyFile(original, tree / "docs/report (another copy).pdf");
  ASSERT_TRUE(waitUntil([&] { return statusNumber(status(), "duplicates") == 3; }))
      << dumpJson(status(), 2);
  ASSERT_EQ(runZarnik("monitor ignore " + quoted(original), scratch).status, 0);

  const auto review = runZarnik("monitor review --json", scratch);
  ASSERT_EQ(review.status, 0) << review.err;
  const Json document = parseJson(review.out).value();
  ASSERT_EQ(document["groups"].size(), 1U) << review.out;
  std::set<std::string> proposed;
  std::set<std::string> kept;
  for (const auto& copy : document["groups"][0]["duplicates"])
    (copy.value("autoselect", false) ? proposed : kept).insert(copy.value("path", std::string()));
  EXPECT_EQ(proposed.size() + kept.size(), 2U) << review.out;
  EXPECT_EQ(kept.size(), 1U) << "a group under review keeps one copy: " << review.out;
  EXPECT_FALSE(kept.contains("docs/report.pdf") || proposed.contains("docs/report.pdf"));
}

TEST_F(MonitorCommandTest, AfterBeingKilledWhileSavingTheMonitorKeepsWhatItSavedAndFindsTheRest) {
  constexpr int kPairs = 150;
  for (int i = 0; i < kPairs; ++i)
    tree.file("incoming/f" + std::to_string(i) + ".dat", content(100 + i, 4096));
  auto monitor = startMonitor({tree.path()});
  ASSERT_TRUE(waitForState("monitoring")) << monitor->errors();
  // Spread over folders of their own, so that no folder copies another as a whole.
  const auto copy = [&](int i) {
    const auto folder = tree.dir("copies/" + std::to_string(i % 7));
    copyFile(tree / ("incoming/f" + std::to_string(i) + ".dat"),
             folder + "/f" + std::to_string(i) + ".dat");
  };
  constexpr int kSaved = kPairs / 2;
  for (int i = 0; i < kSaved; ++i) copy(i);
  // The status counts the groups the store holds: these are saved.
  ASSERT_TRUE(waitForGroups(kSaved)) << dumpJson(status(), 2);
  for (int i = kSaved; i < kPairs; ++i) copy(i);
  // Killed as soon as the next groups are being saved.
  ASSERT_TRUE(waitUntil([&] { return statusNumber(status(), "groups") > kSaved; }, 8s));
  monitor->kill(SIGKILL);

  const auto scanned = exported("scan --json " + quoted(tree.path()));
  ASSERT_EQ(scanned.size(), static_cast<size_t>(kPairs));
  auto restarted = startMonitor();
  ASSERT_TRUE(waitForGroups(kPairs, 10s)) << dumpJson(status(), 2) << restarted->errors();
  EXPECT_GE(totalRecentDuplicates(status()), kSaved) << "the saved recent duplicates are lost";
  EXPECT_EQ(exported("monitor review --json"), scanned);
  EXPECT_EQ(restarted->kill(SIGTERM), 0) << restarted->errors();
}

TEST_F(MonitorCommandTest, WatchedFoldersDeletedRenamedOrReplacedByASymlinkLeaveTheMonitorRunning) {
  const std::string doomed = tree.file("doomed/a.bin", content(10));
  copyFile(doomed, tree / "doomed/b.bin");
  const std::string moving = tree.file("old name/c.bin", content(11));
  tree.file("to be a link/d.bin", content(12));
  TestDir outside;
  const std::string outsideFile = outside.file("e.bin", content(13));
  copyFile(outsideFile, outside / "e copy.bin");
  auto monitor = startMonitor({tree.path()});
  ASSERT_TRUE(waitForState("monitoring")) << monitor->errors();
  ASSERT_EQ(statusNumber(status(), "groups"), 1);

  std::filesystem::remove_all(tree / "doomed");
  EXPECT_TRUE(waitForGroups(0)) << "the copies below a deleted folder are not forgotten: "
                                << dumpJson(status(), 2);

  std::filesystem::rename(tree / "old name", tree / "new name");
  copyFile(tree / "new name/c.bin", tree / "new name/c copy.bin");
  ASSERT_TRUE(waitForGroups(1)) << dumpJson(status(), 2);
  EXPECT_EQ(
      exported("monitor review --json"),
      (std::set<std::set<std::string>>{{tree / "new name/c.bin", tree / "new name/c copy.bin"}}));

  std::filesystem::remove_all(tree / "to be a link");
  std::filesystem::create_directory_symlink(outside.path(), tree / "to be a link");
  copyFile(outsideFile, outside / "e second copy.bin");
  copyFile(tree / "new name/c.bin", tree / "new name/c third.bin");  // a change that is seen
  // The review above made the earlier news seen, so the count of new ones is no measure: the
  // third copy among the latest is.
  const std::string third = tree / "new name/c third.bin";
  ASSERT_TRUE(waitUntil([&] {
    const auto paths = latestPaths(status());
    return std::find(paths.begin(), paths.end(), third) != paths.end();
  })) << dumpJson(status(), 2);
  const Json after = status();
  EXPECT_EQ(statusNumber(after, "groups"), 1)
      << "the symlinked folder was followed: " << dumpJson(after, 2);
  for (const auto& path : latestPaths(after)) EXPECT_EQ(path.find("e "), std::string::npos) << path;

  std::filesystem::remove_all(tree.path());
  EXPECT_TRUE(waitUntil([&] { return statusNumber(status(), "groups") == 0; }))
      << dumpJson(status(), 2);
  ASSERT_TRUE(monitor->isRunning()) << monitor->errors();
  EXPECT_EQ(monitor->kill(SIGTERM), 0) << monitor->errors();
}

TEST_F(MonitorCommandTest, AMountUnmountedInsideAWatchedFolderLeavesTheMonitorRunning) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
  const std::string mountPoint = tree.dir("usb stick");
  const std::string original = tree.file("kept/f.bin", content(20));
  auto monitor = startMonitor({tree.path()});
  ASSERT_TRUE(waitForState("monitoring")) << monitor->errors();
  if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=4m") != 0) {
    GTEST_SKIP() << "tmpfs cannot be mounted here: " << std::strerror(errno);
  }
  std::ofstream(mountPoint + "/g.bin") << content(21);
  copyFile(original, mountPoint + "/f copy.bin");
  std::this_thread::sleep_for(300ms);  // the events of the mount are under way when it goes
  const int unmounted = ::umount2(mountPoint.c_str(), MNT_DETACH);
  ASSERT_EQ(unmounted, 0) << std::strerror(errno);

  copyFile(original, tree / "kept/f copy.bin");
  EXPECT_TRUE(waitUntil([&] {
    const auto paths = latestPaths(status());
    return std::find(paths.begin(), paths.end(), tree / "kept/f copy.bin") != paths.end();
  })) << dumpJson(status(), 2);
  ASSERT_TRUE(monitor->isRunning()) << monitor->errors();
  EXPECT_EQ(monitor->kill(SIGTERM), 0) << monitor->errors();
}

TEST_F(MonitorCommandTest, AStoreThatCrashedTheMonitorAtThreeStartsIsResetAndTheFourthStartWorks) {
  const std::string original = tree.file("a.bin", content(30));
  auto first = startMonitor({tree.path()});
  ASSERT_TRUE(waitForState("monitoring")) << first->errors();
  copyFile(original, tree / "b.bin");
  // The status tells what the store holds: once it names the copy, the copy is saved.
  ASSERT_TRUE(waitUntil([&] { return totalRecentDuplicates(status()) == 1; }))
      << dumpJson(status(), 2);
  // Three starts cut off inside a store operation, as a crash there leaves the settings.
  first->kill(SIGKILL);
  for (int crash = 1; crash <= 2; ++crash) {
    setOngoingStoreOperations(1);
    auto crashing = startMonitor();
    ASSERT_TRUE(waitForState("monitoring")) << crashing->errors();
    EXPECT_EQ(totalRecentDuplicates(status()), 1)
        << "the store was reset after " << crash << " crashes";
    EXPECT_EQ(crashing->errors().find("saved state"), std::string::npos) << crashing->errors();
    crashing->kill(SIGKILL);
  }
  setOngoingStoreOperations(1);

  auto fourth = startMonitor();
  ASSERT_TRUE(waitForState("monitoring")) << fourth->errors();
  EXPECT_NE(
      fourth->errors().find("saved state kept making it stop unexpectedly, so it was cleared"),
      std::string::npos)
      << fourth->errors();
  ASSERT_TRUE(waitForGroups(1)) << "the walk finds the group again: " << dumpJson(status(), 2);
  EXPECT_EQ(totalRecentDuplicates(status()), 0)
      << "the recent duplicates of the reset store remain";
  copyFile(original, tree / "c.bin");
  EXPECT_TRUE(waitUntil([&] { return newDuplicates(status()) == 1; })) << dumpJson(status(), 2);
  EXPECT_EQ(fourth->kill(SIGTERM), 0) << fourth->errors();
  const auto settings = parseJson(readWhole(scratch / "config/zarnik/settings.json")).value();
  EXPECT_EQ(settings.value("DuplicatesMonitorCrashHandler.consecutiveDMCrashesCount", -1), 0);
  EXPECT_EQ(settings.value("DuplicatesMonitorCrashHandler.ongoingDMOperationsCount", -1), 0);
}

TEST_F(MonitorCommandTest, EnablingWithoutAUserServiceManagerSaysSoInOneLine) {
  const auto run = runZarnik("monitor enable", scratch);
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.out.empty()) << run.out;
  ASSERT_FALSE(run.err.empty());
  EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
  EXPECT_NE(run.err.find("No user service manager"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("zarnik monitor run"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace zarnik
