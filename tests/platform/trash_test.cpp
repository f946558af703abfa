// The desktop trash: items go to the trash of their file system with an info file a file
// manager can read, get free names, and come back to where they were without replacing anything.
#include "platform/trash.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/test_dir.h"

namespace zarnik {
namespace {

using testing::contentsOf;
using testing::TestDir;

class TrashTest : public ::testing::Test {
 protected:
  TestDir files;
  TestDir data;
  void SetUp() override { ::setenv("XDG_DATA_HOME", data.path().c_str(), 1); }
};

TEST(TrashPathsTest, PathsAreWrittenPercentEncodedAndReadBack) {
  const std::string odd = "/home/u/caf\xE9 100%/\x01x+y.txt";
  const std::string encoded = percentEncodedPath(odd);
  EXPECT_EQ(encoded, "/home/u/caf%E9%20100%25/%01x%2By.txt");
  EXPECT_EQ(percentDecodedPath(encoded), odd);
  EXPECT_FALSE(percentDecodedPath("/a%2"));
  EXPECT_FALSE(percentDecodedPath("/a%zz"));
}

TEST_F(TrashTest, AnItemGoesToTheHomeTrashWithItsInfoAndComesBack) {
  const std::string path = files.file("docs/report one.pdf", "report");
  auto trashed = moveToTrash(path);
  ASSERT_TRUE(trashed.hasValue()) << trashed.error().oneLine();
  EXPECT_EQ(trashed.value().trashedPath, data / "Trash/files/report one.pdf");
  EXPECT_NE(::access(path.c_str(), F_OK), 0);
  EXPECT_EQ(contentsOf(trashed.value().trashedPath), "report");
  const std::string info = contentsOf(trashed.value().infoPath);
  EXPECT_EQ(info.rfind("[Trash Info]\nPath=" + percentEncodedPath(path) + "\nDeletionDate=", 0), 0u) << info;
  EXPECT_NE(info.find("DeletionDate=20"), std::string::npos);

  // The folder it came from is gone: it is made again.
  std::filesystem::remove_all(files / "docs");
  auto restored = restoreFromTrash(trashed.value().trashedPath);
  ASSERT_TRUE(restored.hasValue()) << restored.error().oneLine();
  EXPECT_EQ(restored.value(), path);
  EXPECT_EQ(contentsOf(path), "report");
  EXPECT_NE(::access(trashed.value().infoPath.c_str(), F_OK), 0);
}

TEST_F(TrashTest, NamesAlreadyInTheTrashGetANumber) {
  auto first = moveToTrash(files.file("a/photo.jpg", "1"));
  auto second = moveToTrash(files.file("b/photo.jpg", "2"));
  auto third = moveToTrash(files.file("c/photo.jpg", "3"));
  auto folder = moveToTrash(files.dir("d/photo.jpg"));
  ASSERT_TRUE(first.hasValue() && second.hasValue() && third.hasValue() && folder.hasValue());
  EXPECT_EQ(second.value().trashedPath, data / "Trash/files/photo.2.jpg");
  EXPECT_EQ(third.value().trashedPath, data / "Trash/files/photo.3.jpg");
  EXPECT_EQ(contentsOf(second.value().trashedPath), "2");
  EXPECT_EQ(folder.value().infoPath, data / "Trash/info/photo.4.jpg.trashinfo");
}

TEST_F(TrashTest, ARestoreNeverReplacesWhatIsNowAtTheOriginalPlace) {
  const std::string path = files.file("notes.txt", "old");
  auto trashed = moveToTrash(path);
  ASSERT_TRUE(trashed.hasValue());
  files.file("notes.txt", "new");
  auto restored = restoreFromTrash(trashed.value().trashedPath);
  ASSERT_TRUE(restored.hasError());
  EXPECT_EQ(restored.error().code, EEXIST);
  EXPECT_EQ(contentsOf(path), "new");
  EXPECT_EQ(contentsOf(trashed.value().trashedPath), "old");  // still in the trash, with its info
  EXPECT_EQ(::access(trashed.value().infoPath.c_str(), F_OK), 0);
  EXPECT_TRUE(moveToTrash(files / "missing").hasError());
}

TEST_F(TrashTest, AnItemOnAnotherFileSystemGoesToThatFileSystemsTrash) {
  struct stat shm {};
  struct stat home {};
  if (::stat("/dev/shm", &shm) != 0 || ::stat(data.path().c_str(), &home) != 0 || shm.st_dev == home.st_dev ||
      ::access("/dev/shm", W_OK) != 0) {
    GTEST_SKIP() << "needs /dev/shm writable and on another file system than the temporary folder";
  }
  std::string folder = "/dev/shm/zarnik-trash-test-XXXXXX";
  ASSERT_NE(::mkdtemp(folder.data()), nullptr);
  const std::string path = folder + "/item.txt";
  std::ofstream(path) << "on shm";
  auto trashed = moveToTrash(path);
  ASSERT_TRUE(trashed.hasValue()) << trashed.error().oneLine();
  const std::string trash = "/dev/shm/.Trash-" + std::to_string(::geteuid());
  EXPECT_EQ(trashed.value().trashedPath.rfind(trash + "/files/", 0), 0u) << trashed.value().trashedPath;
  // Paths in a volume's trash are relative to the volume's top folder.
  EXPECT_NE(contentsOf(trashed.value().infoPath).find("Path=" + percentEncodedPath(path.substr(9)) + "\n"),
            std::string::npos);
  auto restored = restoreFromTrash(trashed.value().trashedPath);
  ASSERT_TRUE(restored.hasValue()) << restored.error().oneLine();
  EXPECT_EQ(restored.value(), path);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace zarnik
