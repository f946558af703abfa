#include "support/test_dir.h"

#include "platform/bookmark.h"
#include "platform/cloud_folders.h"
#include "platform/file_comparison.h"
#include "platform/file_opening.h"
#include "platform/file_reading.h"
#include "platform/file_state.h"
#include "platform/mounts.h"
#include "platform/trash_folders.h"
#include "platform/xdg_directories.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace zarnik {
namespace {

TEST(CloudFolders, FindsServiceFoldersInTheHomeFolderOnly) {
  testing::TestDir home;
  home.dir("Dropbox (Personal)");
  home.dir("OneDrive - Company");
  home.dir("Google Drive");
  home.dir("DropboxNotReally");
  home.file("iCloud Drive", "a file, not a folder");
  auto folders = discoverCloudFolders(home.path());
  std::vector<std::string> services;
  services.reserve(folders.size());
  for (const auto& f : folders) services.push_back(f.service);
  std::sort(services.begin(), services.end());
  EXPECT_EQ(services, (std::vector<std::string>{"Dropbox", "GoogleDrive", "OneDrive"}));
}

TEST(Xdg, EnvironmentOverridesAndRelativeValuesAreIgnored) {
  testing::TestDir dir;
  ::setenv("XDG_STATE_HOME", dir.path().c_str(), 1);
  EXPECT_EQ(xdg::zarnikStateDirectory(), dir.path() + "/zarnik");
  ::setenv("XDG_STATE_HOME", "relative/path", 1);
  EXPECT_EQ(xdg::stateHome(), xdg::homeDirectory() + "/.local/state");
  ::unsetenv("XDG_STATE_HOME");
  ASSERT_TRUE(xdg::makeDirectories(dir / "a/b/c").hasValue());
  dir.file("plain", "x");
  EXPECT_TRUE(xdg::makeDirectories(dir / "plain").hasError());
}

TEST(FileReading, AtomicWriteReplacesAndSizeLimitRefuses) {
  testing::TestDir dir;
  ASSERT_TRUE(writeFileAtomically(dir / "state.json", "first").hasValue());
  ASSERT_TRUE(writeFileAtomically(dir / "state.json", "second").hasValue());
  EXPECT_EQ(readWholeFile(dir / "state.json", 100).value(), "second");
  EXPECT_TRUE(readWholeFile(dir / "state.json", 3).hasError());
  dir.fifo("pipe");
  EXPECT_TRUE(readWholeFile(dir / "pipe", 100).hasError());  // never blocks on a FIFO
}

// A write cut short by a crash leaves its temporary file; the next write of the same file removes
// it once its writer has ended and an hour has passed, and leaves every other file alone.
TEST(FileReading, AnAtomicWriteRemovesTheTemporariesOfWritesThatCannotFinish) {
  testing::TestDir dir;
  const std::string ended = "2147483000";  // above any process number the kernel gives
  const std::string running = std::to_string(::getppid());
  const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(2);
  auto temporary = [&](const std::string& name, bool isOld) {
    dir.file(name, "part");
    if (isOld) std::filesystem::last_write_time(dir / name, old);
    return dir / name;
  };
  const std::string abandoned = temporary("state.json.zarnik-tmp-" + ended, true);
  const std::string recent = temporary("state.json.zarnik-tmp-2147483001", false);
  const std::string ofARunningWriter = temporary("state.json.zarnik-tmp-" + running, true);
  const std::string ofAnotherFile = temporary("other.json.zarnik-tmp-" + ended, true);
  const std::string notANumber = temporary("state.json.zarnik-tmp-" + ended + "x", true);
  const std::string ofAPerson = temporary("state.json.tmp-" + ended, true);
  // Another user's is not this user's to remove; only root can make one here.
  std::string ofAnotherUser;
  if (::geteuid() == 0) {
    ofAnotherUser = temporary("state.json.zarnik-tmp-2147483002", true);
    ASSERT_EQ(::chown(ofAnotherUser.c_str(), 65534, 65534), 0);
  }
  ASSERT_TRUE(writeFileAtomically(dir / "state.json", "new").hasValue());
  EXPECT_FALSE(pathExists(abandoned));
  EXPECT_TRUE(pathExists(recent));
  EXPECT_TRUE(pathExists(ofARunningWriter));
  EXPECT_TRUE(pathExists(ofAnotherFile));
  EXPECT_TRUE(pathExists(notANumber));
  EXPECT_TRUE(pathExists(ofAPerson));
  if (!ofAnotherUser.empty()) EXPECT_TRUE(pathExists(ofAnotherUser));
  EXPECT_EQ(readWholeFile(dir / "state.json", 100).value(), "new");
}

// A link's target is read whole however long it is: two links whose targets differ only past
// the first kilobyte point to different files.
TEST(FileState, LinkTargetsAreReadWholeAndOnlyRegularFilesHaveAState) {
  testing::TestDir dir;
  const std::string deep = std::string(1500, 'a') + "/one";
  dir.symlink("link", deep);
  EXPECT_EQ(symbolicLinkTarget(dir / "link").value(), deep);
  EXPECT_TRUE(symbolicLinkTarget(dir / "missing").hasError());

  const std::string file = dir.fileOfSize("file.bin", 1234);
  const UniqueFd opened = openFileForContentReading(file);
  const auto state = regularFileStateOf(opened, file);
  ASSERT_TRUE(state.hasValue());
  EXPECT_EQ(state.value().size, 1234);
  EXPECT_EQ(state.value().identity, regularFileStateOf(file).value().identity);
  EXPECT_FALSE(openFileForContentReading(dir / "link").isValid());  // never through a link
  dir.fifo("pipe");
  const UniqueFd pipe = openFileForContentReading(dir / "pipe");  // does not block
  EXPECT_TRUE(regularFileStateOf(pipe, dir / "pipe").hasError());
  EXPECT_TRUE(isFolder(dir.path()));
  EXPECT_FALSE(isFolder(file));
  EXPECT_EQ(fileSizeAt(file), std::optional<ByteCount>(1234));
}

TEST(Mounts, ParsesMountinfoAndPicksTheDeepestMountPoint) {
  testing::TestDir dir;
  dir.file("mountinfo",
           "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
           "30 22 8:17 / /media/My\\040Disk rw - vfat /dev/sdb1 rw\n"
           "31 22 0:45 / /mnt/share rw - nfs4 server:/export rw\n");
  auto mounts = readMountTable(dir / "mountinfo");
  ASSERT_EQ(mounts.size(), 3u);
  EXPECT_EQ(mounts[1].mountPoint, "/media/My Disk");
  EXPECT_EQ(mounts[1].major, 8u);
  EXPECT_EQ(mounts[1].minor, 17u);
  EXPECT_EQ(mounts[2].fileSystemType, "nfs4");
  EXPECT_EQ(mountPointForPath(mounts, "/media/My Disk/photos/a.jpg"), "/media/My Disk");
  EXPECT_EQ(mountPointForPath(mounts, "/media/My Diskette"), "/");
}

TEST(Bookmark, ResolvesToThePathAndNoticesAReplacedFolder) {
  testing::TestDir dir;
  dir.dir("chosen");
  auto data = makeBookmarkData(dir / "chosen");
  ASSERT_TRUE(data.has_value());
  auto resolved = resolveBookmarkData(*data);
  ASSERT_TRUE(resolved.has_value());
  EXPECT_EQ(resolved->path, dir / "chosen");
  EXPECT_FALSE(resolved->isStale);
  ::rmdir((dir / "chosen").c_str());
  auto gone = resolveBookmarkData(*data);
  ASSERT_TRUE(gone.has_value());
  EXPECT_TRUE(gone->isStale);
  EXPECT_FALSE(resolveBookmarkData("garbage").has_value());
}

TEST(FileComparison, FoldersAreEqualWhenTheyHoldTheSameContentsWhateverTheNames) {
  testing::TestDir dir;
  dir.file("a/one.txt", "first");
  dir.file("a/deep/two.txt", "other");  // same size as "first"
  dir.symlink("a/link", "one.txt");
  dir.file("b/two renamed.txt", "other");
  dir.file("b/sub/one renamed.txt", "first");
  dir.symlink("b/sub/link", "one.txt");
  dir.dir("b/empty");
  EXPECT_TRUE(haveEqualTreeContents(dir / "a", dir / "b").value());

  dir.file("c/one.txt", "first");
  dir.file("c/two.txt", "firsT");  // same sizes, one byte apart
  dir.symlink("c/link", "one.txt");
  EXPECT_FALSE(haveEqualTreeContents(dir / "a", dir / "c").value());
  dir.file("d/one.txt", "first");
  dir.file("d/two.txt", "other");
  dir.symlink("d/link", "elsewhere.txt");
  EXPECT_FALSE(haveEqualTreeContents(dir / "a", dir / "d").value());
  dir.file("b/extra.txt", "x");
  EXPECT_FALSE(haveEqualTreeContents(dir / "a", dir / "b").value());
  EXPECT_FALSE(haveEqualTreeContents(dir / "a", dir / "missing").hasValue());
}

}  // namespace
}  // namespace zarnik

namespace zarnik {
namespace {

TEST(TrashFolders, KnowsTheHomeTrashAndEachFileSystemsTrashOfTheUserOnly) {
  const TrashFolders trash("/home/ann/.local/share/Trash/", 1000);
  EXPECT_TRUE(trash.isTrashFolder("/home/ann/.local/share/Trash"));
  EXPECT_TRUE(trash.isTrashFolder("/media/usb/.Trash-1000"));
  EXPECT_TRUE(trash.isTrashFolder("/media/usb/.Trash/1000"));
  EXPECT_FALSE(trash.isTrashFolder("/media/usb/.Trash-1001"));
  EXPECT_FALSE(
      trash.isTrashFolder("/media/usb/.Trash"));  // shared: only the user's own folder inside
  EXPECT_FALSE(trash.isTrashFolder("/media/usb/Backups/1000"));
  EXPECT_FALSE(trash.isTrashFolder("/home/ann/Documents/Trash"));
}

}  // namespace
}  // namespace zarnik
