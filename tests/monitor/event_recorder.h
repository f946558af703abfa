// EventRecorder: an observer of the file watcher that keeps what it is told and lets a test wait,
// with a generous timeout, until an expected event has come.
#pragma once

#include "monitor/file_system_monitor.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace zarnik::testing {

class EventRecorder final : public FileSystemEventObserver {
 public:
  void fileSystemEvent(std::uint64_t identifier, const std::string& path,
                       FileSystemChange change) override {
    {
      std::lock_guard lock(mutex_);
      events_.push_back({identifier, path, change});
    }
    changed_.notify_all();
  }

  // True once an event for `path` containing `change` has come (false after ten seconds).
  bool waitFor(const std::string& path, FileSystemChange change) {
    return waitUntil([&](const std::vector<FileSystemEvent>& events) {
      for (const auto& event : events) {
        if (event.path == path && event.change.contains(change)) return true;
      }
      return false;
    });
  }
  bool waitUntil(const std::function<bool(const std::vector<FileSystemEvent>&)>& done) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return done(events_); });
  }
  [[nodiscard]] bool has(const std::string& path, FileSystemChange change) {
    std::lock_guard lock(mutex_);
    for (const auto& event : events_) {
      if (event.path == path && event.change.contains(change)) return true;
    }
    return false;
  }
  [[nodiscard]] std::vector<FileSystemEvent> events() {
    std::lock_guard lock(mutex_);
    return events_;
  }
  void clear() {
    std::lock_guard lock(mutex_);
    events_.clear();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<FileSystemEvent> events_;
};

}  // namespace zarnik::testing
