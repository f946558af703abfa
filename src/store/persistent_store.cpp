#include "store/persistent_store.h"

#include "foundation/logger.h"
#include "platform/file_reading.h"
#include "platform/file_state.h"
#include "platform/write_ahead_log.h"

#include <fmt/format.h>
#include <sqlite3.h>

#include <cstdio>
#include <ctime>

namespace zarnik {
namespace {

// Stores up to this size are checked page by page when opened (a few tens of milliseconds);
// larger ones are caught when a damaged page is read.
constexpr ByteCount kQuickCheckLimit = 32 << 20;

Error storeError(std::string description, const std::string& path) {
  return Error::generic(std::move(description), path);
}

Error corruptionError(const SqliteDatabase& database, std::string detail) {
  Error error = database.lastError(SQLITE_CORRUPT);
  error.description = "database disk image is malformed";
  error.underlying = std::move(detail);
  return error;
}

Result<void> quickCheck(SqliteDatabase& database) {
  ZK_ASSIGN_OR_RETURN(auto statement, database.prepare("PRAGMA quick_check(1)"));
  ZK_ASSIGN_OR_RETURN(const bool row, statement.step());
  if (!row) return corruptionError(database, "no answer to the integrity check");
  const std::string answer = statement.text(0);
  if (answer != "ok") return corruptionError(database, answer);
  return success();
}

Result<std::int64_t> tableCount(SqliteDatabase& database) {
  ZK_ASSIGN_OR_RETURN(auto statement, database.prepare("SELECT count(*) FROM sqlite_master"));
  ZK_ASSIGN_OR_RETURN(const bool row, statement.step());
  return row ? statement.integer(0) : 0;
}

Result<std::optional<std::string>> storedModelName(SqliteDatabase& database) {
  ZK_ASSIGN_OR_RETURN(auto statement,
                      database.prepare("SELECT value FROM ZMETADATA WHERE key = 'model'"));
  ZK_ASSIGN_OR_RETURN(const bool row, statement.step());
  if (!row) return std::optional<std::string>();
  return std::optional<std::string>(statement.text(0));
}

Result<void> migrate(SqliteDatabase& database, const ManagedObjectModel& model, std::int64_t from) {
  ZK_ASSIGN_OR_RETURN(auto transaction, SqliteTransaction::begin(database));
  for (auto step = from; step < model.version(); ++step) {
    ZK_TRY(database.execute(model.migrations[static_cast<size_t>(step)]));
  }
  ZK_TRY(database.setUserVersion(model.version()));
  return transaction.commit();
}

// Refuses what this version must not touch: another program's database, the other model's
// store, a store of a newer version. Reads only.
Result<void> checkCompatibility(SqliteDatabase& database, const ManagedObjectModel& model,
                                std::int64_t version, const std::string& path) {
  if (version == 0) {
    ZK_ASSIGN_OR_RETURN(const std::int64_t tables, tableCount(database));
    if (tables != 0)
      return storeError("The file is a database of another program; it was left as it is.", path);
    return success();
  }
  ZK_ASSIGN_OR_RETURN(const auto name, storedModelName(database));
  if (name != model.name) {
    return storeError(fmt::format("The store holds {}, not {}; it was left as it is.",
                                  name.value_or("something else"), model.name),
                      path);
  }
  if (version > model.version()) {
    return storeError(
        fmt::format(
            "The store was written by a newer version of Zarnik (store version {}, this version "
            "reads up to {}); it was left as it is.",
            version, model.version()),
        path);
  }
  return success();
}

// Opens the database and brings its schema to the model's version, or says why it cannot.
Result<std::unique_ptr<SqliteDatabase>> openStore(const std::string& path,
                                                  const ManagedObjectModel& model,
                                                  const PersistentStoreOptions& options) {
  const bool inMemory = path == ":memory:";
  const ByteCount size = inMemory ? 0 : fileSizeAt(path).value_or(0);
  ZK_ASSIGN_OR_RETURN(auto database, SqliteDatabase::open(path));
  if (size > 0 && size <= kQuickCheckLimit) ZK_TRY(quickCheck(*database));
  ZK_ASSIGN_OR_RETURN(const std::int64_t version, database->userVersion());
  ZK_TRY(checkCompatibility(*database, model, version, path));
  // Members are about a kilobyte each: larger pages hold more of them, with less tree to keep.
  // The size can only be chosen before the first table exists.
  if (version == 0) ZK_TRY(database->execute("PRAGMA page_size = 16384"));
  if (!inMemory) {
    // Write-ahead logging: a write that is cut off leaves the last committed state readable.
    ZK_TRY(database->execute("PRAGMA journal_mode = WAL"));
    ZK_TRY(database->execute("PRAGMA synchronous = NORMAL"));
  }
  ZK_TRY(database->execute("PRAGMA foreign_keys = ON"));
  if (version < model.version()) {
    if (version > 0 && !options.migratePersistentStoresAutomatically) {
      return storeError(fmt::format("The store has version {} and needs migrating to {}.", version,
                                    model.version()),
                        path);
    }
    ZK_TRY(migrate(*database, model, version));
    if (version > 0) {
      Logger::shared().log(
          "OVPersistentStoreSpecification", "buildPersistentStore()",
          fmt::format("Migrated the store from version {} to {}", version, model.version()),
          LogContext::at(path));
    }
  }
  return database;
}

std::string timestamp() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  ::localtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &parts);
  return text;
}

// Whether the store's write-ahead log would lose committed writes when SQLite replays it. A log
// being appended to by another process can look broken at one instant; a second look tells.
Result<bool> hasDamagedLog(const std::string& path) {
  const std::string log = path + "-wal";
  ZK_ASSIGN_OR_RETURN(auto state, checkWriteAheadLog(log));
  if (state != WriteAheadLogState::damaged) return false;
  ZK_ASSIGN_OR_RETURN(state, checkWriteAheadLog(log));
  return state == WriteAheadLogState::damaged;
}

Error damagedLogError(const std::string& path) {
  return storeError(
      "The store's write-ahead log is damaged: writes recorded in it cannot be replayed.",
      path + "-wal");
}

}  // namespace

Result<std::string> moveStoreAside(const std::string& path) {
  std::string target = path + ".damaged-" + timestamp();
  for (int attempt = 2; pathExists(target); ++attempt) {
    target = fmt::format("{}.damaged-{}-{}", path, timestamp(), attempt);
  }
  ZK_TRY(renameFile(path, target));
  for (const char* suffix : {"-wal", "-shm"}) {
    const std::string companion = path + suffix;
    if (pathExists(companion)) (void)renameFile(companion, target + suffix);
  }
  return target;
}

OVPersistentStoreSpecification OVPersistentStoreSpecification::ramPersistentStore(
    const ManagedObjectModel& model, PersistentStoreOptions options) {
  return OVPersistentStoreSpecification(model, std::nullopt, options);
}

OVPersistentStoreSpecification OVPersistentStoreSpecification::diskPersistentStore(
    const ManagedObjectModel& model, std::string url, PersistentStoreOptions options) {
  return OVPersistentStoreSpecification(model, std::move(url), options);
}

Result<std::shared_ptr<PersistentStore>> OVPersistentStoreSpecification::buildPersistentStore()
    const {
  const std::string path = url_.value_or(":memory:");
  const bool existed = url_ && pathExists(path);
  // Checked before SQLite opens the store: opening replays what it can of the log and folds it
  // in, and the damage could no longer be seen.
  bool logDamaged = false;
  if (existed) {
    ZK_ASSIGN_OR_RETURN(logDamaged, hasDamagedLog(path));
  }
  if (logDamaged && !options_.moveDamagedStoreAside) return damagedLogError(path);
  auto opened = logDamaged ? Result<std::unique_ptr<SqliteDatabase>>(damagedLogError(path))
                           : openStore(path, *model_, options_);
  if (opened.hasValue()) {
    return std::make_shared<PersistentStore>(std::move(opened).value(), *model_, !existed,
                                             std::nullopt);
  }
  if (!url_ || !existed || !options_.moveDamagedStoreAside ||
      (!logDamaged && !SqliteDatabase::isCorruption(opened.error()))) {
    return opened.error();
  }
  ZK_ASSIGN_OR_RETURN(std::string movedTo, moveStoreAside(path));
  LogContext context = LogContext::at(path);
  context.underlyingError = opened.error().oneLine();
  Logger::shared().log(
      "OVPersistentStoreSpecification", "buildPersistentStore()",
      "The store is damaged; moved it aside to " + movedTo + " and started a new one", context);
  ZK_ASSIGN_OR_RETURN(auto fresh, openStore(path, *model_, options_));
  return std::make_shared<PersistentStore>(std::move(fresh), *model_, true, std::move(movedTo));
}

Result<void> OVPersistentStoreSpecification::removePersistentStore() const {
  if (!url_) return success();
  for (const char* suffix : {"", "-wal", "-shm"}) {
    ZK_TRY(removeFileIfPresent(*url_ + suffix));
  }
  return success();
}

}  // namespace zarnik
