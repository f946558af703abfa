#include "matching/content_progress.h"

namespace zarnik {

void ContentProgress::announce(std::int64_t files, ByteCount bytes) {
  filesToRead_.fetch_add(files, std::memory_order_relaxed);
  bytesToRead_.fetch_add(bytes, std::memory_order_relaxed);
}

void ContentProgress::end(std::int64_t files, ByteCount bytesNotAdvanced) {
  bytesRead_.fetch_add(bytesNotAdvanced, std::memory_order_relaxed);
  filesRead_.fetch_add(files, std::memory_order_relaxed);
  // An idle scan shows no file (see `snapshot`); the name is kept, so that a worker starting
  // again on a short read within the time a name is shown does not build a path for it.
  std::lock_guard lock(mutex_);
  --workersReading_;
}

void ContentProgress::skip(std::int64_t files, ByteCount bytes) {
  bytesRead_.fetch_add(bytes, std::memory_order_relaxed);
  filesRead_.fetch_add(files, std::memory_order_relaxed);
}

ContentProgressSnapshot ContentProgress::snapshot() const {
  ContentProgressSnapshot snapshot;
  snapshot.filesToRead = filesToRead_.load(std::memory_order_relaxed);
  snapshot.filesRead = filesRead_.load(std::memory_order_relaxed);
  snapshot.bytesToRead = bytesToRead_.load(std::memory_order_relaxed);
  snapshot.bytesRead = bytesRead_.load(std::memory_order_relaxed);
  std::lock_guard lock(mutex_);
  if (workersReading_ > 0) snapshot.readingNow = readingNow_;
  return snapshot;
}

}  // namespace zarnik
