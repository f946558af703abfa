// A cleaning tried as an adversarial user would: links put in the path after the scan, a second
// writer while a cleaning runs, hard links that cannot be made, one file seen twice through an
// overlay mount. Each must end with the copy in place, the kept original intact and the reason
// told; none may lose the last copy of a file.
#include "e2e/zarnik_runner.h"
#include "support/test_dir.h"

#include "base/json.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace zarnik::testing {
namespace {

namespace fs = std::filesystem;

bool exists(const std::string& path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0;
}

// Named apart: inside a test, Run is gtest's member function.
using Finished = zarnik::testing::Run;

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class CleaningAttack : public ZarnikProgramTest {
 protected:
  std::vector<std::string> mounted;

  void TearDown() override {
    for (auto it = mounted.rbegin(); it != mounted.rend(); ++it) ::umount2(it->c_str(), MNT_DETACH);
  }

  void scan(const std::string& locations, const std::string& kinds = "--exact") {
    const auto scanned = runZarnik("scan " + kinds + " --min-size 0 " + locations, scratch);
    ASSERT_EQ(scanned.status, 0) << scanned.err;
  }

  // The stored identifier of the copy at the absolute `path`; 0 when none.
  std::int64_t identifierOf(const std::string& path) {
    auto document = parseJson(runZarnik("results --json", scratch).out);
    if (document.hasError()) return 0;
    for (const auto& group : document.value()["groups"]) {
      for (const auto& copy : group["duplicates"]) {
        std::string location = bytesFromJson(copy["scanLocation"]).value_or("");
        if (!location.empty() && location.back() != '/') location += '/';
        if (location + bytesFromJson(copy["path"]).value_or("") == path) {
          return copy["identifier"];
        }
      }
    }
    return 0;
  }

  // Makes `copy` the one copy of its group proposed for removal and `kept` the one kept.
  void proposeForRemoval(const std::string& copy, const std::string& kept) {
    const auto copyID = identifierOf(copy);
    const auto keptID = identifierOf(kept);
    ASSERT_NE(copyID, 0) << copy << " is in no group";
    ASSERT_NE(keptID, 0) << kept << " is in no group";
    ASSERT_EQ(runZarnik("select --deselect " + std::to_string(keptID), scratch).status, 0);
    const auto selected = runZarnik("select --select " + std::to_string(copyID), scratch);
    ASSERT_EQ(selected.status, 0) << selected.err;
  }

  bool mount(const char* type, const std::string& target, const std::string& options) {
    fs::create_directories(target);
    if (::mount(type, target.c_str(), type, 0, options.empty() ? nullptr : options.c_str()) != 0)
      return false;
    mounted.push_back(target);
    return true;
  }

  // The cleaning failed for `copy`, named in the output with a reason containing `why`.
  static void expectFailedFor(const Finished& cleaned, const std::string& copy,
                              const std::string& why) {
    EXPECT_EQ(cleaned.status, 1) << cleaned.out << cleaned.err;
    EXPECT_TRUE(contains(cleaned.out, "Failed: 1")) << cleaned.out;
    EXPECT_TRUE(contains(cleaned.out + cleaned.err, copy)) << cleaned.out << cleaned.err;
    EXPECT_TRUE(contains(cleaned.out + cleaned.err, why)) << "no reason with \"" << why << "\":\n"
                                                          << cleaned.out << cleaned.err;
  }
};

// Attack 1: a symbolic link put in the path after the scan.

TEST_F(CleaningAttack, AKeptFileReplacedByALinkToTheCopyLeavesTheCopyInPlace) {
  tree.file("d/keep.txt", "the only content");
  tree.file("d/keep copy.txt", "the only content");
  scan(quoted(tree.path()));
  fs::remove(tree / "d/keep.txt");
  tree.symlink("d/keep.txt", "keep copy.txt");

  const auto cleaned = runZarnik("clean --yes --delete", scratch);
  EXPECT_EQ(contentsOf(tree / "d/keep copy.txt"), "the only content");
  expectFailedFor(cleaned, tree / "d/keep copy.txt", "link");
}

TEST_F(CleaningAttack, ACopyReplacedByALinkToTheKeptFileIsNotRemovedAsIfItWereTheCopy) {
  tree.file("d/keep.txt", "the only content");
  tree.file("d/keep copy.txt", "the only content");
  scan(quoted(tree.path()));
  fs::rename(tree / "d/keep copy.txt", tree / "elsewhere.txt");
  tree.symlink("d/keep copy.txt", "keep.txt");

  const auto cleaned = runZarnik("clean --yes --delete", scratch);
  EXPECT_EQ(contentsOf(tree / "d/keep.txt"), "the only content");
  EXPECT_EQ(contentsOf(tree / "elsewhere.txt"), "the only content");
  EXPECT_TRUE(exists(tree / "d/keep copy.txt"));  // not the file scanned: left alone
  expectFailedFor(cleaned, tree / "d/keep copy.txt", "link");
}

TEST_F(CleaningAttack, ACopysFolderReplacedByALinkToTheKeptFolderLeavesTheKeptFile) {
  tree.file("a/report.txt", "the only content");
  tree.file("b/report.txt", "the only content");
  tree.setModificationTime("a/report.txt", 1700000000);
  tree.setModificationTime("b/report.txt", 1700000000);
  scan(quoted(tree.path()));
  proposeForRemoval(tree / "b/report.txt", tree / "a/report.txt");
  if (HasFatalFailure()) return;
  fs::rename(tree / "b", tree / "b.real");
  tree.symlink("b", "a");  // b/report.txt is now a/report.txt, as scanned in size and time

  const auto cleaned = runZarnik("clean --yes --delete", scratch);
  EXPECT_EQ(contentsOf(tree / "a/report.txt"), "the only content");
  EXPECT_EQ(contentsOf(tree / "b.real/report.txt"), "the only content");
  expectFailedFor(cleaned, tree / "b/report.txt", "link");
}

TEST_F(CleaningAttack, AKeptFolderReplacedByALinkToTheCopyFolderLeavesTheCopyFolder) {
  tree.file("Album/one.txt", "first page");
  tree.file("Album/deep/two.txt", "second page");
  tree.file("Album copy/one.txt", "first page");
  tree.file("Album copy/deep/two.txt", "second page");
  scan(quoted(tree.path()), "--folders");
  proposeForRemoval(tree / "Album copy", tree / "Album");
  if (HasFatalFailure()) return;
  fs::remove_all(tree / "Album");
  tree.symlink("Album", "Album copy");

  const auto cleaned = runZarnik("clean --yes --delete", scratch);
  EXPECT_EQ(contentsOf(tree / "Album copy/one.txt"), "first page");
  EXPECT_EQ(contentsOf(tree / "Album copy/deep/two.txt"), "second page");
  expectFailedFor(cleaned, tree / "Album copy", "link");
}

TEST_F(CleaningAttack, ACopyFolderReplacedByALinkToTheKeptFolderIsNotRemovedAsIfItWereTheCopy) {
  tree.file("Album/one.txt", "first page");
  tree.file("Album copy/one.txt", "first page");
  scan(quoted(tree.path()), "--folders");
  proposeForRemoval(tree / "Album copy", tree / "Album");
  if (HasFatalFailure()) return;
  fs::rename(tree / "Album copy", tree / "moved away");
  tree.symlink("Album copy", "Album");

  const auto cleaned = runZarnik("clean --yes --delete", scratch);
  EXPECT_EQ(contentsOf(tree / "Album/one.txt"), "first page");
  EXPECT_EQ(contentsOf(tree / "moved away/one.txt"), "first page");
  expectFailedFor(cleaned, tree / "Album copy", "link");
}

// Attack 2: a second writer while a cleaning runs: the copy the first cleaning was about to
// remove is made the kept one, and the kept one is selected and cleaned by a second cleaning.

TEST_F(CleaningAttack, ASecondWriterDuringACleaningNeverLeavesAGroupWithoutACopy) {
#ifdef ZARNIK_SANITIZED_PROGRAM
  constexpr int kPairs =
      500;  // the sanitized program cleans several times slower: the window stays as wide
#else
  constexpr int kPairs = 2000;
#endif
  for (int i = 0; i < kPairs; ++i) {
    const std::string content = "pair " + std::to_string(i);
    tree.file("a/" + std::to_string(i), content);
    tree.file("b/" + std::to_string(i) + " copy", content);
  }
  scan(quoted(tree.path()));
  const std::string last = std::to_string(kPairs - 1);
  const auto copyID = identifierOf(tree / ("b/" + last + " copy"));
  const auto keptID = identifierOf(tree / ("a/" + last));
  ASSERT_NE(copyID, 0);
  ASSERT_NE(keptID, 0);

  const pid_t first = spawnZarnik({"clean", "--yes", "--delete"});
  ASSERT_GT(first, 0);
  const auto started = std::chrono::steady_clock::now();
  while (exists(tree / "b/0 copy") &&
         std::chrono::steady_clock::now() - started < std::chrono::seconds(20)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  // Each may wait for the first cleaning or be turned away; what matters is what is left.
  runZarnik("select --deselect " + std::to_string(copyID), scratch);
  runZarnik("select --select " + std::to_string(keptID), scratch);
  runZarnik("clean --yes --delete", scratch);
  int status = 0;
  ::waitpid(first, &status, 0);

  for (int i = 0; i < kPairs; ++i) {
    const std::string name = std::to_string(i);
    EXPECT_TRUE(exists(tree / ("a/" + name)) || exists(tree / ("b/" + name + " copy")))
        << "pair " << name << " is gone";
  }
}

// Attack 3: a hard link that cannot be made leaves the copy where it is.

TEST_F(CleaningAttack, AHardLinkToAKeptFileOnAnotherFileSystemLeavesTheCopy) {
  if (!runningAsRoot() || !mount("tmpfs", tree / "other", "size=1m"))
    GTEST_SKIP() << "cannot mount a tmpfs here";
  tree.file("other/report.txt", "the content");
  tree.file("disk/report copy.txt", "the content");
  scan(quoted(tree.path()));
  proposeForRemoval(tree / "disk/report copy.txt", tree / "other/report.txt");
  if (HasFatalFailure()) return;

  const auto cleaned = runZarnik("clean --yes --hardlink", scratch);
  EXPECT_EQ(contentsOf(tree / "disk/report copy.txt"), "the content");
  EXPECT_EQ(contentsOf(tree / "other/report.txt"), "the content");
  expectFailedFor(cleaned, tree / "disk/report copy.txt", "file system");
  EXPECT_FALSE(contains(cleaned.out, "replaced by hard links: 1")) << cleaned.out;
}

// Makes a file immutable (no link to it can be made); false where the file system cannot.
bool makeImmutable(const std::string& path, bool immutable) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  int flags = 0;
  bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  flags = immutable ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
  done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  ::close(fd);
  return done;
}

TEST_F(CleaningAttack, AHardLinkToAnImmutableKeptFileLeavesTheCopy) {
  tree.file("a/report.txt", "the content");
  tree.file("b/report copy.txt", "the content");
  scan(quoted(tree.path()));
  if (!makeImmutable(tree / "a/report.txt", true))
    GTEST_SKIP() << "this file system has no immutable files";

  const auto cleaned = runZarnik("clean --yes --hardlink", scratch);
  makeImmutable(tree / "a/report.txt", false);
  EXPECT_EQ(contentsOf(tree / "b/report copy.txt"), "the content");
  EXPECT_EQ(contentsOf(tree / "a/report.txt"), "the content");
  expectFailedFor(cleaned, tree / "b/report copy.txt", "hard link");
}

// Attack 4: an overlay mount scanned together with its lower folder: one file seen twice.

TEST_F(CleaningAttack, AFileSeenTwiceThroughAnOverlayMountIsNotRemoved) {
  tree.file("lower/song.txt", "the only real file");
  tree.dir("upper");
  tree.dir("work");
  const std::string options =
      "lowerdir=" + tree / "lower" + ",upperdir=" + tree / "upper" + ",workdir=" + tree / "work";
  if (!runningAsRoot() || !mount("overlay", tree / "merged", options))
    GTEST_SKIP() << "cannot mount an overlay here";
  scan(quoted(tree / "lower") + " " + quoted(tree / "merged"));
  proposeForRemoval(tree / "lower/song.txt", tree / "merged/song.txt");
  if (HasFatalFailure()) return;

  const auto cleaned = runZarnik("clean --yes --delete", scratch);
  EXPECT_EQ(contentsOf(tree / "lower/song.txt"), "the only real file");
  EXPECT_EQ(contentsOf(tree / "merged/song.txt"), "the only real file");
  EXPECT_EQ(cleaned.status, 1) << cleaned.out << cleaned.err;
  EXPECT_TRUE(contains(cleaned.out + cleaned.err, tree / "lower/song.txt"))
      << cleaned.out << cleaned.err;
}

}  // namespace
}  // namespace zarnik::testing
