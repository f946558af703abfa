// FileSystemMonitor: watches folders and everything below them with inotify, one watch per
// folder, and reports each change as a FileSystemEvent.
//
// - Folders are watched as they appear; a folder tree moved or copied in is walked and each of
//   its items reported as created. Watches are dropped as folders go.
// - A move inside the watched trees is reported as `renamed` on the old and on the new path, and
//   the watches follow the folder. A move out counts as a removal, a move in as a creation.
// - When the budget of watches cannot cover every folder at start, the folders watched are the
//   roots and the folders best ranked by AdaptiveMonitorURLSelectorImpl; folders that appear
//   later are watched while watches are left.
// - When the kernel's event queue overflowed, detail is lost: each root is reported once with
//   `scanSubDirs` (and the watches are brought up to date with a walk).
// - A volume unmounted below a root is reported once, `unmounted` on the folder it was mounted on.
// - A root deleted or moved away is reported with `rootChanged` and no longer watched. Symbolic
//   links are never followed, a root replaced by one included.
//
// Threading: every piece of state lives on `monitoringQueue()`, where the inotify descriptor is
// read (through IoEventLoop) and observers are called, one batch of events at a time. The public
// members may be called from any thread; start, stop and the setters wait for the queue.
#pragma once

#include "base/error.h"
#include "foundation/io_event_loop.h"
#include "foundation/serial_queue.h"
#include "monitor/adaptive_monitor_url_selector.h"
#include "monitor/file_system_event.h"
#include "monitor/file_system_monitor_configuration.h"
#include "platform/inotify_watcher.h"

#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace zarnik {

class FileSystemEventObserver {
 public:
  virtual ~FileSystemEventObserver() = default;
  // Once per event, in order, on the monitor's queue.
  virtual void fileSystemEvent(std::uint64_t identifier, const std::string& path,
                               FileSystemChange change) = 0;
};

// How much of the configured trees is watched.
struct FileSystemMonitorStatus {
  std::size_t watchedFolders = 0;
  std::size_t foldersNotWatched = 0;  // could not be watched (unreadable, gone, no watch left)
  bool watchLimitReached = false;  // the watch budget or the user's inotify limit stopped the walk
  long watchBudget = 0;            // folders it may watch at most
  std::optional<Error> firstFailure;
};

class FileSystemMonitor : public std::enable_shared_from_this<FileSystemMonitor> {
 public:
  // "Events from now on": the value of lastEventId() before any event was delivered.
  static constexpr std::uint64_t kEventsSinceNow = std::numeric_limits<std::uint64_t>::max();

  static std::shared_ptr<FileSystemMonitor> make(FileSystemMonitorConfiguration configuration);
  ~FileSystemMonitor();
  FileSystemMonitor(const FileSystemMonitor&) = delete;
  FileSystemMonitor& operator=(const FileSystemMonitor&) = delete;

  [[nodiscard]] FileSystemMonitorConfiguration configuration() const;
  // While running, the watches are dropped and set up again for the new paths.
  void setConfiguration(FileSystemMonitorConfiguration configuration);
  void setMonitoredPaths(std::vector<std::string> paths);

  // Observers are held weakly: one that went away is skipped.
  void add(const std::shared_ptr<FileSystemEventObserver>& observer);
  void remove(const std::shared_ptr<FileSystemEventObserver>& observer);

  // Sets up the watches before returning. An inotify instance that cannot be made leaves the
  // monitor stopped (logged).
  void start();
  void stop();
  [[nodiscard]] bool isRunning() const;
  // The identifier of the last event delivered, kEventsSinceNow before the first.
  [[nodiscard]] std::uint64_t lastEventId() const;
  [[nodiscard]] FileSystemMonitorStatus status() const;
  // The folders watched now, sorted.
  [[nodiscard]] std::vector<std::string> watchedFolderPaths() const;
  // The inotify watches the kernel holds for this monitor (read from /proc; for checks of leaks).
  [[nodiscard]] long kernelWatchCount() const;

  [[nodiscard]] const std::shared_ptr<SerialQueue>& monitoringQueue() const {
    return monitoringQueue_;
  }

  // Handles `events` as if the kernel had queued them (for tests of what no test can make the
  // kernel do on demand, such as a queue overflow).
  void handleInotifyEventsForTesting(std::vector<InotifyEvent> events);

 private:
  explicit FileSystemMonitor(FileSystemMonitorConfiguration configuration);

  struct PendingMove {
    std::string path;
    FileSystemChange kind;
  };
  // The events of one batch of inotify events, in the order they are delivered.
  using Batch = std::vector<FileSystemEvent>;

  // On monitoringQueue_:
  void startOnQueue();
  void stopOnQueue();
  void readAvailableEvents();
  void handle(const std::vector<InotifyEvent>& events, Batch& batch);
  void handleOne(const InotifyEvent& event, Batch& batch);
  void handleQueueOverflow(Batch& batch);
  void handleWatchedFolderGone(const std::string& folder, Batch& batch);
  void handleMovedTo(const std::string& path, FileSystemChange kind, std::uint32_t cookie,
                     Batch& batch);
  void finishUnpairedMoves(Batch& batch);
  void deliver(Batch& batch);

  void watchTree(const std::string& root, Batch* reportContentsAsCreated);
  void watchFoldersMostWorthWatching();
  [[nodiscard]] std::vector<MonitorFolderTally> tallyFoldersBelowRoots() const;
  std::vector<std::map<std::string, int>::iterator> treeEntries(const std::string& folder);
  void forgetTree(const std::string& folder, bool removeFromKernel);
  void moveTree(const std::string& from, const std::string& to);
  void forgetWatch(int watch);
  void recordFailure(const Error& error);
  [[nodiscard]] bool isMountPointOfUnmountedVolume(const std::string& folder) const;
  [[nodiscard]] bool isRoot(const std::string& folder) const;

  const std::shared_ptr<SerialQueue> monitoringQueue_;
  FileSystemMonitorConfiguration configuration_;
  std::optional<InotifyWatcher> inotify_;
  std::optional<IoEventLoop::Token> readinessToken_;
  std::vector<std::string> roots_;
  std::unordered_map<int, std::string> folderOfWatch_;
  std::map<std::string, int> watchOfFolder_;  // ordered: a folder's sub-tree is one range
  std::unordered_map<std::uint32_t, PendingMove> pendingMoves_;  // by cookie
  FileSystemMonitorStatus status_;
  std::uint64_t lastEventId_ = kEventsSinceNow;
  bool running_ = false;

  mutable std::mutex observersMutex_;  // observers are added from any thread
  std::vector<std::weak_ptr<FileSystemEventObserver>> observers_;
};

}  // namespace zarnik
