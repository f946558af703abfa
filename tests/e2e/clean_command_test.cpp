// Black-box tests of cleaning and reverting: scan, clean, revert from the command line, and a
// cleaning killed half-way that still accounts for every copy.
#include "e2e/zarnik_runner.h"
#include "support/test_dir.h"

#include "base/json.h"
#include "platform/mounts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace zarnik {
namespace {

using testing::contentsOf;
using testing::quoted;
using testing::runZarnik;

bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

class CleanCommandTest : public testing::ZarnikProgramTest {
 protected:
  [[nodiscard]] std::string trash() const { return scratch / "data/Trash"; }
  // The stored identifier of the copy at `path` (relative to its scan location); 0 when none.
  [[nodiscard]] std::int64_t copyIdentifier(const std::string& path) const {
    Json document = parseJson(runZarnik("results --json", scratch).out).value();
    for (const auto& group : document["groups"]) {
      for (const auto& copy : group["duplicates"]) {
        if (bytesFromJson(copy["path"]) == path) return copy["identifier"];
      }
    }
    return 0;
  }
};

TEST_F(CleanCommandTest, ScanCleanAndRevertFromTheCommandLine) {
  tree.file("a/report.pdf", "same content");
  tree.file("b/report copy.pdf", "same content");
  tree.file("a/song.mp3", "another pair");
  tree.file("b/song copy.mp3", "another pair");
  ASSERT_EQ(runZarnik("scan --exact --min-size 0 " + quoted(tree.path()), scratch).status, 0);

  auto dry = runZarnik("clean --dry-run", scratch);
  ASSERT_EQ(dry.status, 0) << dry.err;
  EXPECT_NE(dry.out.find("2 copies"), std::string::npos) << dry.out;
  EXPECT_TRUE(exists(tree / "b/report copy.pdf"));
  EXPECT_EQ(runZarnik("clean < /dev/null", scratch).status, 1);  // no confirmation, nothing done
  EXPECT_TRUE(exists(tree / "b/report copy.pdf"));

  auto cleaned = runZarnik("clean --yes", scratch);
  ASSERT_EQ(cleaned.status, 0) << cleaned.err;
  EXPECT_NE(cleaned.out.find("moved to the trash: 2 duplicates"), std::string::npos) << cleaned.out;
  EXPECT_FALSE(exists(tree / "b/report copy.pdf"));
  EXPECT_TRUE(exists(tree / "a/report.pdf"));
  EXPECT_EQ(contentsOf(trash() + "/files/report copy.pdf"), "same content");
  EXPECT_FALSE(exists(tree / "b"));  // emptied by the cleaning, inside the scanned folder
  EXPECT_TRUE(exists(tree.path()));
  auto listed = runZarnik("results", scratch);
  EXPECT_NE(
      listed.out.find("cleaned " + tree / "b/report copy.pdf" + "  (cleaning 1: in the trash)"),
      std::string::npos)
      << listed.out;
  EXPECT_NE(runZarnik("clean --yes", scratch).out.find("Nothing is selected"), std::string::npos);

  // The copy's folder is gone: it is made again.
  auto reverted = runZarnik("revert --all", scratch);
  ASSERT_EQ(reverted.status, 0) << reverted.err << reverted.out;
  EXPECT_EQ(contentsOf(tree / "b/report copy.pdf"), "same content");
  EXPECT_EQ(contentsOf(tree / "b/song copy.mp3"), "another pair");
  EXPECT_FALSE(exists(trash() + "/info/report copy.pdf.trashinfo"));
}

TEST_F(CleanCommandTest, PermanentRemovalIsNotRevertedAndHardLinksAre) {
  tree.file("a/one.txt", "pair one");
  tree.file("b/one copy.txt", "pair one");
  tree.file("a/two.txt", "pair two");
  tree.file("b/two copy.txt", "pair two");
  ASSERT_EQ(runZarnik("scan --exact --min-size 0 " + quoted(tree.path()), scratch).status, 0);
  const std::int64_t oneCopy = copyIdentifier("b/one copy.txt");
  ASSERT_NE(oneCopy, 0);
  ASSERT_EQ(runZarnik("select --deselect " + std::to_string(oneCopy), scratch).status, 0);
  ASSERT_EQ(runZarnik("clean --yes --hardlink", scratch).status, 0);
  struct stat copy {};
  struct stat kept {};
  ASSERT_EQ(::stat((tree / "b/two copy.txt").c_str(), &copy), 0);
  ASSERT_EQ(::stat((tree / "a/two.txt").c_str(), &kept), 0);
  EXPECT_EQ(copy.st_ino, kept.st_ino);  // replaced by a hard link
  ASSERT_EQ(runZarnik("revert --all", scratch).status, 0);
  ASSERT_EQ(::stat((tree / "b/two copy.txt").c_str(), &copy), 0);
  EXPECT_NE(copy.st_ino, kept.st_ino);  // a file of its own again
  EXPECT_EQ(contentsOf(tree / "b/two copy.txt"), "pair two");

  ASSERT_EQ(runZarnik("select --select " + std::to_string(oneCopy), scratch).status, 0);
  ASSERT_EQ(runZarnik("clean --yes --delete", scratch).status, 0);
  EXPECT_FALSE(exists(tree / "b/one copy.txt"));
  auto impossible = runZarnik("revert " + std::to_string(oneCopy), scratch);
  EXPECT_EQ(impossible.status, 1);
  EXPECT_NE(impossible.out.find("Cannot be undone"), std::string::npos) << impossible.out;
}

TEST_F(CleanCommandTest, AFailedCopyIsReportedWithItsReasonAndAFakeCleaningTouchesNothing) {
  tree.file("a/notes.txt", "pair of notes");
  tree.file("b/notes copy.txt", "pair of notes");
  tree.file("a/plan.txt", "pair of plans");
  tree.file("b/plan copy.txt", "pair of plans");
  ASSERT_EQ(runZarnik("scan --exact --min-size 0 " + quoted(tree.path()), scratch).status, 0);
  EXPECT_EQ(runZarnik("clean --yes --volume nonsense", scratch).status, 2);

  auto fake = runZarnik("clean --yes --fake", scratch);
  ASSERT_EQ(fake.status, 0) << fake.err;
  EXPECT_NE(fake.out.find("2 duplicates"), std::string::npos) << fake.out;
  EXPECT_TRUE(exists(tree / "b/notes copy.txt"));
  EXPECT_TRUE(exists(tree / "b/plan copy.txt"));
  EXPECT_FALSE(exists(trash()));
  // Nothing was touched, so nothing is recorded as cleaned.
  EXPECT_EQ(runZarnik("results", scratch).out.find("cleaned "), std::string::npos);
  ASSERT_EQ(runZarnik("revert --all", scratch).status, 0);

  tree.file("b/notes copy.txt", "pair of NOTES");  // changed since the scan
  auto cleaned = runZarnik("clean --yes", scratch);
  EXPECT_EQ(cleaned.status, 1);
  EXPECT_NE(cleaned.out.find("1 duplicate"), std::string::npos) << cleaned.out;
  EXPECT_NE(cleaned.out.find("Failed: 1 duplicate"), std::string::npos) << cleaned.out;
  EXPECT_NE(cleaned.out.find(tree / "b/notes copy.txt"), std::string::npos) << cleaned.out;
  EXPECT_NE(cleaned.out.find("changed after the scan"), std::string::npos) << cleaned.out;
  EXPECT_EQ(contentsOf(tree / "b/notes copy.txt"), "pair of NOTES");
  EXPECT_FALSE(exists(tree / "b/plan copy.txt"));
  auto listed = runZarnik("results", scratch);
  EXPECT_NE(listed.out.find("failed: "), std::string::npos) << listed.out;
  // The copy that stayed is still selected and is tried again by the next cleaning.
  EXPECT_EQ(runZarnik("clean --yes", scratch).status, 1);
  EXPECT_TRUE(exists(tree / "b/notes copy.txt"));
}

TEST_F(CleanCommandTest, AFakeCleaningLeavesTheCopiesForARealOne) {
  tree.file("a/notes.txt", "pair of notes");
  tree.file("b/notes copy.txt", "pair of notes");
  ASSERT_EQ(runZarnik("scan --exact --min-size 0 " + quoted(tree.path()), scratch).status, 0);
  auto fake = runZarnik("clean --yes --fake", scratch);
  ASSERT_EQ(fake.status, 0) << fake.err;
  EXPECT_NE(fake.out.find("pretended to be cleaned (nothing was touched): 1 duplicate"),
            std::string::npos)
      << fake.out;
  EXPECT_NE(runZarnik("clean --dry-run", scratch)
                .out.find("1 copy (13 bytes) would be moved to the trash"),
            std::string::npos);
  auto real = runZarnik("clean --yes", scratch);
  ASSERT_EQ(real.status, 0) << real.err;
  EXPECT_NE(real.out.find("moved to the trash: 1 duplicate"), std::string::npos) << real.out;
  EXPECT_FALSE(exists(tree / "b/notes copy.txt"));
  EXPECT_EQ(contentsOf(trash() + "/files/notes copy.txt"), "pair of notes");
}

TEST_F(CleanCommandTest, CopiesDeletedOnAVolumeAreCalledDeletedAndEachWayIsCounted) {
  tree.file("a/one.txt", "pair one");
  tree.file("a/alone.txt", "alpha");
  tree.file("b/one copy.txt", "pair one");
  tree.file("A/p.txt", "pages");
  tree.file("A copy/p.txt", "pages");
  ASSERT_EQ(runZarnik("scan --exact --folders --min-size 0 " + quoted(tree.path()), scratch).status,
            0);
  const std::int64_t folderCopy = copyIdentifier("A copy");
  ASSERT_NE(folderCopy, 0);
  ASSERT_EQ(runZarnik("select --select " + std::to_string(folderCopy), scratch).status, 0);

  // Hard links replace exact copies of files only; the folder is left, and said to be.
  auto linked = runZarnik("clean --dry-run --hardlink", scratch);
  ASSERT_EQ(linked.status, 0) << linked.err;
  EXPECT_NE(linked.out.find(
                "1 copy (8 bytes) would be replaced by hard links to the kept copies, 1 copy"),
            std::string::npos)
      << linked.out;
  EXPECT_NE(linked.out.find(") left in place (only exact copies of files"), std::string::npos)
      << linked.out;

  const auto volume = mountPointForPath(readMountTable(), tree.path());
  ASSERT_TRUE(volume.has_value());
  const std::string deleteThere = " --volume " + quoted(*volume) + "=delete";
  auto dry = runZarnik("clean --dry-run" + deleteThere, scratch);
  ASSERT_EQ(dry.status, 0) << dry.err;
  EXPECT_NE(dry.out.find("2 copies"), std::string::npos) << dry.out;
  EXPECT_NE(dry.out.find("would be deleted permanently."), std::string::npos) << dry.out;
  EXPECT_EQ(dry.out.find("trash"), std::string::npos) << dry.out;
  auto cleaned = runZarnik("clean --yes" + deleteThere, scratch);
  ASSERT_EQ(cleaned.status, 0) << cleaned.err;
  EXPECT_NE(cleaned.out.find("deleted permanently: 2 duplicates"), std::string::npos)
      << cleaned.out;
  EXPECT_EQ(cleaned.out.find("trash"), std::string::npos) << cleaned.out;
  EXPECT_FALSE(exists(tree / "b/one copy.txt"));
  EXPECT_FALSE(exists(trash()));
}

TEST_F(CleanCommandTest, DeletingIsAdvisedOnlyWhereTheTrashItselfCannotBeUsed) {
  const std::string longName(240, 'n');
  tree.file("a/one.txt", "pair one");
  tree.file("b/one copy.txt", "pair one");
  tree.file("a/" + longName + ".txt", "long pair");
  tree.file("b/" + longName + " copy.txt", "long pair");
  ASSERT_EQ(runZarnik("scan --exact --min-size 0 " + quoted(tree / "a") + " " + quoted(tree / "b"),
                      scratch)
                .status,
            0);

  // Something in the trash's place: no copy can go to the trash on this volume.
  scratch.file("data/Trash", "not a folder");
  auto noTrash = runZarnik("clean --yes", scratch);
  EXPECT_EQ(noTrash.status, 1);
  EXPECT_NE(noTrash.out.find("Failed: 2 duplicates"), std::string::npos) << noTrash.out;
  EXPECT_NE(noTrash.out.find("The trash cannot be used on "), std::string::npos) << noTrash.out;
  EXPECT_NE(noTrash.out.find("=delete"), std::string::npos) << noTrash.out;

  // A name too long for the trash's records is the copy's own problem: deleting is not advised.
  ASSERT_EQ(::unlink((scratch / "data/Trash").c_str()), 0);
  auto longNamed = runZarnik("clean --yes", scratch);
  EXPECT_EQ(longNamed.status, 1);
  EXPECT_NE(longNamed.out.find("moved to the trash: 1 duplicate"), std::string::npos)
      << longNamed.out;
  EXPECT_NE(longNamed.out.find("Failed: 1 duplicate"), std::string::npos) << longNamed.out;
  EXPECT_EQ(longNamed.out.find("--volume"), std::string::npos) << longNamed.out;
  EXPECT_TRUE(exists(tree / ("b/" + longName + " copy.txt")));
}

TEST_F(CleanCommandTest, ADestinationFolderIsCheckedBeforeAnythingIsTouched) {
  tree.file("a/one.txt", "pair one");
  tree.file("b/one copy.txt", "pair one");
  tree.file("not a folder", "x");
  ASSERT_EQ(runZarnik("scan --exact --min-size 0 " + quoted(tree / "a") + " " + quoted(tree / "b"),
                      scratch)
                .status,
            0);
  for (const std::string& destination : {std::string("''"), std::string("relative/folder"),
                                         quoted(tree / "missing"), quoted(tree / "not a folder")}) {
    for (const std::string& option :
         {"--move-to " + destination, "--volume /=move-to:" + destination}) {
      auto refused = runZarnik("clean --yes " + option, scratch);
      EXPECT_EQ(refused.status, 2) << option;
      EXPECT_NE(refused.err.find("zarnik: "), std::string::npos) << option;
      EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << refused.err;
    }
  }
  EXPECT_TRUE(exists(tree / "b/one copy.txt"));
  // Inside a scanned folder is a folder like any other.
  tree.dir("a/set aside");
  auto moved = runZarnik("clean --yes --move-to " + quoted(tree / "a/set aside"), scratch);
  ASSERT_EQ(moved.status, 0) << moved.err << moved.out;
  EXPECT_NE(moved.out.find("moved to " + tree / "a/set aside"), std::string::npos) << moved.out;
  EXPECT_EQ(contentsOf(tree / "a/set aside/one copy.txt"), "pair one");
}

TEST_F(CleanCommandTest, ACopyTrashedBeforeAnotherScanIsStillBroughtBack) {
  tree.file("a/report.pdf", "same content");
  tree.file("b/report copy.pdf", "same content");
  tree.file("a/x.txt", "pair one");
  tree.file("b/x copy.txt", "pair one");
  ASSERT_EQ(runZarnik("scan --exact --min-size 0 " + quoted(tree.path()), scratch).status, 0);
  ASSERT_EQ(runZarnik("clean --yes", scratch).status, 0);
  EXPECT_FALSE(exists(tree / "b/report copy.pdf"));
  tree.file("c/new.txt", "a new pair");
  tree.file("c/new copy.txt", "a new pair");
  ASSERT_EQ(runZarnik("scan --exact --min-size 0 " + quoted(tree.path()), scratch).status, 0);

  auto listed = runZarnik("results", scratch);
  EXPECT_NE(
      listed.out.find("cleaned " + tree / "b/report copy.pdf" + "  (cleaning 1: in the trash)"),
      std::string::npos)
      << listed.out;
  EXPECT_NE(listed.out.find("remove " + tree / "c/new copy.txt"), std::string::npos) << listed.out;
  // The copies kept of the earlier cleaning are not proposed again.
  auto dry = runZarnik("clean --dry-run", scratch);
  EXPECT_NE(dry.out.find("1 copy (10 bytes) would be moved to the trash"), std::string::npos)
      << dry.out;

  auto reverted = runZarnik("revert --all", scratch);
  ASSERT_EQ(reverted.status, 0) << reverted.err << reverted.out;
  EXPECT_EQ(contentsOf(tree / "b/report copy.pdf"), "same content");
  EXPECT_EQ(contentsOf(tree / "b/x copy.txt"), "pair one");
  EXPECT_FALSE(exists(trash() + "/info/report copy.pdf.trashinfo"));
  // Brought back and no longer needed, the records go with the next scan.
  ASSERT_EQ(runZarnik("scan --exact --min-size 0 " + quoted(tree.path()), scratch).status, 0);
  EXPECT_EQ(runZarnik("results", scratch).out.find("cleaned "), std::string::npos);
}

TEST_F(CleanCommandTest, AFolderCopyIsCleanedOnlyWhileItHoldsWhatTheKeptFolderHolds) {
  tree.file("A/p.txt", "pages");
  tree.file("A/deep/q.txt", "quire");
  tree.file("A copy/p.txt", "pages");
  tree.file("A copy/deep/q.txt", "quire");
  ASSERT_EQ(runZarnik("scan --folders --min-size 0 " + quoted(tree.path()), scratch).status, 0);
  Json document = parseJson(runZarnik("results --json", scratch).out).value();
  ASSERT_EQ(document["groups"].size(), 1u);
  EXPECT_EQ(document["groups"][0]["type"], "directory");
  const std::int64_t copy = copyIdentifier("A copy");
  ASSERT_NE(copy, 0);
  ASSERT_EQ(runZarnik("select --select " + std::to_string(copy), scratch).status, 0);

  tree.file("A copy/deep/q.txt", "QUIRE");  // changed inside, same size
  auto refused = runZarnik("clean --yes", scratch);
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.out.find("content differs"), std::string::npos) << refused.out;
  EXPECT_EQ(contentsOf(tree / "A copy/deep/q.txt"), "QUIRE");

  tree.file("A copy/deep/q.txt", "quire");
  auto cleaned = runZarnik("clean --yes", scratch);
  ASSERT_EQ(cleaned.status, 0) << cleaned.out << cleaned.err;
  EXPECT_FALSE(exists(tree / "A copy"));
  EXPECT_EQ(contentsOf(trash() + "/files/A copy/deep/q.txt"), "quire");
  ASSERT_EQ(runZarnik("revert --all", scratch).status, 0);
  EXPECT_EQ(contentsOf(tree / "A copy/p.txt"), "pages");
  EXPECT_EQ(contentsOf(tree / "A/p.txt"), "pages");
}

TEST_F(CleanCommandTest, ACleaningKilledHalfWayAccountsForEveryCopy) {
  constexpr int kPairs = 1000;
  for (int i = 0; i < kPairs; ++i) {
    const std::string content = "pair " + std::to_string(i);
    tree.file("a/" + std::to_string(i), content);
    tree.file("b/" + std::to_string(i) + " copy", content);
  }
  auto scanned = runZarnik("scan --exact --min-size 0 " + quoted(tree.path()), scratch);
  ASSERT_EQ(scanned.status, 0) << scanned.err;
  const auto started = std::chrono::steady_clock::now();
  const pid_t child = testing::spawnZarnik({"clean", "--yes"});
  ASSERT_GT(child, 0);
  // Kill as soon as the first copies have gone: the moment is the point of the test.
  while (exists(tree / "b/0 copy") && std::chrono::steady_clock::now() - started <
                                          std::chrono::seconds(20 * testing::kSlowdown)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  size_t inPlace = 0;
  size_t trashed = 0;
  // The copy in hand may have been moved aside, beside itself, on its way to the trash.
  size_t aside = 0;
  for (const auto& entry : std::filesystem::directory_iterator(tree / "b")) {
    aside += entry.path().filename().string().rfind(".zarnik-staged-", 0) == 0 ? 1 : 0;
  }
  EXPECT_LE(aside, 1u);
  for (int i = 0; i < kPairs; ++i) {
    const std::string name = std::to_string(i) + " copy";
    const bool here = exists(tree / ("b/" + name));
    const bool inTrash = exists(trash() + "/files/" + name);
    EXPECT_FALSE(here && inTrash) << name;  // in place, or in the trash, never both
    if (inTrash) {
      EXPECT_TRUE(exists(trash() + "/info/" + name + ".trashinfo")) << name;
    }
    inPlace += here ? 1 : 0;
    trashed += inTrash ? 1 : 0;
  }
  EXPECT_GT(trashed, 0u);
  EXPECT_EQ(inPlace + trashed + aside, static_cast<size_t>(kPairs));
  auto listed = runZarnik("results", scratch);
  ASSERT_EQ(listed.status, 0) << listed.err;

  auto reverted = runZarnik("revert --all", scratch);
  EXPECT_EQ(reverted.status, 0) << reverted.out;
  for (int i = 0; i < kPairs; ++i)
    EXPECT_TRUE(exists(tree / ("b/" + std::to_string(i) + " copy"))) << i;
}

}  // namespace
}  // namespace zarnik
