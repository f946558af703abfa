#include "platform/write_ahead_log.h"

#include <gtest/gtest.h>

#include "platform/file_reading.h"
#include "platform/sqlite_database.h"
#include "support/test_dir.h"

namespace zarnik {
namespace {

constexpr size_t kHeaderSize = 32;
constexpr size_t kFrameHeaderSize = 24;

// A write-ahead log holding two committed transactions, copied while its database is still open
// (closing folds the log into the database and removes it).
class WriteAheadLogTest : public ::testing::Test {
 protected:
  testing::TestDir dir;
  std::string log;
  size_t frameSize = 0;

  void SetUp() override {
    const std::string store = dir / "store.db";
    auto database = SqliteDatabase::open(store);
    ASSERT_TRUE(database.hasValue()) << database.error().oneLine();
    auto& db = *database.value();
    ASSERT_TRUE(db.execute("PRAGMA page_size = 4096").hasValue());
    ASSERT_TRUE(db.execute("PRAGMA journal_mode = WAL").hasValue());
    ASSERT_TRUE(db.execute("PRAGMA wal_autocheckpoint = 0").hasValue());
    ASSERT_TRUE(db.execute("CREATE TABLE note (text TEXT)").hasValue());
    ASSERT_TRUE(db.execute("INSERT INTO note VALUES ('moved to the trash')").hasValue());
    auto bytes = readWholeFile(store + "-wal", 1 << 24);
    ASSERT_TRUE(bytes.hasValue());
    log = bytes.value();
    frameSize = kFrameHeaderSize + 4096;
    ASSERT_GE(log.size(), kHeaderSize + 2 * frameSize);
  }

  WriteAheadLogState stateOf(const std::string& bytes) {
    const std::string path = dir / "copy.db-wal";
    EXPECT_TRUE(writeFileAtomically(path, bytes).hasValue());
    auto state = checkWriteAheadLog(path);
    EXPECT_TRUE(state.hasValue()) << state.error().oneLine();
    return state.valueOr(WriteAheadLogState::absentOrEmpty);
  }
};

TEST_F(WriteAheadLogTest, AnIntactOrCutOffLogCanBeReplayed) {
  EXPECT_EQ(stateOf(log), WriteAheadLogState::intact);
  // A writer killed while appending leaves a last frame cut short: nothing committed is lost.
  EXPECT_EQ(stateOf(log.substr(0, log.size() - 100)), WriteAheadLogState::intact);
  std::string lastPageBroken = log;
  lastPageBroken[lastPageBroken.size() - 10] ^= 0x5a;
  EXPECT_EQ(stateOf(lastPageBroken), WriteAheadLogState::intact);
  EXPECT_EQ(stateOf(""), WriteAheadLogState::absentOrEmpty);
  EXPECT_EQ(checkWriteAheadLog(dir / "missing-wal").valueOr(WriteAheadLogState::damaged),
            WriteAheadLogState::absentOrEmpty);
}

TEST_F(WriteAheadLogTest, ABrokenFrameBeforeACommitOrABrokenHeaderIsDamage) {
  std::string firstPageBroken = log;
  firstPageBroken[kHeaderSize + kFrameHeaderSize + 100] ^= 0x5a;
  EXPECT_EQ(stateOf(firstPageBroken), WriteAheadLogState::damaged);
  std::string headerBroken = log;
  headerBroken[9] ^= 0x01;  // the page size, covered by the header's checksum
  EXPECT_EQ(stateOf(headerBroken), WriteAheadLogState::damaged);
  EXPECT_EQ(stateOf(log.substr(0, 20)), WriteAheadLogState::damaged);
}

}  // namespace
}  // namespace zarnik
