// SmallFileDigestTable: the digest cache's part for files smaller than 64 KiB — the fingerprint
// of their first block and their digest — kept in one file of fixed records that a scan reads
// whole when the cache opens and writes whole, once, when it is flushed. Reading such a file
// costs about what looking up one database row does; a lookup here is a search in memory, keyed
// by what the walk already knows of the file (no system call a file).
//
// An entry is used only while every field of its key matches (device, inode, size,
// modification and change times), as in the rest of the cache.
//
// The file: a header (what it is, its format, the size and number of records, a checksum of
// them) and the records sorted by device and inode, in the machine's byte order. A file that
// is not such a table, is cut short, fails its checksum or is of a newer format is not trusted:
// the table starts empty (one line in the log) and the next save replaces it.
//
// Two scans may share the file: a save takes a lock beside it, reads the table as it is then,
// adds this run's records and marks of use, and replaces the file in one rename. Past
// `maximumEntries` the least recently used entries are left out (down to nine tenths).
//
// Threads: `find` and `record` from any thread at once; `save` from one thread at a time.
#pragma once

#include "base/result.h"
#include "foundation/logger.h"
#include "matching/digest_cache_values.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

namespace zarnik {

class SmallFileDigestTable {
 public:
  // The files the table is for: smaller ones cost less to read again than to look up
  // elsewhere, larger ones are kept with the rest of the cache.
  static constexpr ByteCount kLargestFile = ByteCount{64} * 1024 - 1;
  [[nodiscard]] static bool holds(ByteCount size) { return size > 0 && size <= kLargestFile; }

  // The day (days since 1970) uses are marked with, asked when needed: a monitor runs for days.
  using Today = std::function<std::int64_t()>;
  // Reads the table at `path`; a missing one is empty, an untrusted one too (logged).
  static std::unique_ptr<SmallFileDigestTable> load(std::string path, Today today, Logger& logger);

  struct Known {
    std::optional<std::uint64_t> prefixHash;
    std::optional<ExactFileHash> digest;
  };
  // Whether the table holds no file at all (a first scan: nothing to look up).
  [[nodiscard]] bool isEmpty() const { return size_.load(std::memory_order_acquire) == 0; }
  // What is kept for the key's file while every field of the key matches.
  [[nodiscard]] std::optional<Known> find(const DigestCacheKey& key);
  // Adds what was learnt of the file; kept by the next save.
  void record(const DigestCacheKey& key, const Known& known);

  // Writes the file when this run learnt something or used entries not used today, waiting at
  // most `lockTimeout` for another scan's save. Fails when the lock or the file cannot be had;
  // what was recorded is then lost (it is only a cache).
  Result<void> save(std::int64_t maximumEntries, std::chrono::milliseconds lockTimeout);
  [[nodiscard]] const std::string& path() const { return path_; }

  // The on-disk record, also kept in memory as it is.
  struct Record {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modified = 0;  // nanoseconds since 1970
    std::int64_t changed = 0;
    std::uint64_t prefixHash = 0;
    std::array<std::uint8_t, 20> digest{};
    std::uint32_t lastUsedDay = 0;
    std::uint8_t parts = 0;  // kHasPrefix | kHasDigest
    std::array<std::uint8_t, 7> reserved{};
  };
  static constexpr std::uint8_t kHasPrefix = 1;
  static constexpr std::uint8_t kHasDigest = 2;

  // The records of a table file's bytes, or the reason they are not trusted.
  [[nodiscard]] static Result<std::vector<Record>> decode(std::string_view bytes);
  [[nodiscard]] static std::string encode(const std::vector<Record>& records);
  // The header `encode` puts before the records' bytes.
  [[nodiscard]] static std::string headerOf(const std::vector<Record>& records);

 private:
  SmallFileDigestTable(std::string path, Today today, std::vector<Record> records);

  // The records as loaded or last saved, with a mark per record of its use in this run, and
  // an index of them by file (a search of the sorted records cost a cache miss a step).
  struct Snapshot {
    explicit Snapshot(std::vector<Record> sorted);
    [[nodiscard]] const Record* find(std::uint64_t device, std::uint64_t inode) const;
    std::vector<Record> records;
    std::unique_ptr<std::atomic<bool>[]> used;
    std::vector<std::uint32_t> places;  // record numbers by a hash of the file; kNoRecord empty
  };
  static constexpr std::uint32_t kNoRecord = 0xFFFFFFFFU;

  const std::string path_;
  const Today today_;

  std::shared_mutex snapshotMutex_;  // shared by finds, exclusive to replace the snapshot
  std::unique_ptr<Snapshot> snapshot_;
  std::atomic<size_t> size_{0};          // the snapshot's records, read without its lock
  std::atomic<bool> refreshDue_{false};  // an entry not used today was used

  // Records are added to one of a few lists by the adding thread, so that the scan's workers
  // do not wait on one lock a file; each list grows in chunks of a fixed size (a growing vector
  // copied every record again and again).
  static constexpr size_t kChunk = 4096;
  struct alignas(64) Learnt {
    std::mutex mutex;
    std::vector<std::vector<Record>> chunks;  // under mutex
  };
  std::array<Learnt, 8> learnt_;
  // What was recorded since the last save, in runs sorted by file.
  [[nodiscard]] std::vector<std::vector<Record>> takeLearnt();
};

}  // namespace zarnik
