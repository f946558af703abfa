#include "matching/small_file_digest_table.h"

#include "support/made_up_digests.h"
#include "support/test_dir.h"

#include "platform/file_lock.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <sys/stat.h>

namespace zarnik {
namespace {

using testing::madeUpDigest;
using testing::TestDir;
using Known = SmallFileDigestTable::Known;

constexpr std::int64_t kToday = 20'000;
constexpr std::chrono::milliseconds kNoWait{0};

DigestCacheKey keyOf(std::uint64_t inode) {
  DigestCacheKey key;
  key.file = FileId{2049, inode};
  key.size = static_cast<ByteCount>(5000 + inode);
  key.modified = Date(std::chrono::nanoseconds(1'700'000'000'123'456'789 + inode));
  key.changed = Date(std::chrono::nanoseconds(1'700'000'100'987'654'321 + inode));
  return key;
}

Known bothOf(std::uint64_t inode) {
  return {inode * 0x9E3779B97F4A7C15ULL, madeUpDigest(inode, keyOf(inode).size)};
}

std::string contentsOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class SmallFileDigestTableTest : public ::testing::Test {
 protected:
  TestDir dir;
  Logger logger;
  std::string path = dir / "small-file-digests";

  void SetUp() override { logger.setFilePath(dir / "zarnik.log"); }

  std::unique_ptr<SmallFileDigestTable> load(std::int64_t day = kToday) {
    return SmallFileDigestTable::load(
        path, [day] { return day; }, logger);
  }
  // A saved table of `count` files, inodes 1 to `count`.
  void saveTableOf(std::uint64_t count, std::int64_t day = kToday) {
    auto table = load(day);
    for (std::uint64_t inode = 1; inode <= count; ++inode)
      table->record(keyOf(inode), bothOf(inode));
    ASSERT_TRUE(table->save(1'000'000, kNoWait).hasValue());
  }
  std::string logText() {
    logger.flush();
    return contentsOf(dir / "zarnik.log");
  }
  ino_t inodeOfFile() {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
  }
};

void expectKnown(const std::optional<Known>& found, const Known& expected) {
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->prefixHash, expected.prefixHash);
  EXPECT_EQ(found->digest, expected.digest);
}

TEST_F(SmallFileDigestTableTest, FindsAnEntryOnlyWhenEveryKeyFieldMatchesAndAfterItIsSaved) {
  auto table = load();
  table->record(keyOf(1), bothOf(1));
  EXPECT_FALSE(table->find(keyOf(1))) << "kept from the next save on";
  ASSERT_TRUE(table->save(1000, kNoWait).hasValue());
  expectKnown(table->find(keyOf(1)), bothOf(1));
  expectKnown(load()->find(keyOf(1)), bothOf(1));

  const auto changed = [](auto change) {
    DigestCacheKey key = keyOf(1);
    change(key);
    return key;
  };
  EXPECT_FALSE(table->find(changed([](auto& key) { key.file.device += 1; })));
  EXPECT_FALSE(table->find(changed([](auto& key) { key.file.inode += 1; })));
  EXPECT_FALSE(table->find(changed([](auto& key) { key.size += 1; })));
  EXPECT_FALSE(
      table->find(changed([](auto& key) { key.modified += std::chrono::nanoseconds(1); })));
  EXPECT_FALSE(table->find(changed([](auto& key) { key.changed += std::chrono::nanoseconds(1); })))
      << "a file rewritten with its modification time set back";
}

TEST_F(SmallFileDigestTableTest, PartsRecordedApartMakeOneEntryAndAChangedFileReplacesIt) {
  auto table = load();
  table->record(keyOf(1), {bothOf(1).prefixHash, std::nullopt});
  table->record(keyOf(1), {std::nullopt, bothOf(1).digest});
  table->record(keyOf(2), {bothOf(2).prefixHash, std::nullopt});
  ASSERT_TRUE(table->save(1000, kNoWait).hasValue());
  expectKnown(load()->find(keyOf(1)), bothOf(1));
  expectKnown(load()->find(keyOf(2)), {bothOf(2).prefixHash, std::nullopt});

  DigestCacheKey rewritten = keyOf(2);
  rewritten.changed += std::chrono::seconds(5);
  auto again = load();
  const ExactFileHash rewrittenDigest = madeUpDigest(9, rewritten.size);
  again->record(rewritten, {std::nullopt, rewrittenDigest});
  ASSERT_TRUE(again->save(1000, kNoWait).hasValue());
  auto reloaded = load();
  EXPECT_FALSE(reloaded->find(keyOf(2))) << "what was known of the file before is gone";
  expectKnown(reloaded->find(rewritten), {std::nullopt, rewrittenDigest});
}

TEST_F(SmallFileDigestTableTest, AnUntrustedFileIsLoggedAndReplacedByAWorkingTable) {
  saveTableOf(50);
  const std::string valid = contentsOf(path);
  ASSERT_EQ(valid.size(), 32u + 50 * 80);

  std::string newer = valid;
  newer[8] = 2;
  std::string flipped = valid;
  flipped[32 + 80 * 20 + 50] ^= 0x01;
  std::string random(valid.size(), '\0');
  std::mt19937 generator(7);
  for (auto& byte : random) byte = static_cast<char>(generator());
  auto records = SmallFileDigestTable::decode(valid).value();
  std::swap(records[3], records[30]);
  const std::string unordered = SmallFileDigestTable::encode(records);

  const std::vector<std::pair<const char*, std::string>> damages = {
      {"truncated", valid.substr(0, valid.size() - 40)},
      {"shorter than its header", valid.substr(0, 20)},
      {"random bytes", random},
      {"of a newer format", newer},
      {"a flipped bit", flipped},
      {"out of order", unordered}};
  for (const auto& [what, bytes] : damages) {
    SCOPED_TRACE(what);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    const size_t logBefore = logText().size();
    auto table = load();
    for (std::uint64_t inode = 1; inode <= 50; ++inode) EXPECT_FALSE(table->find(keyOf(inode)));
    EXPECT_NE(logText().substr(logBefore).find("could not be used"), std::string::npos);
    table->record(keyOf(60), bothOf(60));
    ASSERT_TRUE(table->save(1000, kNoWait).hasValue());
    expectKnown(load()->find(keyOf(60)), bothOf(60));
  }
}

TEST_F(SmallFileDigestTableTest, TwoTablesSavingOneFileKeepWhatBothLearnt) {
  auto first = load();
  auto second = load();
  first->record(keyOf(1), bothOf(1));
  second->record(keyOf(2), bothOf(2));
  second->record(keyOf(1), {std::nullopt, bothOf(1).digest});
  ASSERT_TRUE(first->save(1000, kNoWait).hasValue());
  ASSERT_TRUE(second->save(1000, kNoWait).hasValue());
  auto table = load();
  expectKnown(table->find(keyOf(1)), bothOf(1));
  expectKnown(table->find(keyOf(2)), bothOf(2));
}

TEST_F(SmallFileDigestTableTest, ARescanTheSameDayWritesNothingAndPruningKeepsTheRecentlyUsed) {
  saveTableOf(100, kToday - 10);
  {
    auto sameDay = load(kToday - 10);
    for (std::uint64_t inode = 1; inode <= 100; ++inode) ASSERT_TRUE(sameDay->find(keyOf(inode)));
    const ino_t before = inodeOfFile();
    ASSERT_TRUE(sameDay->save(1000, kNoWait).hasValue());
    EXPECT_EQ(inodeOfFile(), before) << "nothing new: the file is left as it is";
  }
  // Ten days later the files 91 to 100 are used again; the rest are the oldest.
  auto later = load();
  for (std::uint64_t inode = 91; inode <= 100; ++inode) ASSERT_TRUE(later->find(keyOf(inode)));
  later->record(keyOf(200), bothOf(200));
  ASSERT_TRUE(later->save(50, kNoWait).hasValue());
  auto table = load();
  size_t kept = 0;
  for (std::uint64_t inode = 1; inode <= 100; ++inode) kept += table->find(keyOf(inode)) ? 1 : 0;
  EXPECT_EQ(kept + (table->find(keyOf(200)) ? 1 : 0), 45u) << "nine tenths of the maximum";
  for (std::uint64_t inode = 91; inode <= 100; ++inode) EXPECT_TRUE(table->find(keyOf(inode)));
  EXPECT_TRUE(table->find(keyOf(200)));
}

TEST_F(SmallFileDigestTableTest, ASaveGivesUpWhenAnotherHoldsTheLockPastTheTimeout) {
  auto holder = FileLock::lock(path + ".lock", "another scan");
  ASSERT_TRUE(holder.hasValue());
  auto table = load();
  table->record(keyOf(1), bothOf(1));
  const auto saved = table->save(1000, std::chrono::milliseconds(30));
  ASSERT_TRUE(saved.hasError());
  EXPECT_EQ(saved.error().code, EWOULDBLOCK);
  EXPECT_FALSE(std::ifstream(path).good()) << "nothing written";
}

TEST_F(SmallFileDigestTableTest, UsesAreMarkedWithTheDayOfTheUseAndWrittenOnce) {
  saveTableOf(10, kToday - 3);
  std::int64_t day = kToday - 1;  // a monitor that started yesterday
  auto table = SmallFileDigestTable::load(
      path, [&day] { return day; }, logger);
  day = kToday;
  ASSERT_TRUE(table->find(keyOf(4)));
  table->record(keyOf(20), bothOf(20));
  ASSERT_TRUE(table->save(1000, kNoWait).hasValue());
  const ino_t written = inodeOfFile();
  ASSERT_TRUE(table->save(1000, kNoWait).hasValue());
  EXPECT_EQ(inodeOfFile(), written) << "nothing new since the last save";

  const auto records = SmallFileDigestTable::decode(contentsOf(path)).value();
  for (const auto& record : records) {
    const std::uint32_t expected = record.inode == 4 || record.inode == 20 ? kToday : kToday - 3;
    EXPECT_EQ(record.lastUsedDay, expected) << "inode " << record.inode;
  }
}

TEST_F(SmallFileDigestTableTest, HoldsFilesOfOneByteUpToJustUnder64KiB) {
  EXPECT_FALSE(SmallFileDigestTable::holds(0));
  EXPECT_TRUE(SmallFileDigestTable::holds(1));
  EXPECT_TRUE(SmallFileDigestTable::holds(65535));
  EXPECT_FALSE(SmallFileDigestTable::holds(65536));
}

}  // namespace
}  // namespace zarnik
