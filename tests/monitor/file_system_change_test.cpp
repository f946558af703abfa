#include "monitor/file_system_change.h"

#include "monitor/file_system_event.h"
#include "monitor/rescan_request.h"

#include <gtest/gtest.h>

#include <unordered_set>

namespace zarnik {
namespace {

using Change = FileSystemChange;

TEST(FileSystemChange, DescribesItsMembersKindsFirstInTheFixedOrder) {
  const Change change = Change::scanSubDirs | Change::renamed | Change::created |
                        Change::isDirectory | Change::isFile | Change::rootChanged |
                        Change::cloned | Change::modified;
  EXPECT_EQ(change.description(),
            "isDir, isFile, created, modified, renamed, rootChanged, scanSubDirs, cloned");
  EXPECT_EQ(Change().description(), "");
  EXPECT_EQ((Change::xattrsModified | Change::finderInfoModified | Change::changeOwner |
             Change::inodeMetaModified)
                .description(),
            "changeOwner, finderInfoModified, inodeMetaModified, xattrsModified");
}

TEST(FileSystemChange, KeepsAnEventFlagWordUnchangedAndHasTheStreamBitValues) {
  EXPECT_EQ(Change::fromEventFlags(0x10900u).rawValue, 0x10900);
  EXPECT_EQ(Change::fromEventFlags(0x80000000u).rawValue,
            0x80000000LL);  // widened, not sign-extended
  EXPECT_EQ(Change::isDirectory.rawValue, 0x20000);
  EXPECT_EQ(Change::isHardlink.rawValue, 0x100000);
  EXPECT_EQ(Change::cloned.rawValue, 0x400000);
}

TEST(FileSystemChange, SupportsTheSetOperations) {
  const Change a = Change::created | Change::isFile;
  const Change b = Change::created | Change::removed;
  EXPECT_EQ(a.unionWith(b), Change::created | Change::isFile | Change::removed);
  EXPECT_EQ(a.intersection(b), Change::created);
  EXPECT_EQ(a.symmetricDifference(b), Change::isFile | Change::removed);
  EXPECT_EQ(a.subtracting(b), Change::isFile);
  EXPECT_TRUE(Change::created.isSubset(a));
  EXPECT_TRUE(a.isSuperset(Change::isFile));
  EXPECT_FALSE(a.isSuperset(b));
  EXPECT_TRUE(a.isDisjoint(Change::renamed));
  EXPECT_FALSE(a.isDisjoint(b));

  Change set = Change::created;
  EXPECT_TRUE(set.insert(Change::modified));
  EXPECT_FALSE(set.insert(Change::modified));
  EXPECT_EQ(set.remove(Change::modified | Change::removed), Change::modified);
  EXPECT_EQ(set, Change::created);
  EXPECT_EQ(set.update(Change::created | Change::renamed), Change::created);
  EXPECT_EQ(set, Change::created | Change::renamed);

  std::unordered_set<Change> distinct{a, b, Change::created | Change::isFile};
  EXPECT_EQ(distinct.size(), 2u);
}

TEST(FileSystemEvent, DerivesItsPropertiesFromTheChange) {
  const FileSystemEvent renamedFolder{7, "/home/ana/Photos", Change::renamed | Change::isDirectory};
  EXPECT_TRUE(renamedFolder.isDirectoryEvent());
  EXPECT_TRUE(renamedFolder.isRenamed());
  EXPECT_TRUE(renamedFolder.isDirectoryRemoved());
  EXPECT_FALSE(renamedFolder.isCreated());
  EXPECT_FALSE(renamedFolder.shouldScanSubdirs());
  EXPECT_EQ(renamedFolder.description(), "/home/ana/Photos (7) changed: isDir, renamed");

  const FileSystemEvent removedFile{8, "/home/ana/a.jpg", Change::removed | Change::isFile};
  EXPECT_TRUE(removedFile.isRemoved());
  EXPECT_FALSE(removedFile.isDirectoryRemoved());
}

TEST(FileSystemEvent, NumbersEventsInIncreasingOrder) {
  const auto first = FileSystemEvent::nextIdentifier();
  const auto second = FileSystemEvent::nextIdentifier();
  EXPECT_GT(first, 0u);
  EXPECT_GT(second, first);
}

std::vector<std::string> noStoredDuplicates(const std::string&) { return {}; }

TEST(RescanRequests, RescanARenamedOrCreatedFolderRecursively) {
  EXPECT_EQ(
      rescanTasksForEvent({1, "/d", Change::isDirectory | Change::renamed}, noStoredDuplicates),
      (std::vector<RescanTask>{{"/d", true}}));
  EXPECT_EQ(
      rescanTasksForEvent({1, "/d", Change::isDirectory | Change::created}, noStoredDuplicates),
      (std::vector<RescanTask>{{"/d", true}}));
}

TEST(RescanRequests, RescanAFolderRecursivelyOnlyWhenDetailWasLost) {
  EXPECT_EQ(
      rescanTasksForEvent({1, "/d", Change::isDirectory | Change::modified | Change::scanSubDirs},
                          noStoredDuplicates),
      (std::vector<RescanTask>{{"/d", true}}));
  EXPECT_EQ(rescanTasksForEvent({1, "/d", Change::isDirectory | Change::inodeMetaModified},
                                noStoredDuplicates),
            (std::vector<RescanTask>{{"/d", false}}));
}

TEST(RescanRequests, NeverRescanAFileRecursively) {
  for (const Change change :
       {Change::created, Change::renamed, Change::scanSubDirs, Change::removed}) {
    EXPECT_EQ(rescanTasksForEvent({1, "/d/f", Change::isFile | change}, noStoredDuplicates),
              (std::vector<RescanTask>{{"/d/f", false}}));
  }
}

TEST(RescanRequests, RescanTheStoredDuplicatesOfARemovedFolderFirst) {
  std::string askedFor;
  const auto stored = [&](const std::string& folder) {
    askedFor = folder;
    return std::vector<std::string>{"/d/a.jpg", "/d/sub/b.jpg"};
  };
  EXPECT_EQ(rescanTasksForEvent({1, "/d", Change::isDirectory | Change::removed}, stored),
            (std::vector<RescanTask>{{"/d/a.jpg", false}, {"/d/sub/b.jpg", false}, {"/d", false}}));
  EXPECT_EQ(askedFor, "/d");
  askedFor.clear();
  EXPECT_EQ(rescanTasksForEvent({1, "/d", Change::isDirectory | Change::renamed}, stored).back(),
            (RescanTask{"/d", true}));
  EXPECT_EQ(askedFor, "/d");
  askedFor.clear();
  (void)rescanTasksForEvent({1, "/d", Change::isDirectory | Change::created}, stored);
  EXPECT_EQ(askedFor, "") << "a created folder has no stored duplicates to check";
}

TEST(RescanRequests, RescanAChangedFolderWatchedAloneForItsEntries) {
  EXPECT_EQ(rescanTasksForChangedDirectory("/home/ana"),
            (std::vector<RescanTask>{{"/home/ana", false}}));
}

}  // namespace
}  // namespace zarnik
