#include "store/persistent_store.h"

#include "base/path_components.h"
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

// Stores up to this size are checked page by page when opened (about 10 ms for 10 MB); larger
// ones are caught when a damaged page is read.
constexpr ByteCount kQuickCheckLimit = 32 << 20;

// Writes not yet folded into the file, or left by a session that was cut off (either journal mode).
bool hasJournal(const std::string& path) {
  return pathExists(path + "-wal") || pathExists(path + "-journal");
}

// Beside a store: the state its file had when this program last closed it, with nothing left in
// its write-ahead log.
std::string closedStatePath(const std::string& path) {
  return path + std::string(SqliteDatabase::kClosedStateSuffix);
}

std::string stateText(const FileState& state) {
  return fmt::format("{} {} {} {} {}\n", state.identity.device, state.identity.inode, state.size,
                     state.modified.time_since_epoch().count(),
                     state.changed.time_since_epoch().count());
}

// Whether the file is as this program left it when it closed the store cleanly: SQLite had
// finished every write into it, and nothing has written to it since (any write moves the change
// time, which cannot be set back). Its pages were checked, or made new, when that chain of
// sessions began.
// File times come from a clock that may tick only every few milliseconds: a write in the tick
// of the last one could leave the change time as it was. So the note vouches only when it was
// written in a later tick than that change, as every write after it then is.
bool isAsClosed(const std::string& path) {
  if (hasJournal(path)) return false;
  const auto recorded = readWholeFile(closedStatePath(path), 256);
  const auto now = regularFileStateOf(path);
  if (recorded.hasError() || now.hasError() || recorded.value() != stateText(now.value()))
    return false;
  const auto noted = modificationDateOf(closedStatePath(path));
  return noted.hasValue() && noted.value() > now.value().changed;
}

// SQLite folds the log into the file and removes it when the last connection closes; while
// another is open, the file may still change, and nothing is noted.
void noteClosedState(const std::string& path) {
  if (hasJournal(path)) return;
  const auto state = regularFileStateOf(path);
  if (state.hasError()) return;
  const std::string text = stateText(state.value());
  const std::string_view parts[] = {text};
  (void)writeFileAtomically(closedStatePath(path), parts, Syncing::unsynced);
}

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

// Where the folder cannot hold the log's shared memory (some network file systems) SQLite keeps
// its rollback journal: a write cut off is still undone, but readers then wait for writers. The
// log says so, since the monitor and the window read while a scan writes.
Result<void> useWriteAheadLog(SqliteDatabase& database, const std::string& path) {
  ZK_ASSIGN_OR_RETURN(auto statement, database.prepare("PRAGMA journal_mode = WAL"));
  ZK_ASSIGN_OR_RETURN(const bool row, statement.step());
  const std::string mode = row ? asciiLowercased(statement.text(0)) : std::string();
  if (mode != "wal") {
    Logger::shared().log(
        "OVPersistentStoreSpecification", "buildPersistentStore()",
        fmt::format("The store keeps a rollback journal ({}): its folder does not allow a "
                    "write-ahead log",
                    mode.empty() ? "no journal mode given" : mode),
        LogContext::at(path));
  }
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
                                                  const PersistentStoreOptions& options,
                                                  bool* checkedPages) {
  const bool inMemory = path == ":memory:";
  const ByteCount size = inMemory ? 0 : fileSizeAt(path).value_or(0);
  *checkedPages = size > 0 && size <= kQuickCheckLimit && !isAsClosed(path);
  ZK_ASSIGN_OR_RETURN(auto database, SqliteDatabase::open(path));
  if (*checkedPages) ZK_TRY(quickCheck(*database));
  ZK_ASSIGN_OR_RETURN(const std::int64_t version, database->userVersion());
  ZK_TRY(checkCompatibility(*database, model, version, path));
  // Members are about a kilobyte each: larger pages hold more of them, with less tree to keep.
  // The size can only be chosen before the first table exists.
  if (version == 0) ZK_TRY(database->execute("PRAGMA page_size = 16384"));
  if (!inMemory) {
    // Write-ahead logging: a write that is cut off leaves the last committed state readable.
    ZK_TRY(useWriteAheadLog(*database, path));
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
  for (const std::string_view index : model.indexes) {
    // An index only quickens reads: a store that cannot take one now is used without it.
    if (auto made = database->execute(index); made.hasError()) {
      LogContext context = LogContext::at(path);
      context.underlyingError = made.error().description;
      Logger::shared().log("OVPersistentStoreSpecification", "buildPersistentStore()",
                           "An index could not be added to the store", context);
    }
  }
  // Only a store that opened as sound is vouched for when it closes.
  if (!inMemory) database->afterClosing(noteClosedState);
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
  (void)removeFileIfPresent(closedStatePath(path));
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
  bool checkedPages = false;
  auto opened = logDamaged ? Result<std::unique_ptr<SqliteDatabase>>(damagedLogError(path))
                           : openStore(path, *model_, options_, &checkedPages);
  if (opened.hasValue()) {
    return std::make_shared<PersistentStore>(std::move(opened).value(), *model_, !existed,
                                             std::nullopt, checkedPages);
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
  ZK_ASSIGN_OR_RETURN(auto fresh, openStore(path, *model_, options_, &checkedPages));
  return std::make_shared<PersistentStore>(std::move(fresh), *model_, true, std::move(movedTo),
                                           checkedPages);
}

Result<void> OVPersistentStoreSpecification::removePersistentStore() const {
  if (!url_) return success();
  return SqliteDatabase::removeFiles(*url_);
}

}  // namespace zarnik
