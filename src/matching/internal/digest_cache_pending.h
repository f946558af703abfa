// PendingRecords: what the digest cache was told and has not written yet. Records gather in an
// open batch, one record per file, until the cache hands the batch to its write queue; the
// batch then stays here until it is written, so that lookups find what was recorded all along.
//
// Thread safety: every member may be called from any thread.
#pragma once

#include "matching/digest_cache_values.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

namespace zarnik::digest_cache {

struct RecordBatch {
  std::vector<DigestCacheRecord> records;
  std::unordered_map<FileId, size_t, FileIdHash> index;  // where each file's record is

  [[nodiscard]] const DigestCacheRecord* find(FileId file) const;
};

class PendingRecords {
 public:
  explicit PendingRecords(size_t batchSize) : batchSize_(batchSize) {}

  // Adds `values` to the file's record (replacing a record of another key). Returns the open
  // batch, closed, once it holds `batchSize` records.
  [[nodiscard]] std::shared_ptr<const RecordBatch> add(const DigestCacheKey& key,
                                                       const DigestCacheValues& values);

  // What was recorded for the keys' files and is not written yet, per key: the values of records
  // of the same key merged, oldest first (absent when none), and whether the file has a record
  // at all. A lookup asks here before it reads the file: a batch written meanwhile is then in the
  // file when it reads.
  struct Waiting {
    std::vector<std::optional<DigestCacheValues>> values;
    std::vector<bool> hasRecord;
  };
  [[nodiscard]] Waiting find(std::span<const DigestCacheKey> keys) const;

  // Records the refresh of the entries' last-used day, for files that have no record yet (any
  // record sets the day). Returns the open batch, closed, once it holds `batchSize` records.
  [[nodiscard]] std::shared_ptr<const RecordBatch> touch(std::span<const DigestCacheKey> keys);

  // Closes the open batch, even an empty one, and returns it.
  [[nodiscard]] std::shared_ptr<const RecordBatch> close();
  // Forgets a closed batch once it is written (or dropped).
  void finished(const RecordBatch* batch);

 private:
  DigestCacheRecord* openRecord(FileId file);           // under mutex_
  void append(DigestCacheRecord record);                // under mutex_
  [[nodiscard]] bool hasRecord(FileId file) const;      // under mutex_
  std::shared_ptr<const RecordBatch> closeIfFull();     // under mutex_
  std::shared_ptr<const RecordBatch> closeOpenBatch();  // under mutex_

  const size_t batchSize_;
  mutable std::mutex mutex_;
  RecordBatch open_;
  std::vector<std::shared_ptr<const RecordBatch>> closed_;  // oldest first
};

}  // namespace zarnik::digest_cache
