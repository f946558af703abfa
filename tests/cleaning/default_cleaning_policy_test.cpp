// Removing one copy: each way of removing it, the hard link that may replace it, and the checks
// that leave a copy in place when it is not what the scan saw or not what the kept copy holds.
#include "cleaning/default_cleaning_policy.h"

#include "support/test_dir.h"

#include "cleaning/cleaning_error.h"
#include "foundation/disk_access_manager.h"
#include "foundation/logger.h"
#include "matching/exact_hashing.h"
#include "scanning/scanning_task.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

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
    return std::make_shared<ZKFileNode>(
        *NodeLocation::make(ScanLocation::make(dir.path(), resolver), path), *attributes,
        NodeContent{}, NodeType::document, std::nullopt);
  }

  CleaningItem pair(const std::string& copyName, const std::string& originalName,
                    const std::string& content) {
    return item(dir.file(copyName, content), dir.file(originalName, content));
  }

  CleaningItem item(const std::string& copy, const std::string& kept,
                    EquivalenceKind kind = EquivalenceKind::exactHash) {
    return CleaningItem{2, node(copy), 1, node(kept), kind, dir.path(), 7};
  }

  // The policy run as a cleaning runs it; the journal written before the first change is kept.
  Result<CleaningItemOutcome> perform(const CleaningItem& item, FileCleaningOption option,
                                      bool replace = false) {
    note = CleaningNote{};
    note.cleanID = 7;
    note.originalPath = item.node->path();
    note.option = std::move(option);
    journal.reset();
    const CleaningSteps steps{[&](const CleaningNote& written) -> Result<void> {
                                journal = written;
                                return success();
                              },
                              [&] { return !stopped; }};
    return policy.perform(item, note, replace, steps);
  }

  CleaningNote note;
  std::optional<CleaningNote> journal;
  bool stopped = false;

  static ino_t inodeOf(const std::string& path) {
    struct stat status {};
    ::stat(path.c_str(), &status);
    return status.st_ino;
  }
};

TEST_F(DefaultCleaningPolicyTest, EachOptionRemovesTheCopyAndSaysWhatItDid) {
  auto trashed = perform(pair("a copy.txt", "a.txt", "alpha"), {});
  ASSERT_TRUE(trashed.hasValue()) << trashed.error().oneLine();
  ASSERT_EQ(trashed.value().actions.size(), 1u);
  const auto& moved = std::get<CleaningMovedToTrashAction>(trashed.value().actions[0]);
  EXPECT_EQ(moved.destination, data / "Trash/files/a copy.txt");
  EXPECT_EQ(::access((data / "Trash/info/a copy.txt.trashinfo").c_str(), F_OK), 0);
  EXPECT_NE(::access((dir / "a copy.txt").c_str(), F_OK), 0);
  EXPECT_EQ(contentsOf(dir / "a.txt"), "alpha");

  auto removed = perform(pair("b copy.txt", "b.txt", "beta"),
                         {FileCleaningOption::Kind::removePermanently, {}});
  ASSERT_TRUE(removed.hasValue());
  EXPECT_TRUE(std::holds_alternative<CleaningRemovedAction>(removed.value().actions.at(0)));
  EXPECT_NE(::access((dir / "b copy.txt").c_str(), F_OK), 0);

  const std::string folder = dir.dir("kept aside");
  dir.file("kept aside/c copy.txt", "already here");
  auto movedAside = perform(pair("c copy.txt", "c.txt", "gamma"),
                            {FileCleaningOption::Kind::moveToFolder, folder});
  ASSERT_TRUE(movedAside.hasValue());
  EXPECT_EQ(std::get<CleaningMovedAction>(movedAside.value().actions.at(0)).destination,
            folder + "/c copy 2.txt");
  EXPECT_EQ(contentsOf(folder + "/c copy 2.txt"), "gamma");
  EXPECT_EQ(contentsOf(folder + "/c copy.txt"), "already here");

  auto nowhere = perform(pair("d copy.txt", "d.txt", "delta"),
                         {FileCleaningOption::Kind::moveToFolder, dir / "missing"});
  ASSERT_TRUE(nowhere.hasError());
  EXPECT_EQ(nowhere.error().code, static_cast<int>(CleaningErrorCode::destinationUnaccessible));
  EXPECT_EQ(contentsOf(dir / "d copy.txt"), "delta");
}

TEST_F(DefaultCleaningPolicyTest, AReplacedCopyBecomesAHardLinkToTheKeptOne) {
  auto item = pair("e copy.txt", "e.txt", "epsilon");
  auto replaced = perform(item, {}, true);
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
    for (const auto& range : ranges->rangesToRead)
      read = read || (offset >= range.start && offset < range.end);
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
  for (auto [copy, kept] :
       {std::pair{"big/one.bin", "big/two.bin"}, std::pair{"big/two.bin", "big/one.bin"}}) {
    auto refused =
        perform(item(dir / copy, dir / kept), {FileCleaningOption::Kind::removePermanently, {}});
    ASSERT_TRUE(refused.hasError());
    EXPECT_EQ(refused.error().code, static_cast<int>(CleaningErrorCode::sourceInvalid));
    EXPECT_NE(refused.error().underlying.find("content differs"), std::string::npos)
        << refused.error().oneLine();
    EXPECT_EQ(::access((dir / copy).c_str(), F_OK), 0);
  }

  // A copy changed after the scan, and one that is gone.
  auto edited = pair("f copy.txt", "f.txt", "phi");
  dir.file("f copy.txt", "phi, edited");
  auto changed = perform(edited, {FileCleaningOption::Kind::removePermanently, {}});
  ASSERT_TRUE(changed.hasError());
  EXPECT_NE(changed.error().underlying.find("changed after the scan"), std::string::npos);
  EXPECT_EQ(contentsOf(dir / "f copy.txt"), "phi, edited");
  ::unlink((dir / "f copy.txt").c_str());
  auto gone = perform(edited, {});
  ASSERT_TRUE(gone.hasError());
  EXPECT_EQ(gone.error().code, static_cast<int>(CleaningErrorCode::sourceMissing));
}

TEST_F(DefaultCleaningPolicyTest, FoldersEmptiedByCleaningGoUpToTheScannedFolderAndNoFurther) {
  const std::string scanned = dir.dir("scanned");
  dir.file("scanned/keep/other.txt", "stays");
  const std::string copy = dir.file("scanned/keep/deep/deeper/copy.txt", "x");
  ::unlink(copy.c_str());
  auto removed = DefaultCleaningPolicy::cleanEmptyDirectories(copy, scanned);
  EXPECT_EQ(removed, (std::vector<std::string>{dir / "scanned/keep/deep/deeper",
                                               dir / "scanned/keep/deep"}));
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
  auto big = pair("g copy.bin", "g.bin", std::string(256 * 1024, 'g'));
  auto full = perform(big, {FileCleaningOption::Kind::moveToFolder, small});
  ::umount(small.c_str());
  ASSERT_TRUE(full.hasError());
  EXPECT_EQ(full.error().code, -18044);
  EXPECT_EQ(contentsOf(dir / "g copy.bin").size(), 256u * 1024u);
}

// The ways a copy could stand for its kept original itself: each must leave both in place.
TEST_F(DefaultCleaningPolicyTest, ACopyThatIsTheKeptFileByAnotherPathIsNeverRemoved) {
  // A symbolic link put in the copy's path after the scan, pointing at the kept copy's folder.
  dir.file("linked/real/h.txt", "eta");
  const auto scannedCopy = item(dir.file("linked/copy/h.txt", "eta"), dir / "linked/real/h.txt");
  std::filesystem::remove_all(dir / "linked/copy");
  dir.symlink("linked/copy", dir / "linked/real");
  for (const auto& option : {FileCleaningOption{},
                             FileCleaningOption{FileCleaningOption::Kind::removePermanently, {}}}) {
    auto refused = perform(scannedCopy, option);
    ASSERT_TRUE(refused.hasError());
    EXPECT_NE(refused.error().oneLine().find("symbolic link"), std::string::npos)
        << refused.error().oneLine();
  }
  // The other way round: the kept copy's path now runs through a link to the copy's folder.
  dir.file("other/real/i.txt", "iota");
  const auto keptViaLink = item(dir / "other/real/i.txt", dir.file("other/kept/i.txt", "iota"));
  std::filesystem::remove_all(dir / "other/kept");
  dir.symlink("other/kept", dir / "other/real");
  EXPECT_TRUE(perform(keptViaLink, {FileCleaningOption::Kind::removePermanently, {}}).hasError());
  // A hard link of the kept copy put where the copy was: two names, one file.
  const auto linked = pair("j copy.txt", "j.txt", "jota");
  ::unlink((dir / "j copy.txt").c_str());
  dir.hardlink("j copy.txt", "j.txt");
  auto sameFile = perform(item(dir / "j copy.txt", dir / "j.txt"),
                          {FileCleaningOption::Kind::removePermanently, {}});
  ASSERT_TRUE(sameFile.hasError());
  EXPECT_NE(sameFile.error().oneLine().find("same file"), std::string::npos)
      << sameFile.error().oneLine();
  // A symbolic link or a pipe put in place of the copy.
  const auto replaced = pair("k copy.txt", "k.txt", "kappa");
  ::unlink((dir / "k copy.txt").c_str());
  dir.symlink("k copy.txt", dir / "k.txt");
  EXPECT_TRUE(perform(replaced, {FileCleaningOption::Kind::removePermanently, {}}).hasError());
  ::unlink((dir / "k copy.txt").c_str());
  dir.fifo("k copy.txt");
  EXPECT_TRUE(perform(replaced, {FileCleaningOption::Kind::removePermanently, {}}).hasError());
  for (const char* kept : {"linked/real/h.txt", "other/real/i.txt", "j.txt", "k.txt"}) {
    EXPECT_FALSE(contentsOf(dir / kept).empty()) << kept;
  }
  EXPECT_EQ(contentsOf(dir / "j copy.txt"), "jota");
}

TEST_F(DefaultCleaningPolicyTest, AFolderSharingAFileWithTheKeptFolderStays) {
  dir.file("shared/kept/a.txt", "alpha");
  dir.file("shared/kept/b.txt", "beta");
  dir.file("shared/copy/a.txt", "alpha");
  dir.hardlink("shared/copy/b.txt", "shared/kept/b.txt");
  auto folderNode = [&](const std::string& path) {
    auto attributes = NodeAttributes::resourceValuesOf(path);
    return std::make_shared<ZKDirectoryNode>(
        *NodeLocation::make(ScanLocation::make(dir.path(), resolver), path), *attributes,
        NodeContent{}, NodeType::other, std::nullopt, std::nullopt);
  };
  const CleaningItem folder{2,
                            folderNode(dir / "shared/copy"),
                            1,
                            folderNode(dir / "shared/kept"),
                            EquivalenceKind::directory,
                            dir.path(),
                            7};
  auto refused = perform(folder, {FileCleaningOption::Kind::removePermanently, {}});
  ASSERT_TRUE(refused.hasError());
  EXPECT_NE(refused.error().oneLine().find("also inside the kept folder"), std::string::npos)
      << refused.error().oneLine();
  EXPECT_EQ(contentsOf(dir / "shared/kept/b.txt"), "beta");

  // Without the shared file the folder goes, renamed aside first and then deleted.
  ::unlink((dir / "shared/copy/b.txt").c_str());
  dir.file("shared/copy/b.txt", "beta");
  const CleaningItem rescanned{2,
                               folderNode(dir / "shared/copy"),
                               1,
                               folderNode(dir / "shared/kept"),
                               EquivalenceKind::directory,
                               dir.path(),
                               7};
  auto removed = perform(rescanned, {FileCleaningOption::Kind::removePermanently, {}});
  ASSERT_TRUE(removed.hasValue()) << removed.error().oneLine();
  ASSERT_TRUE(journal);
  EXPECT_TRUE(journal->isFolder);
  EXPECT_EQ(journal->deletingPath, dir / "shared/.zarnik-deleting-7-2");
  EXPECT_FALSE(std::filesystem::exists(dir / "shared/copy"));
  EXPECT_FALSE(std::filesystem::exists(*journal->deletingPath));
  EXPECT_EQ(contentsOf(dir / "shared/kept/a.txt"), "alpha");
}

TEST_F(DefaultCleaningPolicyTest, TheJournalIsWrittenBeforeTheCopyIsTouchedAndNamesItsPlaces) {
  auto trashed = perform(pair("l copy.txt", "l.txt", "lambda"), {});
  ASSERT_TRUE(trashed.hasValue());
  ASSERT_TRUE(journal);
  EXPECT_EQ(journal->stagedPath, dir / ".zarnik-staged-7-2");
  EXPECT_EQ(journal->keptPath, dir / "l.txt");
  ASSERT_TRUE(journal->digest);
  EXPECT_EQ(journal->digest->size(), 20u);
  EXPECT_EQ(journal->size, 6);
  EXPECT_TRUE(journal->metadata);
  EXPECT_FALSE(std::filesystem::exists(*journal->stagedPath));

  // A journal that cannot be written stops the item before anything changes.
  const auto kept = pair("m copy.txt", "m.txt", "mu");
  note = CleaningNote{};
  note.originalPath = kept.node->path();
  const CleaningSteps failing{
      [](const CleaningNote&) -> Result<void> { return Error::generic("The store is full."); }, {}};
  EXPECT_TRUE(policy.perform(kept, note, false, failing).hasError());
  EXPECT_EQ(contentsOf(dir / "m copy.txt"), "mu");
}

TEST_F(DefaultCleaningPolicyTest, AStoppedCleaningLeavesTheCopyItWasComparing) {
  const auto big =
      item(dir.fileOfSize("n copy.bin", 3 << 20, 'n'), dir.fileOfSize("n.bin", 3 << 20, 'n'));
  stopped = true;
  auto stop = perform(big, {FileCleaningOption::Kind::removePermanently, {}});
  ASSERT_TRUE(stop.hasError());
  EXPECT_NE(stop.error().oneLine().find("stopped"), std::string::npos);
  EXPECT_FALSE(journal);
  EXPECT_EQ(contentsOf(dir / "n copy.bin").size(), 3u << 20);
}

// Takes every place to read on the disk of a path, one reader thread each (a thread is let in
// again at once where it already reads), until released.
class DiskFullyTaken {
 public:
  explicit DiskFullyTaken(const std::string& path) {
    for (int reader = 0; reader < 8; ++reader) {
      std::promise<bool> entered;
      auto hasEntered = entered.get_future();
      readers_.emplace_back([this, path, entered = std::move(entered)]() mutable {
        auto session = DiskAccessManager::shared().beginAccessingURL(
            path, "test", QualityOfService::utility, 0.0);
        entered.set_value(session != nullptr);
        if (session) released_.wait();
      });
      if (!hasEntered.get()) return;
    }
  }
  void release() {
    if (!isReleased_) releasing_.set_value();
    isReleased_ = true;
  }
  ~DiskFullyTaken() {
    release();
    for (auto& reader : readers_) reader.join();
  }

 private:
  std::promise<void> releasing_;
  std::shared_future<void> released_ = releasing_.get_future().share();
  bool isReleased_ = false;
  std::vector<std::thread> readers_;
};

TEST_F(DefaultCleaningPolicyTest, TheComparisonWithTheKeptCopyWaitsForItsTurnToReadTheDisk) {
  const auto copies = pair("p copy.txt", "p.txt", "pi");
  DiskAccessManager& disks = DiskAccessManager::shared();
  const std::string disk = disks.diskUniqueIDForURL(dir.path());
  DiskFullyTaken taken(dir.path());
  auto cleaning = std::async(std::launch::async, [&] {
    return perform(copies, {FileCleaningOption::Kind::removePermanently, {}});
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (disks.waitingRequestCount(disk) < 1 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
  EXPECT_EQ(disks.waitingRequestCount(disk), 1U) << "the comparison asks for the disk";
  EXPECT_FALSE(journal) << "nothing is touched before the copy is compared";
  EXPECT_EQ(contentsOf(dir / "p copy.txt"), "pi");
  taken.release();
  auto removed = cleaning.get();
  ASSERT_TRUE(removed.hasValue()) << removed.error().oneLine();
  EXPECT_NE(::access((dir / "p copy.txt").c_str(), F_OK), 0);
  EXPECT_EQ(contentsOf(dir / "p.txt"), "pi");
}

TEST_F(DefaultCleaningPolicyTest, SimilarItemsGoWithoutAContentCheckButNeverAsHardLinks) {
  const auto similar = item(dir.file("o small.jpg", "picture, smaller"),
                            dir.file("o.jpg", "picture"), EquivalenceKind::similarImage);
  auto linked = perform(similar, {}, true);
  ASSERT_TRUE(linked.hasError());
  EXPECT_NE(linked.error().oneLine().find("only exact copies"), std::string::npos);
  auto trashed = perform(similar, {});
  ASSERT_TRUE(trashed.hasValue()) << trashed.error().oneLine();
  EXPECT_FALSE(std::filesystem::exists(dir / "o small.jpg"));
  EXPECT_EQ(contentsOf(dir / "o.jpg"), "picture");
}

// MPEG audio frames behind an ID3v2 tag: the same audio under other tags is an identical copy.
std::string taggedAudio(const std::string& tag, char sample) {
  const auto n = static_cast<std::uint32_t>(tag.size());
  return std::string("ID3\x04\x00\x00", 6) + char((n >> 21) & 0x7F) + char((n >> 14) & 0x7F) +
         char((n >> 7) & 0x7F) + char(n & 0x7F) + tag + std::string("\xFF\xFB\x90\x00", 4) +
         std::string(400, sample);
}

TEST_F(DefaultCleaningPolicyTest, IdenticalAudioIsComparedByItsAudioDataAlone) {
  const std::string kept = dir.file("song.mp3", taggedAudio("TIT2 Song, album version", 'U'));
  const auto retagged = item(dir.file("song copy.mp3", taggedAudio("TIT2 Song", 'U')), kept,
                             EquivalenceKind::exactAudioHash);
  const auto other = item(dir.file("other.mp3", taggedAudio("TIT2 Song", 'V')), kept,
                          EquivalenceKind::exactAudioHash);
  auto refused = perform(other, {FileCleaningOption::Kind::removePermanently, {}});
  ASSERT_TRUE(refused.hasError());
  EXPECT_NE(refused.error().oneLine().find("its audio differs"), std::string::npos)
      << refused.error().oneLine();
  EXPECT_TRUE(std::filesystem::exists(dir / "other.mp3"));
  auto trashed = perform(retagged, {});
  ASSERT_TRUE(trashed.hasValue()) << trashed.error().oneLine();
  EXPECT_FALSE(std::filesystem::exists(dir / "song copy.mp3"));
  EXPECT_TRUE(journal && journal->digest);  // known again when it is brought back
}

// Another file system: a tmpfs mounted in the test folder (needs root; skipped otherwise).
class OtherFileSystemTest : public DefaultCleaningPolicyTest {
 protected:
  void SetUp() override {
    DefaultCleaningPolicyTest::SetUp();
    other = dir.dir("other volume");
    if (::mount("tmpfs", other.c_str(), "tmpfs", 0, "size=4m") != 0)
      GTEST_SKIP() << "cannot mount a tmpfs here";
    mounted = true;
  }
  void TearDown() override {
    if (mounted) ::umount2(other.c_str(), MNT_DETACH);
  }
  std::string other;
  bool mounted = false;
};

TEST_F(OtherFileSystemTest, AHardLinkThatCannotBeMadeLeavesTheCopyWhereItIs) {
  const std::string kept = other + "/p.txt";
  std::ofstream(kept) << "pi";
  const auto copy = item(dir.file("p copy.txt", "pi"), kept);
  auto refused = perform(copy, {}, true);
  ASSERT_TRUE(refused.hasError());
  EXPECT_NE(refused.error().oneLine().find("another file system"), std::string::npos)
      << refused.error().oneLine();
  EXPECT_EQ(contentsOf(dir / "p copy.txt"), "pi");
  EXPECT_FALSE(std::filesystem::exists(dir / ".zarnik-link-7-2"));
}

TEST_F(OtherFileSystemTest, AMoveAcrossFileSystemsKeepsTheCopysMetadata) {
  const auto copy = pair("q copy.txt", "q.txt", "rho");
  ::chmod((dir / "q copy.txt").c_str(), 0640);
  ::setxattr((dir / "q copy.txt").c_str(), "user.origin", "camera", 6, 0);
  dir.setModificationTime("q copy.txt", 1'000'000'000);
  auto moved = perform(item(dir / "q copy.txt", dir / "q.txt"),
                       {FileCleaningOption::Kind::moveToFolder, other});
  ASSERT_TRUE(moved.hasValue()) << moved.error().oneLine();
  const std::string destination = other + "/q copy.txt";
  EXPECT_EQ(contentsOf(destination), "rho");
  struct stat status {};
  ASSERT_EQ(::stat(destination.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
  EXPECT_EQ(status.st_mtim.tv_sec, 1'000'000'000);
  char value[16] = {};
  const bool tmpfsKeepsUserAttributes =
      ::getxattr(destination.c_str(), "user.origin", value, sizeof(value)) == 6;
  if (tmpfsKeepsUserAttributes) {
    EXPECT_EQ(std::string(value, 6), "camera");
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "q copy.txt"));
  EXPECT_FALSE(std::filesystem::exists(dir / ".zarnik-staged-7-2"));
  EXPECT_FALSE(std::filesystem::exists(other + "/.zarnik-partial-7-2"));
}

}  // namespace
}  // namespace zarnik
