// The SQLite file behind DigestCache: its schema and format version, the checks made when it is
// opened, and the connections that read and write its entries.
//
// One table, `entries`, without row identifiers and keyed by (device, inode), holds the key
// fields, the day the entry was last used (days since 1970) and one column per value (NULL while
// unknown); a second table, `counts`, holds the number of entries, kept by every write so that
// the bound is checked without counting a million rows (50 ms). The format version is
// `PRAGMA user_version`.
//
// A connection is used by one thread at a time: readers are handed out by DigestCache, the
// writer lives on the cache's write queue.
#pragma once

#include "base/result.h"
#include "matching/digest_cache_values.h"
#include "platform/sqlite_database.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zarnik::digest_cache {

inline constexpr std::int64_t kFormatVersion = 1;

// The cache's own errors. With SQLite's corruption errors, `damaged` and `newerFormat` mean
// that the file must be replaced, not used.
inline constexpr std::string_view kErrorDomain = "DigestCache";
inline constexpr int kDamaged = 1;
inline constexpr int kNewerFormat = 2;
[[nodiscard]] bool isDamage(const Error& error);

// An entry as stored: its key, the day it was last used and its values.
struct StoredEntry {
  DigestCacheKey key;
  std::int64_t lastUsedDay = 0;
  DigestCacheValues values;
};

class CacheReader {
 public:
  static Result<std::unique_ptr<CacheReader>> open(const std::string& path,
                                                   std::chrono::milliseconds busyTimeout);

  // The stored entries of the keys' files (whatever their key fields), one per key, absent
  // where none is stored, read in one transaction.
  Result<std::vector<std::optional<StoredEntry>>> read(std::span<const DigestCacheKey> keys);

 private:
  CacheReader(std::unique_ptr<SqliteDatabase> database, SqliteStatement begin,
              SqliteStatement select, SqliteStatement end)
      : database_(std::move(database)),
        begin_(std::move(begin)),
        select_(std::move(select)),
        end_(std::move(end)) {}

  std::unique_ptr<SqliteDatabase> database_;
  SqliteStatement begin_;
  SqliteStatement select_;
  SqliteStatement end_;
};

struct WriteOutcome {
  std::int64_t entries = 0;  // in the cache after the write
  std::int64_t pruned = 0;   // least recently used entries removed by it
};

class CacheWriter {
 public:
  // Opens the file and makes it ready: an empty file gets the tables, a file of this format is
  // checked (its header, format version, tables and entry count). Fails with a damage error
  // (isDamage) for a file that must be replaced.
  static Result<std::unique_ptr<CacheWriter>> open(const std::string& path,
                                                   std::chrono::milliseconds busyTimeout,
                                                   std::int64_t maximumEntries);
  ~CacheWriter();

  // Writes the records in one transaction stamped with `day`, then removes the least recently
  // used entries when there are more than the maximum, down to nine tenths of it.
  Result<WriteOutcome> write(const std::vector<DigestCacheRecord>& records, std::int64_t day);
  Result<std::int64_t> entryCount();

 private:
  struct Statements;
  CacheWriter(std::unique_ptr<SqliteDatabase> database, std::unique_ptr<Statements> statements,
              std::int64_t maximumEntries);
  Result<void> writeRecord(const DigestCacheRecord& record, std::int64_t day, std::int64_t& added);
  Result<std::int64_t> prune(std::int64_t count);

  std::unique_ptr<SqliteDatabase> database_;
  std::unique_ptr<Statements> statements_;
  const std::int64_t maximumEntries_;
};

}  // namespace zarnik::digest_cache
