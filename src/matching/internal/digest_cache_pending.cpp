#include "matching/internal/digest_cache_pending.h"

#include <algorithm>
#include <utility>

namespace zarnik::digest_cache {

const DigestCacheRecord* RecordBatch::find(FileId file) const {
  auto found = index.find(file);
  return found != index.end() ? &records[found->second] : nullptr;
}

std::shared_ptr<const RecordBatch> PendingRecords::add(const DigestCacheKey& key,
                                                       const DigestCacheValues& values) {
  std::lock_guard lock(mutex_);
  DigestCacheRecord* record = openRecord(key.file);
  if (record == nullptr) {
    append(DigestCacheRecord{key, values, false});
  } else if (record->key == key) {
    record->values.mergeFrom(values);
    record->touchOnly = false;
  } else {
    *record = DigestCacheRecord{key, values, false};
  }
  return closeIfFull();
}

PendingRecords::Waiting PendingRecords::find(std::span<const DigestCacheKey> keys) const {
  Waiting waiting{std::vector<std::optional<DigestCacheValues>>(keys.size()),
                  std::vector<bool>(keys.size())};
  std::lock_guard lock(mutex_);
  for (size_t i = 0; i < keys.size(); ++i) {
    const DigestCacheKey& key = keys[i];
    waiting.hasRecord[i] = hasRecord(key.file);
    if (!waiting.hasRecord[i]) continue;
    const auto merge = [&key, &found = waiting.values[i]](const DigestCacheRecord* record) {
      if (record == nullptr || record->key != key || record->touchOnly) return;
      if (!found) found.emplace();
      found->mergeFrom(record->values);
    };
    for (const auto& batch : closed_) merge(batch->find(key.file));
    merge(open_.find(key.file));
  }
  return waiting;
}

std::shared_ptr<const RecordBatch> PendingRecords::touch(std::span<const DigestCacheKey> keys) {
  std::lock_guard lock(mutex_);
  for (const DigestCacheKey& key : keys) {
    if (!hasRecord(key.file)) append(DigestCacheRecord{key, {}, true});
  }
  return closeIfFull();
}

std::shared_ptr<const RecordBatch> PendingRecords::close() {
  std::lock_guard lock(mutex_);
  return closeOpenBatch();
}

void PendingRecords::finished(const RecordBatch* batch) {
  std::lock_guard lock(mutex_);
  std::erase_if(closed_, [batch](const auto& closed) { return closed.get() == batch; });
}

DigestCacheRecord* PendingRecords::openRecord(FileId file) {
  auto found = open_.index.find(file);
  return found != open_.index.end() ? &open_.records[found->second] : nullptr;
}

bool PendingRecords::hasRecord(FileId file) const {
  if (open_.index.contains(file)) return true;
  return std::any_of(closed_.begin(), closed_.end(),
                     [file](const auto& batch) { return batch->index.contains(file); });
}

void PendingRecords::append(DigestCacheRecord record) {
  // Room for a whole batch at once: growing the vector copied each record about twice.
  if (open_.records.empty()) {
    const size_t room = std::min<size_t>(batchSize_, 8192);
    open_.records.reserve(room);
    open_.index.reserve(room);
  }
  open_.index.emplace(record.key.file, open_.records.size());
  open_.records.push_back(std::move(record));
}

std::shared_ptr<const RecordBatch> PendingRecords::closeIfFull() {
  return open_.records.size() >= batchSize_ ? closeOpenBatch() : nullptr;
}

std::shared_ptr<const RecordBatch> PendingRecords::closeOpenBatch() {
  auto batch = std::make_shared<const RecordBatch>(std::exchange(open_, {}));
  closed_.push_back(batch);
  return batch;
}

}  // namespace zarnik::digest_cache
