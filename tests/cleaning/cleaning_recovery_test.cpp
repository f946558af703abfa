// Settling cleanings cut off at each point between the pending note and the outcome, and
// reverting only what the records say: the next run must find every copy where its note says.
#include "cleaning/cleaning_recovery.h"

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cleaning/cleaning_reverter.h"
#include "cleaning/default_cleaning_policy.h"
#include "foundation/logger.h"
#include "platform/trash.h"
#include "support/test_dir.h"

namespace zarnik {
namespace {

using testing::contentsOf;
using testing::TestDir;

FileId identityOf(const std::string& path) {
  auto entry = entryWithoutLinks(path);
  return factsOf(entry.value()).value().identity;
}

class CleaningRecoveryTest : public ::testing::Test {
 protected:
  TestDir dir;
  TestDir data;

  void SetUp() override {
    ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);
    Logger::shared().setConsole(nullptr);
  }

  // The note a cleaning writes before it touches `copy`, kept by `kept`.
  CleaningNote pendingNote(const std::string& copy, const std::string& kept, FileCleaningOption option = {}) {
    CleaningNote note;
    note.cleanID = 3;
    note.originalPath = copy;
    note.option = std::move(option);
    note.copyIdentity = identityOf(copy);
    note.keptIdentity = identityOf(kept);
    note.keptPath = kept;
    note.size = static_cast<ByteCount>(contentsOf(copy).size());
    note.digest = digestOfFile(entryWithoutLinks(copy).value(), {}).value();
    note.stagedPath = stagedPathFor(copy, 3, 5);
    note.pending = true;
    return note;
  }

  static void rename(const std::string& from, const std::string& to) { ASSERT_EQ(::rename(from.c_str(), to.c_str()), 0); }
};

TEST_F(CleaningRecoveryTest, ACopyCutOffBeforeOrWhileAsideIsPutBackAndCanBeCleanedAgain) {
  const std::string kept = dir.file("a.txt", "alpha");
  const std::string copy = dir.file("a copy.txt", "alpha");
  auto untouched = pendingNote(copy, kept);
  settleCutOffCleaning(untouched);
  EXPECT_FALSE(untouched.pending);
  EXPECT_FALSE(untouched.isSuccessful());
  EXPECT_NE(untouched.error->oneLine().find("before this copy was touched"), std::string::npos);

  auto aside = pendingNote(copy, kept);
  rename(copy, *aside.stagedPath);
  settleCutOffCleaning(aside);
  EXPECT_FALSE(aside.isSuccessful());
  EXPECT_EQ(contentsOf(copy), "alpha");
  EXPECT_FALSE(std::filesystem::exists(*aside.stagedPath));
}

TEST_F(CleaningRecoveryTest, ACopyFoundInTheTrashOrAtItsDestinationIsRecordedThere) {
  const std::string kept = dir.file("b.txt", "beta");
  const std::string copy = dir.file("b copy.txt", "beta");
  auto trashed = pendingNote(copy, kept);
  auto moved = moveToTrash(copy);
  ASSERT_TRUE(moved.hasValue());
  settleCutOffCleaning(trashed);
  ASSERT_TRUE(trashed.isSuccessful());
  EXPECT_EQ(std::get<CleaningMovedToTrashAction>(trashed.actions.at(0)).destination, moved.value().trashedPath);

  const std::string folder = dir.dir("aside");
  const std::string other = dir.file("c copy.txt", "gamma");
  auto toFolder = pendingNote(other, dir.file("c.txt", "gamma"), {FileCleaningOption::Kind::moveToFolder, folder});
  toFolder.destinationPath = folder + "/c copy.txt";
  rename(other, *toFolder.destinationPath);
  settleCutOffCleaning(toFolder);
  ASSERT_TRUE(toFolder.isSuccessful());
  EXPECT_EQ(std::get<CleaningMovedAction>(toFolder.actions.at(0)).destination, folder + "/c copy.txt");

  // An unrelated file under the recorded destination is not taken for the copy.
  const std::string third = dir.file("d copy.txt", "delta");
  auto wrong = pendingNote(third, dir.file("d.txt", "delta"), {FileCleaningOption::Kind::moveToFolder, folder});
  wrong.destinationPath = folder + "/d copy.txt";
  ::unlink(third.c_str());
  dir.file("aside/d copy.txt", "something else");
  settleCutOffCleaning(wrong);
  EXPECT_FALSE(wrong.isSuccessful());
}

TEST_F(CleaningRecoveryTest, ADeletionThatBeganIsFinishedAndAHardLinkIsJudgedByWhatIsAtThePlace) {
  const std::string kept = dir.file("e.txt", "epsilon");
  dir.file("gone/inner.txt", "x");
  CleaningNote deleting;
  deleting.originalPath = dir / "gone";
  deleting.option = {FileCleaningOption::Kind::removePermanently, {}};
  deleting.copyIdentity = identityOf(dir / "gone");
  deleting.stagedPath = stagedPathFor(dir / "gone", 3, 5);
  deleting.isFolder = true;
  deleting.deletingPath = deletingPathFor(dir / "gone", 3, 5);
  rename(dir / "gone", *deleting.deletingPath);
  settleCutOffCleaning(deleting);
  EXPECT_TRUE(deleting.isSuccessful());
  EXPECT_FALSE(std::filesystem::exists(*deleting.deletingPath));

  const std::string copy = dir.file("e copy.txt", "epsilon");
  auto linking = pendingNote(copy, kept);
  linking.stagedPath.reset();
  linking.linkPath = linkPathFor(copy, 3, 5);
  ASSERT_EQ(::link(kept.c_str(), linking.linkPath->c_str()), 0);
  auto beforeRename = linking;
  settleCutOffCleaning(beforeRename);
  EXPECT_FALSE(beforeRename.isSuccessful());
  EXPECT_FALSE(std::filesystem::exists(*linking.linkPath));
  EXPECT_EQ(identityOf(copy), *linking.copyIdentity);

  ASSERT_EQ(::link(kept.c_str(), linking.linkPath->c_str()), 0);
  rename(*linking.linkPath, copy);
  auto afterRename = linking;
  settleCutOffCleaning(afterRename);
  ASSERT_TRUE(afterRename.isSuccessful());
  EXPECT_TRUE(std::holds_alternative<CleaningReplacedWithHardlinkAction>(afterRename.actions.back()));
}

TEST_F(CleaningRecoveryTest, RevertingChecksThatTheTrashedItemIsTheCopy) {
  const std::string kept = dir.file("f.txt", "phi");
  const std::string copy = dir.file("deep/er/f copy.txt", "phi");
  ::chmod((dir / "deep/er").c_str(), 0750);
  auto note = pendingNote(copy, kept);
  note.folders = {{dir / "deep", EntryMetadata{0700, ::geteuid(), ::getegid(), std::nullopt, std::nullopt, {}}},
                  {dir / "deep/er", EntryMetadata{0750, ::geteuid(), ::getegid(), std::nullopt, std::nullopt, {}}}};
  auto trashed = moveToTrash(copy);
  ASSERT_TRUE(trashed.hasValue());
  note.pending = false;
  note.actions = {CleaningMovedToTrashAction{trashed.value().trashedPath, trashed.value().infoPath}};
  std::filesystem::remove_all(dir / "deep");

  // The trash emptied and refilled with another file under the same name.
  const std::string real = dir / "real";
  rename(trashed.value().trashedPath, real);
  std::ofstream(trashed.value().trashedPath) << "not phi";
  auto refused = revertCleaning(note);
  ASSERT_TRUE(refused.hasError());
  EXPECT_NE(refused.error().oneLine().find("not the cleaned copy"), std::string::npos) << refused.error().oneLine();
  EXPECT_EQ(contentsOf(trashed.value().trashedPath), "not phi");

  rename(real, trashed.value().trashedPath);
  auto back = revertCleaning(note);
  ASSERT_TRUE(back.hasValue()) << back.error().oneLine();
  EXPECT_EQ(contentsOf(copy), "phi");
  struct stat status {};
  ASSERT_EQ(::stat((dir / "deep/er").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0750u);
  EXPECT_FALSE(std::filesystem::exists(trashed.value().infoPath));
}

TEST_F(CleaningRecoveryTest, RevertingAHardLinkWritesAFileWithTheCopysOwnMetadata) {
  const std::string kept = dir.file("g.txt", "gamma");
  const std::string copy = dir.file("g copy.txt", "gamma");
  ::chmod(copy.c_str(), 0604);
  const bool attributes = ::setxattr(copy.c_str(), "user.tag", "red", 3, 0) == 0;
  auto note = pendingNote(copy, kept);
  note.metadata = metadataOf(entryWithoutLinks(copy).value()).value();
  ASSERT_EQ(::unlink(copy.c_str()), 0);
  ASSERT_EQ(::link(kept.c_str(), copy.c_str()), 0);
  note.pending = false;
  note.stagedPath.reset();
  note.actions = {CleaningRemovedAction{}, CleaningReplacedWithHardlinkAction{1, kept}};
  auto back = revertCleaning(note);
  ASSERT_TRUE(back.hasValue()) << back.error().oneLine();
  EXPECT_NE(identityOf(copy), identityOf(kept));
  EXPECT_EQ(contentsOf(copy), "gamma");
  struct stat status {};
  ASSERT_EQ(::stat(copy.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0604u);
  if (attributes) {
    char value[8] = {};
    EXPECT_EQ(::getxattr(copy.c_str(), "user.tag", value, sizeof(value)), 3);
  }
  // A revert cut off after the copy came back finds it in place and says so.
  note.revertPending = true;
  EXPECT_TRUE(isBackInPlace(note));
}

}  // namespace
}  // namespace zarnik
