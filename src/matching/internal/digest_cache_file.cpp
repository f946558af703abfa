#include "matching/internal/digest_cache_file.h"

#include "matching/internal/digest_cache_codec.h"

#include <fmt/format.h>

#include <algorithm>
#include <utility>

namespace zarnik::digest_cache {
namespace {

// Compared with what the file holds, text for text: a file with other tables is not a cache.
constexpr std::string_view kCreateEntries =
    "CREATE TABLE entries (device INTEGER NOT NULL, inode INTEGER NOT NULL, size INTEGER NOT NULL, "
    "modified INTEGER NOT NULL, changed INTEGER NOT NULL, last_used INTEGER NOT NULL, "
    "prefix_hash INTEGER, sampled_digest BLOB, audio_digest BLOB, picture_info BLOB, "
    "picture_hashes BLOB, PRIMARY KEY (device, inode)) WITHOUT ROWID";
constexpr std::string_view kCreateCounts =
    "CREATE TABLE counts (name TEXT NOT NULL PRIMARY KEY, value INTEGER NOT NULL) WITHOUT ROWID";

// Readers map the file instead of copying its pages into each connection's page cache: lookups in
// random order cost 2.2 µs instead of 4.7 (bench/digest_cache_bench). Only address space is
// reserved. The file never shrinks (nothing vacuums it), so no mapped page vanishes under a reader.
constexpr std::string_view kMapFile = "PRAGMA mmap_size = 1073741824";

constexpr std::string_view kSelect =
    "SELECT size, modified, changed, last_used, prefix_hash, sampled_digest, audio_digest, "
    "picture_info, picture_hashes FROM entries WHERE device = ?1 AND inode = ?2";
constexpr std::string_view kInsert =
    "INSERT INTO entries (device, inode, size, modified, changed, last_used, prefix_hash, "
    "sampled_digest, audio_digest, picture_info, picture_hashes) "
    "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11) ON CONFLICT DO NOTHING";
// Within one state of a file the new values join the known ones; an entry of another state is
// replaced. Every expression of SET reads the row as it was before the update.
constexpr std::string_view kSameState = "size = ?3 AND modified = ?4 AND changed = ?5";
constexpr std::string_view kTouch =
    "UPDATE entries SET last_used = ?6 "
    "WHERE device = ?1 AND inode = ?2 AND size = ?3 AND modified = ?4 AND changed = ?5";
constexpr std::string_view kReadCount = "SELECT value FROM counts WHERE name = 'entries'";
constexpr std::string_view kWriteCount = "UPDATE counts SET value = ?1 WHERE name = 'entries'";
constexpr std::string_view kPrune =
    "DELETE FROM entries WHERE (device, inode) IN "
    "(SELECT device, inode FROM entries ORDER BY last_used LIMIT ?1)";

std::string mergeStatement() {
  std::string sql = "UPDATE entries SET ";
  const std::pair<std::string_view, int> values[] = {{"prefix_hash", 7},
                                                     {"sampled_digest", 8},
                                                     {"audio_digest", 9},
                                                     {"picture_info", 10},
                                                     {"picture_hashes", 11}};
  for (const auto& [column, parameter] : values) {
    sql += fmt::format("{0} = CASE WHEN {1} THEN coalesce(?{2}, {0}) ELSE ?{2} END, ", column,
                       kSameState, parameter);
  }
  return sql +
         "size = ?3, modified = ?4, changed = ?5, last_used = ?6 WHERE device = ?1 AND inode = ?2";
}

Error damage(int code, std::string description, const std::string& path) {
  Error error;
  error.domain = std::string(kErrorDomain);
  error.code = code;
  error.description = std::move(description);
  error.path = path;
  return error;
}

std::int64_t asStored(std::uint64_t value) { return static_cast<std::int64_t>(value); }
std::int64_t nanoseconds(Date date) { return date.time_since_epoch().count(); }
Date dateOf(std::int64_t nanoseconds) { return Date(std::chrono::nanoseconds(nanoseconds)); }

void bindKey(SqliteStatement& statement, const DigestCacheKey& key) {
  statement.bind(1, asStored(key.file.device)).bind(2, asStored(key.file.inode));
  statement.bind(3, std::int64_t{key.size});
  statement.bind(4, nanoseconds(key.modified)).bind(5, nanoseconds(key.changed));
}

void bindBlobOrNull(SqliteStatement& statement, int index,
                    const std::optional<std::string>& bytes) {
  if (bytes) {
    statement.bindBlob(index, *bytes);
  } else {
    statement.bindNull(index);
  }
}

void bindValues(SqliteStatement& statement, const DigestCacheValues& values) {
  if (values.contentPrefixHash) {
    statement.bind(7, asStored(*values.contentPrefixHash));
  } else {
    statement.bindNull(7);
  }
  const auto digest = [](const std::optional<ExactFileHash>& hash) {
    return hash ? std::optional(encodeDigest(*hash)) : std::nullopt;
  };
  bindBlobOrNull(statement, 8, digest(values.sampledDigest));
  bindBlobOrNull(statement, 9, digest(values.audioDigest));
  const auto& picture = values.picture;
  bindBlobOrNull(statement, 10,
                 picture ? std::optional(encodePictureInfo(picture->facts.info)) : std::nullopt);
  bindBlobOrNull(statement, 11,
                 picture && picture->hashesIncluded
                     ? std::optional(encodePerceptualHashes(picture->facts.hashes))
                     : std::nullopt);
}

// Columns from 4 on, as kSelect reads them. Values of the wrong shape stay unknown.
DigestCacheValues readValues(const SqliteStatement& row) {
  DigestCacheValues values;
  if (!row.isNull(4)) values.contentPrefixHash = static_cast<std::uint64_t>(row.integer(4));
  if (!row.isNull(5)) values.sampledDigest = decodeDigest(row.text(5));
  if (!row.isNull(6)) values.audioDigest = decodeDigest(row.text(6));
  if (row.isNull(7)) return values;
  auto info = decodePictureInfo(row.text(7));
  if (!info) return values;
  auto picture = std::make_shared<CachedPictureFacts>();
  picture->facts.info = std::move(*info);
  if (!row.isNull(8)) {
    auto hashes = decodePerceptualHashes(row.text(8));
    picture->hashesIncluded = hashes.has_value();
    if (hashes) picture->facts.hashes = std::move(*hashes);
  }
  values.picture = std::move(picture);
  return values;
}

Result<std::vector<std::pair<std::string, std::string>>> tablesOf(SqliteDatabase& database) {
  ZK_ASSIGN_OR_RETURN(auto statement,
                      database.prepare("SELECT name, sql FROM sqlite_master ORDER BY name"));
  std::vector<std::pair<std::string, std::string>> tables;
  for (;;) {
    ZK_ASSIGN_OR_RETURN(const bool row, statement.step());
    if (!row) return tables;
    tables.emplace_back(statement.text(0), statement.text(1));
  }
}

Result<std::optional<std::int64_t>> storedCount(SqliteDatabase& database) {
  ZK_ASSIGN_OR_RETURN(auto statement, database.prepare(kReadCount));
  ZK_ASSIGN_OR_RETURN(const bool row, statement.step());
  if (!row) return std::optional<std::int64_t>();
  return std::optional<std::int64_t>(statement.integer(0));
}

// Makes the tables in a file that has none; another scan may have made them meanwhile.
Result<void> createTablesIfEmpty(SqliteDatabase& database) {
  ZK_ASSIGN_OR_RETURN(auto transaction, SqliteTransaction::begin(database));
  ZK_ASSIGN_OR_RETURN(const std::int64_t version, database.userVersion());
  ZK_ASSIGN_OR_RETURN(const auto tables, tablesOf(database));
  if (version != 0 || !tables.empty()) return success();
  ZK_TRY(database.execute(kCreateEntries));
  ZK_TRY(database.execute(kCreateCounts));
  ZK_TRY(database.execute("INSERT INTO counts (name, value) VALUES ('entries', 0)"));
  ZK_TRY(database.setUserVersion(kFormatVersion));
  return transaction.commit();
}

Result<void> checkFormat(SqliteDatabase& database) {
  const std::string& path = database.path();
  ZK_ASSIGN_OR_RETURN(const std::int64_t version, database.userVersion());
  if (version > kFormatVersion) {
    return damage(
        kNewerFormat,
        fmt::format("The digest cache was written by a newer version of Zarnik (format {}, this "
                    "version reads {}).",
                    version, kFormatVersion),
        path);
  }
  if (version != kFormatVersion) return damage(kDamaged, "The file is not a digest cache.", path);
  ZK_ASSIGN_OR_RETURN(const auto tables, tablesOf(database));
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"counts", std::string(kCreateCounts)}, {"entries", std::string(kCreateEntries)}};
  if (tables != expected)
    return damage(kDamaged, "The digest cache's tables are not the expected ones.", path);
  ZK_ASSIGN_OR_RETURN(const auto count, storedCount(database));
  if (!count || *count < 0)
    return damage(kDamaged, "The digest cache's count of entries is missing.", path);
  return success();
}

Result<std::unique_ptr<SqliteDatabase>> openConnection(const std::string& path,
                                                       std::chrono::milliseconds busyTimeout) {
  ZK_ASSIGN_OR_RETURN(auto database, SqliteDatabase::open(path));
  ZK_TRY(database->execute(fmt::format("PRAGMA busy_timeout = {}", busyTimeout.count())));
  return database;
}

}  // namespace

bool isDamage(const Error& error) {
  return error.domain == kErrorDomain || SqliteDatabase::isCorruption(error);
}

// --- reading

Result<std::unique_ptr<CacheReader>> CacheReader::open(const std::string& path,
                                                       std::chrono::milliseconds busyTimeout) {
  ZK_ASSIGN_OR_RETURN(auto database, openConnection(path, busyTimeout));
  ZK_TRY(database->execute(kMapFile));
  ZK_ASSIGN_OR_RETURN(auto begin, database->prepare("BEGIN"));
  ZK_ASSIGN_OR_RETURN(auto select, database->prepare(kSelect));
  ZK_ASSIGN_OR_RETURN(auto end, database->prepare("COMMIT"));
  return std::unique_ptr<CacheReader>(
      new CacheReader(std::move(database), std::move(begin), std::move(select), std::move(end)));
}

Result<std::vector<std::optional<StoredEntry>>> CacheReader::read(
    std::span<const DigestCacheKey> keys) {
  std::vector<std::optional<StoredEntry>> entries(keys.size());
  // One read transaction for the batch: each statement outside one takes and drops the shared
  // lock of the write-ahead log on its own.
  ZK_TRY(begin_.run());
  for (size_t i = 0; i < keys.size(); ++i) {
    const FileId file = keys[i].file;
    select_.bind(1, asStored(file.device)).bind(2, asStored(file.inode));
    auto row = select_.step();
    if (row.hasValue() && row.value()) {
      StoredEntry entry;
      entry.key = {file, select_.integer(0), dateOf(select_.integer(1)),
                   dateOf(select_.integer(2))};
      entry.lastUsedDay = select_.integer(3);
      entry.values = readValues(select_);
      entries[i] = std::move(entry);
    }
    select_.reset();
    if (row.hasError()) {
      (void)database_->execute("ROLLBACK");
      return row.error();
    }
  }
  ZK_TRY(end_.run());
  return entries;
}

// --- writing

struct CacheWriter::Statements {
  SqliteStatement insert;
  SqliteStatement merge;
  SqliteStatement touch;
  SqliteStatement readCount;
  SqliteStatement writeCount;
  SqliteStatement prune;

  static Result<std::unique_ptr<Statements>> prepare(const SqliteDatabase& database) {
    ZK_ASSIGN_OR_RETURN(auto insert, database.prepare(kInsert));
    ZK_ASSIGN_OR_RETURN(auto merge, database.prepare(mergeStatement()));
    ZK_ASSIGN_OR_RETURN(auto touch, database.prepare(kTouch));
    ZK_ASSIGN_OR_RETURN(auto readCount, database.prepare(kReadCount));
    ZK_ASSIGN_OR_RETURN(auto writeCount, database.prepare(kWriteCount));
    ZK_ASSIGN_OR_RETURN(auto prune, database.prepare(kPrune));
    return std::make_unique<Statements>(Statements{std::move(insert), std::move(merge),
                                                   std::move(touch), std::move(readCount),
                                                   std::move(writeCount), std::move(prune)});
  }
};

CacheWriter::CacheWriter(std::unique_ptr<SqliteDatabase> database,
                         std::unique_ptr<Statements> statements, std::int64_t maximumEntries)
    : database_(std::move(database)),
      statements_(std::move(statements)),
      maximumEntries_(maximumEntries) {}

CacheWriter::~CacheWriter() {
  statements_.reset();  // before the connection they belong to
}

Result<std::unique_ptr<CacheWriter>> CacheWriter::open(const std::string& path,
                                                       std::chrono::milliseconds busyTimeout,
                                                       std::int64_t maximumEntries) {
  ZK_ASSIGN_OR_RETURN(auto database, openConnection(path, busyTimeout));
  // The first statement reads the file's header: a file that is no database fails here.
  ZK_TRY(database->execute("PRAGMA journal_mode = WAL"));
  // Committed writes may be lost to a power cut, never left half done: enough for a cache.
  ZK_TRY(database->execute("PRAGMA synchronous = NORMAL"));
  ZK_ASSIGN_OR_RETURN(const std::int64_t version, database->userVersion());
  if (version == 0) ZK_TRY(createTablesIfEmpty(*database));
  ZK_TRY(checkFormat(*database));
  ZK_ASSIGN_OR_RETURN(auto statements, Statements::prepare(*database));
  return std::unique_ptr<CacheWriter>(
      new CacheWriter(std::move(database), std::move(statements), maximumEntries));
}

Result<std::int64_t> CacheWriter::entryCount() {
  SqliteStatement& statement = statements_->readCount;
  auto row = statement.step();
  const std::int64_t count = row.hasValue() && row.value() ? statement.integer(0) : 0;
  statement.reset();
  if (row.hasError()) return row.error();
  if (!row.value())
    return damage(kDamaged, "The digest cache's count of entries is missing.", database_->path());
  return count;
}

Result<WriteOutcome> CacheWriter::write(const std::vector<DigestCacheRecord>& records,
                                        std::int64_t day) {
  // In key order, neighbouring entries are written to the same pages one after the other.
  // Pointers are sorted: a record is 460 bytes, and moving them cost a microsecond a record.
  std::vector<const DigestCacheRecord*> ordered(records.size());
  std::transform(records.begin(), records.end(), ordered.begin(),
                 [](const auto& record) { return &record; });
  std::sort(ordered.begin(), ordered.end(),
            [](const auto* a, const auto* b) { return a->key.file < b->key.file; });
  ZK_ASSIGN_OR_RETURN(auto transaction, SqliteTransaction::begin(*database_));
  std::int64_t added = 0;
  for (const DigestCacheRecord* record : ordered) ZK_TRY(writeRecord(*record, day, added));
  ZK_ASSIGN_OR_RETURN(const std::int64_t counted, entryCount());
  WriteOutcome outcome{counted + added, 0};
  if (outcome.entries > maximumEntries_) {
    ZK_ASSIGN_OR_RETURN(outcome.pruned, prune(outcome.entries));
    outcome.entries -= outcome.pruned;
  }
  if (added != 0 || outcome.pruned != 0) {
    ZK_TRY(statements_->writeCount.bind(1, outcome.entries).run());
  }
  ZK_TRY(transaction.commit());
  return outcome;
}

Result<void> CacheWriter::writeRecord(const DigestCacheRecord& record, std::int64_t day,
                                      std::int64_t& added) {
  if (record.touchOnly) {
    SqliteStatement& touch = statements_->touch;
    bindKey(touch, record.key);
    return touch.bind(6, day).run();
  }
  SqliteStatement& insert = statements_->insert;
  bindKey(insert, record.key);
  insert.bind(6, day);
  bindValues(insert, record.values);
  ZK_TRY(insert.run());
  if (database_->changes() > 0) {
    ++added;
    return success();
  }
  SqliteStatement& merge = statements_->merge;
  bindKey(merge, record.key);
  merge.bind(6, day);
  bindValues(merge, record.values);
  return merge.run();
}

Result<std::int64_t> CacheWriter::prune(std::int64_t count) {
  // Down to nine tenths of the maximum, so that a full cache is not pruned at every write.
  const std::int64_t target = maximumEntries_ - maximumEntries_ / 10;
  ZK_TRY(statements_->prune.bind(1, count - target).run());
  return std::int64_t{database_->changes()};
}

}  // namespace zarnik::digest_cache
