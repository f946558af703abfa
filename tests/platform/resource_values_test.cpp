#include "platform/resource_values.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "support/test_dir.h"

namespace zarnik {
namespace {

using testing::TestDir;

TEST(ResourceValues, RegularFileHasSizesDatesIdentityAndType) {
  TestDir dir;
  dir.fileOfSize("photo.JPG", 5000);
  dir.setModificationTime("photo.JPG", 1'600'000'000);
  auto values = readResourceValues(dir / "photo.JPG");
  ASSERT_TRUE(values.hasValue()) << values.error().oneLine();
  const ResourceValues& v = values.value();
  EXPECT_EQ(v.fileResourceType, FileResourceType::regular);
  EXPECT_EQ(v.fileSize, 5000);
  EXPECT_EQ(v.totalFileSize, 5000);
  ASSERT_TRUE(v.totalFileAllocatedSize.has_value());
  EXPECT_EQ(*v.totalFileAllocatedSize % 512, 0);
  EXPECT_EQ(v.contentModificationDate, Date(std::chrono::seconds(1'600'000'000)));
  EXPECT_EQ(v.linkCount, 1u);
  EXPECT_EQ(v.typeIdentifier.name(), "image/jpeg");
  EXPECT_TRUE(v.isReadable);
  EXPECT_FALSE(v.isHidden);
  EXPECT_NE(v.fileResourceIdentifier.inode, 0u);
}

TEST(ResourceValues, HardLinksShareTheIdentityAndCountLinks) {
  TestDir dir;
  dir.file("a.txt", "same");
  dir.hardlink("b.txt", "a.txt");
  auto a = readResourceValues(dir / "a.txt");
  auto b = readResourceValues(dir / "b.txt");
  ASSERT_TRUE(a.hasValue() && b.hasValue());
  EXPECT_EQ(a.value().fileResourceIdentifier, b.value().fileResourceIdentifier);
  EXPECT_EQ(a.value().linkCount, 2u);
}

TEST(ResourceValues, SymbolicLinksAreNotFollowed) {
  TestDir dir;
  dir.fileOfSize("target.bin", 100000);
  dir.symlink("link", "target.bin");
  dir.symlink("dangling", "nowhere");
  auto link = readResourceValues(dir / "link");
  ASSERT_TRUE(link.hasValue());
  EXPECT_EQ(link.value().fileResourceType, FileResourceType::symbolicLink);
  EXPECT_EQ(link.value().fileSize, static_cast<ByteCount>(std::string("target.bin").size()));
  EXPECT_EQ(link.value().typeIdentifier.name(), "inode/symlink");
  EXPECT_TRUE(readResourceValues(dir / "dangling").hasValue());
}

TEST(ResourceValues, DirectoriesHaveNoSizeAndBundlesHaveTheirType) {
  TestDir dir;
  dir.dir("plain");
  dir.dir("Tool.app/Contents");
  auto plain = readResourceValues(dir / "plain");
  auto app = readResourceValues(dir / "Tool.app");
  ASSERT_TRUE(plain.hasValue() && app.hasValue());
  EXPECT_EQ(plain.value().fileResourceType, FileResourceType::directory);
  EXPECT_FALSE(plain.value().fileSize.has_value());
  EXPECT_EQ(plain.value().typeIdentifier.name(), types::kDirectory);
  EXPECT_EQ(app.value().typeIdentifier.name(), types::kApplicationBundle);
}

TEST(ResourceValues, SpecialFilesAreReportedWithoutAType) {
  TestDir dir;
  dir.fifo("pipe");
  dir.socket("sock");
  auto pipe = readResourceValues(dir / "pipe");
  auto sock = readResourceValues(dir / "sock");
  ASSERT_TRUE(pipe.hasValue() && sock.hasValue());
  EXPECT_EQ(pipe.value().fileResourceType, FileResourceType::namedPipe);
  EXPECT_EQ(sock.value().fileResourceType, FileResourceType::socket);
  EXPECT_TRUE(pipe.value().typeIdentifier.empty());
}

TEST(ResourceValues, HiddenNamesAndOddBytesInNames) {
  TestDir dir;
  const std::string odd("caf\xE9\nname.txt");
  dir.file(".secret", "x");
  dir.file(odd, "x");
  auto hidden = readResourceValues(dir / ".secret");
  auto oddValues = readResourceValues(dir / odd);
  ASSERT_TRUE(hidden.hasValue() && oddValues.hasValue());
  EXPECT_TRUE(hidden.value().isHidden);
  EXPECT_FALSE(oddValues.value().isHidden);
  EXPECT_EQ(oddValues.value().typeIdentifier.name(), "text/plain");
}

TEST(ResourceValues, MissingItemGivesAPosixErrorWithThePath) {
  TestDir dir;
  auto missing = readResourceValues(dir / "gone");
  ASSERT_TRUE(missing.hasError());
  EXPECT_EQ(missing.error().code, ENOENT);
  EXPECT_EQ(missing.error().path, dir / "gone");
}

TEST(AccessRights, ModeBitsDecideForOrdinaryUsersAndRootMayReadAnything) {
  if (testing::runningAsRoot()) {
    const AccessRights none = accessRightsForMode(S_IFREG | 0000, 1234, 1234);
    EXPECT_TRUE(none.readable);
    EXPECT_TRUE(none.writable);
    EXPECT_FALSE(none.executable);
    EXPECT_TRUE(accessRightsForMode(S_IFREG | 0001, 1234, 1234).executable);
    EXPECT_TRUE(accessRightsForMode(S_IFDIR | 0000, 1234, 1234).executable);
  } else {
    const AccessRights mine = accessRightsForMode(S_IFREG | 0400, ::geteuid(), 0);
    EXPECT_TRUE(mine.readable);
    EXPECT_FALSE(mine.writable);
    const AccessRights others = accessRightsForMode(S_IFREG | 0604, ::geteuid() + 1, 65534);
    EXPECT_TRUE(others.readable);
  }
}

}  // namespace
}  // namespace zarnik
