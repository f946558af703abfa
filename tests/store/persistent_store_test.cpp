// Opening stores: creation, migration of older versions, refusal of newer ones and of other
// files, and damaged files moved aside instead of being overwritten.
#include "store/persistent_store.h"

#include "support/test_dir.h"

#include "foundation/logger.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <random>
#include <sys/stat.h>

namespace zarnik {
namespace {

using testing::contentsOf;
using testing::TestDir;

std::int64_t countRows(SqliteDatabase& database, const std::string& table) {
  auto query = database.prepare("SELECT count(*) FROM " + table);
  EXPECT_TRUE(query.hasValue());
  EXPECT_TRUE(query.value().step().valueOr(false));
  return query.value().integer(0);
}

class PersistentStoreTest : public ::testing::Test {
 protected:
  TestDir dir;
  const ManagedObjectModel& model = ManagedObjectModel::fileModel();
  void SetUp() override { Logger::shared().setConsole(nullptr); }

  Result<std::shared_ptr<PersistentStore>> open(const std::string& name) {
    return OVPersistentStoreSpecification::diskPersistentStore(model, dir / name)
        .buildPersistentStore();
  }
};

TEST_F(PersistentStoreTest, AMissingFileIsCreatedWithTheLatestSchemaAndReopenedAsIs) {
  auto first = open("duplicates.db");
  ASSERT_TRUE(first.hasValue()) << first.error().oneLine();
  EXPECT_TRUE(first.value()->wasCreated());
  EXPECT_EQ(first.value()->database().userVersion().valueOr(-1), model.version());
  ASSERT_TRUE(first.value()
                  ->database()
                  .execute("INSERT INTO ZKEquivalence (uniqueIdentifier, privateEquivalenceKind) "
                           "VALUES (7, 'exactHash')")
                  .hasValue());
  first = Error::generic("closed");

  auto again = open("duplicates.db");
  ASSERT_TRUE(again.hasValue()) << again.error().oneLine();
  EXPECT_FALSE(again.value()->wasCreated());
  EXPECT_FALSE(again.value()->movedAsideTo());
  EXPECT_EQ(countRows(again.value()->database(), "ZKEquivalence"), 1);
}

TEST_F(PersistentStoreTest, AStoreOfAnOlderVersionIsMigratedKeepingItsRecords) {
  {
    auto database = SqliteDatabase::open(dir / "old.db");
    ASSERT_TRUE(database.hasValue());
    ASSERT_TRUE(database.value()->execute(model.migrations[0]).hasValue());
    ASSERT_TRUE(database.value()->setUserVersion(1).hasValue());
    ASSERT_TRUE(
        database.value()
            ->execute("INSERT INTO ZKEquivalence (uniqueIdentifier, privateEquivalenceKind) "
                      "VALUES (3, 'exactHash')")
            .hasValue());
  }
  auto store = open("old.db");
  ASSERT_TRUE(store.hasValue()) << store.error().oneLine();
  auto& database = store.value()->database();
  EXPECT_EQ(database.userVersion().valueOr(-1), model.version());
  auto row = database.prepare("SELECT uniqueIdentifier, reclaimableSize FROM ZKEquivalence");
  ASSERT_TRUE(row.hasValue()) << row.error().oneLine();
  ASSERT_TRUE(row.value().step().valueOr(false));
  EXPECT_EQ(row.value().integer(0), 3);
  EXPECT_EQ(row.value().integer(1), 0);  // the column added by the migration, at its default
  // The copies a cleaning recorded are found by an index, not by reading every copy.
  auto plan = database.prepare(
      "EXPLAIN QUERY PLAN SELECT equivalence FROM ZKDuplicate WHERE cleanID IS NOT NULL");
  ASSERT_TRUE(plan.hasValue()) << plan.error().oneLine();
  ASSERT_TRUE(plan.value().step().valueOr(false));
  EXPECT_NE(plan.value().text(3).find("ZKDuplicate_cleanID"), std::string::npos)
      << plan.value().text(3);
}

TEST_F(PersistentStoreTest, StoresItCannotReadAreRefusedAndLeftUntouched) {
  // A newer version.
  ASSERT_TRUE(open("newer.db").hasValue());
  {
    auto database = SqliteDatabase::open(dir / "newer.db");
    ASSERT_TRUE(database.value()->execute("PRAGMA journal_mode = DELETE").hasValue());
    ASSERT_TRUE(database.value()->setUserVersion(model.version() + 5).hasValue());
  }
  const std::string before = contentsOf(dir / "newer.db");
  auto newer = open("newer.db");
  ASSERT_TRUE(newer.hasError());
  EXPECT_NE(newer.error().description.find("newer version"), std::string::npos)
      << newer.error().oneLine();
  EXPECT_EQ(newer.error().path, dir / "newer.db");
  EXPECT_EQ(contentsOf(dir / "newer.db"), before);

  // A store of the other model.
  ASSERT_TRUE(OVPersistentStoreSpecification::diskPersistentStore(
                  ManagedObjectModel::preferencesModel(), dir / "preferences.db")
                  .buildPersistentStore()
                  .hasValue());
  auto preferences = open("preferences.db");
  ASSERT_TRUE(preferences.hasError());
  EXPECT_NE(preferences.error().description.find("PreferencesModel"), std::string::npos);

  // Another program's database.
  {
    auto database = SqliteDatabase::open(dir / "other.db");
    ASSERT_TRUE(database.value()->execute("CREATE TABLE songs (title TEXT)").hasValue());
  }
  auto other = open("other.db");
  ASSERT_TRUE(other.hasError());
  EXPECT_NE(other.error().description.find("another program"), std::string::npos);
}

TEST_F(PersistentStoreTest, DamagedFilesAreMovedAsideAndAFreshStoreTakesTheirPlace) {
  std::mt19937 random(7);
  std::string garbage(20000, '\0');
  for (auto& byte : garbage) byte = static_cast<char>(random());
  dir.file("garbage.db", garbage);
  auto store = open("garbage.db");
  ASSERT_TRUE(store.hasValue()) << store.error().oneLine();
  ASSERT_TRUE(store.value()->movedAsideTo());
  EXPECT_EQ(contentsOf(*store.value()->movedAsideTo()), garbage);
  EXPECT_TRUE(store.value()->wasCreated());
  EXPECT_EQ(countRows(store.value()->database(), "ZKEquivalence"), 0);

  // A store cut short, as a full disk or a bad copy leaves it.
  {
    auto full = open("cut.db");
    ASSERT_TRUE(full.hasValue());
    auto& database = full.value()->database();
    ASSERT_TRUE(database.execute("PRAGMA journal_mode = DELETE").hasValue());
    ASSERT_TRUE(
        database
            .execute(
                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
                "INSERT INTO ZKEquivalence (uniqueIdentifier, privateEquivalenceKind, "
                "lastResortName) "
                "SELECT i, 'exactHash', printf('%0200d', i) FROM n")
            .hasValue());
  }
  const std::string whole = contentsOf(dir / "cut.db");
  ASSERT_GT(whole.size(), 100000u);
  dir.file("cut.db", whole.substr(0, whole.size() / 2));
  auto cut = open("cut.db");
  ASSERT_TRUE(cut.hasValue()) << cut.error().oneLine();
  EXPECT_TRUE(cut.value()->movedAsideTo());
}

TEST_F(PersistentStoreTest, AStoreIsCheckedAgainOnlyWhenItChangedSinceThisProgramClosedIt) {
  auto fill = [](SqliteDatabase& database, int count) {
    return database.execute(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
        std::to_string(count) +
        ") INSERT INTO ZKEquivalence (uniqueIdentifier, privateEquivalenceKind, lastResortName) "
        "SELECT i, 'exactHash', printf('%0200d', i) FROM n");
  };
  {
    auto store = open("duplicates.db");
    ASSERT_TRUE(store.hasValue());
    EXPECT_FALSE(store.value()->checkedPages());  // made new
    ASSERT_TRUE(fill(store.value()->database(), 3000).hasValue());
  }
  ASSERT_EQ(::access((dir / "duplicates.db-wal").c_str(), F_OK), -1);  // folded in on closing

  // The note vouches only when it was written in a later tick of the file clock than the file's
  // last change; here its time is set to say which.
  const auto noteWrittenAt = [this](long secondsAfterTheFileChanged) {
    struct stat file {};
    ASSERT_EQ(::stat((dir / "duplicates.db").c_str(), &file), 0);
    timespec times[2] = {file.st_ctim, file.st_ctim};
    times[0].tv_sec += secondsAfterTheFileChanged;
    times[1].tv_sec += secondsAfterTheFileChanged;
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "duplicates.db-closed").c_str(), times, 0), 0);
  };
  noteWrittenAt(0);
  {
    auto sameTick = open("duplicates.db");
    ASSERT_TRUE(sameTick.hasValue());
    EXPECT_TRUE(sameTick.value()->checkedPages());
  }
  noteWrittenAt(1);
  {
    auto again = open("duplicates.db");
    ASSERT_TRUE(again.hasValue());
    EXPECT_FALSE(again.value()->checkedPages());
    EXPECT_EQ(countRows(again.value()->database(), "ZKEquivalence"), 3000);
  }

  // Another writer: the file is no longer as this program left it.
  {
    auto database = SqliteDatabase::open(dir / "duplicates.db");
    ASSERT_TRUE(database.hasValue());
    ASSERT_TRUE(database.value()
                    ->execute("DELETE FROM ZKEquivalence WHERE uniqueIdentifier > 2000")
                    .hasValue());
  }
  {
    auto checked = open("duplicates.db");
    ASSERT_TRUE(checked.hasValue());
    EXPECT_TRUE(checked.value()->checkedPages());
    EXPECT_FALSE(checked.value()->movedAsideTo());
  }

  // A page that opening does not read, damaged in place after a clean close, the file's size and
  // modification time kept: only its change time tells.
  std::int64_t page = 0;
  {
    auto database = SqliteDatabase::openReadOnly(dir / "duplicates.db");
    ASSERT_TRUE(database.hasValue());
    auto root = database.value()->prepare(
        "SELECT rootpage FROM sqlite_master WHERE name = 'ZKEquivalence'");
    ASSERT_TRUE(root.hasValue() && root.value().step().valueOr(false));
    page = root.value().integer(0);
  }
  struct stat before {};
  ASSERT_EQ(::stat((dir / "duplicates.db").c_str(), &before), 0);
  std::string bytes = contentsOf(dir / "duplicates.db");
  const size_t start = static_cast<size_t>(page - 1) * 16384;
  ASSERT_GT(bytes.size(), start + 16384);
  for (size_t at = start; at < start + 400; ++at) bytes[at] = static_cast<char>(0xA5);
  dir.file("duplicates.db", bytes);
  const timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "duplicates.db").c_str(), times, 0), 0);
  auto damaged = open("duplicates.db");
  ASSERT_TRUE(damaged.hasValue()) << damaged.error().oneLine();
  EXPECT_TRUE(damaged.value()->movedAsideTo());
  EXPECT_EQ(countRows(damaged.value()->database(), "ZKEquivalence"), 0);
}

TEST_F(PersistentStoreTest, StoresInMemoryAndRemovalOfStoreFiles) {
  auto memory = OVPersistentStoreSpecification::ramPersistentStore(model);
  EXPECT_EQ(memory.storeType(), OVPersistentStoreSpecification::kInMemoryStoreType);
  auto store = memory.buildPersistentStore();
  ASSERT_TRUE(store.hasValue());
  EXPECT_TRUE(store.value()->isInMemory());
  EXPECT_TRUE(memory.removePersistentStore().hasValue());

  auto disk = OVPersistentStoreSpecification::diskPersistentStore(
      ManagedObjectModel::preferencesModel(), dir / "p.db");
  EXPECT_EQ(disk.storeType(), OVPersistentStoreSpecification::kSQLiteStoreType);
  {
    auto opened = disk.buildPersistentStore();
    ASSERT_TRUE(opened.hasValue());
    EXPECT_TRUE(opened.value()->wasCreated());  // a first launch
    EXPECT_EQ(countRows(opened.value()->database(), "ZKSelectionRule"), 0);
  }
  ASSERT_TRUE(disk.removePersistentStore().hasValue());
  EXPECT_NE(::access((dir / "p.db").c_str(), F_OK), 0);
}

}  // namespace
}  // namespace zarnik
