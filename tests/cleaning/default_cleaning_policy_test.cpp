// Removing one copy: each way of removing it, the hard link that may replace it, and the checks
// that leave a copy in place when it is not what the scan saw or not what the kept copy holds.
#include "cleaning/default_cleaning_policy.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "cleaning/cleaning_error.h"
#include "foundation/logger.h"
#include "matching/exact_hashing.h"
#include "scanning/scanning_task.h"
#include "support/test_dir.h"

namespace zarnik {
namespace {

using testing::contentsOf;
using testing::TestDir;

class DefaultCleaningPolicyTest : public ::testing::Test {
 protected:
  TestDir dir;
  TestDir data;
  OVURLResolver resolver{"/nonexistent-home"};
  DefaultCleaningPolicy policy;

  void SetUp() override {
    ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);
    Logger::shared().setConsole(nullptr);
  }

  std::shared_ptr<const ZKBaseNode> node(const std::string& path) {
    auto attributes = NodeAttributes::resourceValuesOf(path);
    return std::make_shared<ZKFileNode>(*NodeLocation::make(ScanLocation::make(dir.path(), resolver), path),
                                        *attributes, NodeContent{}, NodeType::document, std::nullopt);
  }

  CleaningItem pair(const std::string& copyName, const std::string& originalName, const std::string& content) {
    return CleaningItem{2, node(dir.file(copyName, content)), 1, node(dir.file(originalName, content))};
  }

  static ino_t inodeOf(const std::string& path) {
    struct stat status {};
    ::stat(path.c_str(), &status);
    return status.st_ino;
  }
};

TEST_F(DefaultCleaningPolicyTest, EachOptionRemovesTheCopyAndSaysWhatItDid) {
  auto trashed = policy.perform(pair("a copy.txt", "a.txt", "alpha"), {}, false);
  ASSERT_TRUE(trashed.hasValue()) << trashed.error().oneLine();
  ASSERT_EQ(trashed.value().actions.size(), 1u);
  const auto& moved = std::get<CleaningMovedToTrashAction>(trashed.value().actions[0]);
  EXPECT_EQ(moved.destination, data / "Trash/files/a copy.txt");
  EXPECT_EQ(::access((data / "Trash/info/a copy.txt.trashinfo").c_str(), F_OK), 0);
  EXPECT_NE(::access((dir / "a copy.txt").c_str(), F_OK), 0);
  EXPECT_EQ(contentsOf(dir / "a.txt"), "alpha");

  auto removed = policy.perform(pair("b copy.txt", "b.txt", "beta"),
                                {FileCleaningOption::Kind::removePermanently, {}}, false);
  ASSERT_TRUE(removed.hasValue());
  EXPECT_TRUE(std::holds_alternative<CleaningRemovedAction>(removed.value().actions.at(0)));
  EXPECT_NE(::access((dir / "b copy.txt").c_str(), F_OK), 0);

  const std::string folder = dir.dir("kept aside");
  dir.file("kept aside/c copy.txt", "already here");
  auto movedAside = policy.perform(pair("c copy.txt", "c.txt", "gamma"),
                                   {FileCleaningOption::Kind::moveToFolder, folder}, false);
  ASSERT_TRUE(movedAside.hasValue());
  EXPECT_EQ(std::get<CleaningMovedAction>(movedAside.value().actions.at(0)).destination, folder + "/c copy 2.txt");
  EXPECT_EQ(contentsOf(folder + "/c copy 2.txt"), "gamma");
  EXPECT_EQ(contentsOf(folder + "/c copy.txt"), "already here");

  auto nowhere = policy.perform(pair("d copy.txt", "d.txt", "delta"),
                                {FileCleaningOption::Kind::moveToFolder, dir / "missing"}, false);
  ASSERT_TRUE(nowhere.hasError());
  EXPECT_EQ(nowhere.error().code, static_cast<int>(CleaningErrorCode::destinationUnaccessible));
  EXPECT_EQ(contentsOf(dir / "d copy.txt"), "delta");
}

TEST_F(DefaultCleaningPolicyTest, AReplacedCopyBecomesAHardLinkToTheKeptOne) {
  auto item = pair("e copy.txt", "e.txt", "epsilon");
  auto replaced = policy.perform(item, {}, true);
  ASSERT_TRUE(replaced.hasValue()) << replaced.error().oneLine();
  ASSERT_EQ(replaced.value().actions.size(), 2u);
  const auto& link = std::get<CleaningReplacedWithHardlinkAction>(replaced.value().actions[1]);
  EXPECT_EQ(link.identifierOfDuplicateReplacedWith, 1);
  EXPECT_EQ(link.destinationURL, dir / "e.txt");
  EXPECT_EQ(inodeOf(dir / "e copy.txt"), inodeOf(dir / "e.txt"));
  EXPECT_FALSE(replaced.value().note);
}

TEST_F(DefaultCleaningPolicyTest, CopiesThatAreNotWhatTheScanFoundStayInPlace) {
  // Two 10 MiB files that differ only where the scan's digest does not read.
  const ByteCount size = 10 << 20;
  auto ranges = FileRangeAnalytics::make(dir / "x", 4, 1, size);
  ASSERT_TRUE(ranges);
  ByteCount unread = 0;
  for (ByteCount offset = 0; offset < size && unread == 0; offset += 4096) {
    bool read = false;
    for (const auto& range : ranges->rangesToRead) read = read || (offset >= range.start && offset < range.end);
    if (!read) unread = offset;
  }
  ASSERT_GT(unread, 0);
  std::string content(size, 'z');
  dir.file("big/one.bin", content);
  content[unread] = 'Y';
  dir.file("big/two.bin", content);

  // The scan groups them ...
  ScanningServiceRequest request;
  request.specifications.push_back({ScanLocation::make(dir / "big", resolver), {}});
  auto rules = std::make_shared<ExtendedScanRules>();
  rules->setExactMatchEnabled(true);
  rules->setSizeThresholdOption(SizeThresholdOption::size(0));
  request.scanRules = rules;
  request.resolver = resolver;
  ScanningService service;
  auto scanned = service.perform(std::move(request))->start().wait();
  ASSERT_TRUE(scanned.hasValue());
  ASSERT_EQ(scanned.value()->detectionResults.size(), 1u);

  // ... and cleaning refuses to remove either of them.
  for (auto [copy, kept] : {std::pair{"big/one.bin", "big/two.bin"}, std::pair{"big/two.bin", "big/one.bin"}}) {
    auto refused = policy.perform(CleaningItem{2, node(dir / copy), 1, node(dir / kept)},
                                  {FileCleaningOption::Kind::removePermanently, {}}, false);
    ASSERT_TRUE(refused.hasError());
    EXPECT_EQ(refused.error().code, static_cast<int>(CleaningErrorCode::sourceInvalid));
    EXPECT_NE(refused.error().underlying.find("content differs"), std::string::npos) << refused.error().oneLine();
    EXPECT_EQ(::access((dir / copy).c_str(), F_OK), 0);
  }

  // A copy changed after the scan, and one that is gone.
  auto item = pair("f copy.txt", "f.txt", "phi");
  dir.file("f copy.txt", "phi, edited");
  auto changed = policy.perform(item, {FileCleaningOption::Kind::removePermanently, {}}, false);
  ASSERT_TRUE(changed.hasError());
  EXPECT_NE(changed.error().underlying.find("changed after the scan"), std::string::npos);
  EXPECT_EQ(contentsOf(dir / "f copy.txt"), "phi, edited");
  ::unlink((dir / "f copy.txt").c_str());
  auto gone = policy.perform(item, {}, false);
  ASSERT_TRUE(gone.hasError());
  EXPECT_EQ(gone.error().code, static_cast<int>(CleaningErrorCode::sourceMissing));
  EXPECT_EQ(gone.error().description, "Source url is missing");
}

TEST_F(DefaultCleaningPolicyTest, FoldersEmptiedByCleaningGoUpToTheScannedFolderAndNoFurther) {
  const std::string scanned = dir.dir("scanned");
  dir.file("scanned/keep/other.txt", "stays");
  const std::string copy = dir.file("scanned/keep/deep/deeper/copy.txt", "x");
  ::unlink(copy.c_str());
  auto removed = DefaultCleaningPolicy::cleanEmptyDirectories(copy, scanned);
  EXPECT_EQ(removed, (std::vector<std::string>{dir / "scanned/keep/deep/deeper", dir / "scanned/keep/deep"}));
  EXPECT_EQ(::access((dir / "scanned/keep").c_str(), F_OK), 0);  // not empty

  const std::string lone = dir.file("scanned/lone/file.txt", "x");
  ::unlink(lone.c_str());
  ::unlink((dir / "scanned/keep/other.txt").c_str());
  ::rmdir((dir / "scanned/keep").c_str());
  EXPECT_EQ(DefaultCleaningPolicy::cleanEmptyDirectories(lone, scanned + "/"),
            std::vector<std::string>{dir / "scanned/lone"});
  EXPECT_EQ(::access(scanned.c_str(), F_OK), 0);  // the scanned folder itself stays, though empty
  // A folder with the scanned folder's name as a prefix is not inside it.
  const std::string beside = dir.file("scanned-not/file.txt", "x");
  ::unlink(beside.c_str());
  EXPECT_TRUE(DefaultCleaningPolicy::cleanEmptyDirectories(beside, scanned).empty());
}

TEST_F(DefaultCleaningPolicyTest, MovingToAFullVolumeFailsAndKeepsTheFile) {
  const std::string small = dir.dir("small volume");
  if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0) {
    GTEST_SKIP() << "cannot mount a small tmpfs here (needs root and mount rights)";
  }
  auto item = pair("g copy.bin", "g.bin", std::string(256 * 1024, 'g'));
  auto full = policy.perform(item, {FileCleaningOption::Kind::moveToFolder, small}, false);
  ::umount(small.c_str());
  ASSERT_TRUE(full.hasError());
  EXPECT_EQ(full.error().code, -18044);
  EXPECT_EQ(contentsOf(dir / "g copy.bin").size(), 256u * 1024u);
}

}  // namespace
}  // namespace zarnik
