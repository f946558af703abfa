// How far a scan's reading of file contents has come: the files and bytes announced so far,
// those done, and the file being read now. Hashing workers, picture decoding and whole-content
// comparison bump it from any thread; the task folds a snapshot into each status it publishes.
#pragma once

#include "base/units.h"

#include <atomic>
#include <chrono>
#include <concepts>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace zarnik {

struct ContentProgressSnapshot {
  std::int64_t filesToRead = 0;
  std::int64_t filesRead = 0;
  ByteCount bytesToRead = 0;
  ByteCount bytesRead = 0;
  // The file a worker started on last, while any is at work; nothing when all are idle.
  std::optional<std::string> readingNow;
};

class ContentProgress {
 public:
  // Work that will come: `files` files whose reading takes `bytes` bytes.
  void announce(std::int64_t files, ByteCount bytes);
  // A worker starts on a file, reading up to `bytes` of it; each begin is followed by one end.
  // `pathOf()` names the file and is called only when the name shown is due for a change, or
  // for a read long enough to be watched: building a path costs more than reading most small
  // files, and a person reads a name every few tenths of a second at best. A short read may so
  // show the file read before it, for as long as it lasts.
  template <std::invocable PathOf>
  void begin(PathOf&& pathOf, ByteCount bytes) {
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(mutex_);
    ++workersReading_;
    if (readingNow_.empty() || bytes >= kWatchedRead || now - named_ >= kNameShownAtLeast) {
      readingNow_ = pathOf();
      named_ = now;
    }
  }
  void begin(const std::string& path, ByteCount bytes = 0) {
    begin([&path] { return path; }, bytes);
  }
  // Bytes read of a file in hand, for reads long enough to be worth showing as they go.
  void advance(ByteCount bytes) { bytesRead_.fetch_add(bytes, std::memory_order_relaxed); }
  // A worker is done with a file: `files` more done, and whatever of `bytes` was not advanced
  // yet (a file left early, cancelled or found different, still counts as done).
  void end(std::int64_t files, ByteCount bytesNotAdvanced);
  // Announced work that is left undone (the scan was stopped): counted as done, no worker.
  void skip(std::int64_t files, ByteCount bytes);
  [[nodiscard]] ContentProgressSnapshot snapshot() const;

 private:
  std::atomic<std::int64_t> filesToRead_{0};
  std::atomic<std::int64_t> filesRead_{0};
  std::atomic<ByteCount> bytesToRead_{0};
  std::atomic<ByteCount> bytesRead_{0};
  mutable std::mutex mutex_;
  int workersReading_ = 0;                       // under mutex_
  std::string readingNow_;                       // under mutex_
  std::chrono::steady_clock::time_point named_;  // under mutex_: when readingNow_ was set
  static constexpr std::chrono::milliseconds kNameShownAtLeast{50};
  static constexpr ByteCount kWatchedRead = ByteCount{1} << 20;
};

}  // namespace zarnik
