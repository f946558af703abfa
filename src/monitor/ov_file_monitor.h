// OVFileMonitor: watches single folders for changes of their own entries (not below them), one
// inotify watch each, and calls each folder's handler with what changed.
//
// A folder deleted or moved away is reported, then watched anew from its path: at once when
// something is already there again, else as soon as a folder of that name appears in its parent.
// A folder that cannot be watched when its observation starts stays registered but invalid and
// reports nothing.
//
// Threading: the observations live on the monitor's own serial queue, where the inotify
// descriptor is read; the public members may be called from any thread and wait for the queue.
// Handlers are called asynchronously on the shared pool (Executor::primary()).
#pragma once

#include "foundation/io_event_loop.h"
#include "foundation/serial_queue.h"
#include "monitor/file_system_change.h"
#include "platform/inotify_watcher.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace zarnik {

class OVFileMonitor : public std::enable_shared_from_this<OVFileMonitor> {
 public:
  // Called with the kind of change (created, removed, renamed, modified, inodeMetaModified; for
  // the folder itself going away: removed or renamed with isDirectory and rootChanged).
  using Handler = std::function<void(FileSystemChange)>;
  static constexpr FileSystemChange kAllChanges{0x100 | 0x200 | 0x400 | 0x800 | 0x1000};

  static std::shared_ptr<OVFileMonitor> make();
  ~OVFileMonitor();
  OVFileMonitor(const OVFileMonitor&) = delete;
  OVFileMonitor& operator=(const OVFileMonitor&) = delete;

  // True when a new observation was registered; false when `path` was already observed (the
  // existing observation is kept unchanged). `handler` must not be empty.
  bool startObservation(const std::string& path, Handler handler);
  // Only changes that intersect `changes` are reported.
  bool startObservation(const std::string& path, FileSystemChange changes, Handler handler);
  void stopObservation(const std::string& path);
  void removeAllPaths();

  // False for an unknown path and while the folder cannot be watched.
  [[nodiscard]] bool isObservationValid(const std::string& path) const;
  [[nodiscard]] std::size_t observationCount() const;
  [[nodiscard]] long kernelWatchCount() const;

 private:
  OVFileMonitor();

  struct Observation {
    FileSystemChange changes;
    Handler handler;
    std::optional<int> watch;  // absent while invalid
  };
  // What one kernel watch serves: an observed folder, and folders awaited in it.
  struct WatchUse {
    std::optional<std::string> observedPath;
    std::vector<std::string> awaitedPaths;
  };

  // On queue_:
  bool ensureInotify();
  void setUp(const std::string& path, Observation& observation);
  void awaitReappearance(const std::string& path);
  void release(int watch);
  void readAvailableEvents();
  void handle(const InotifyEvent& event);
  void handleObservedFolderGone(const std::string& path, bool moved);
  void handleEntryAppeared(int watch, const std::string& name);
  void notify(const Observation& observation, FileSystemChange change) const;

  const std::shared_ptr<SerialQueue> queue_;
  std::optional<InotifyWatcher> inotify_;  // made with the first observation
  std::optional<IoEventLoop::Token> readinessToken_;
  std::map<std::string, Observation> observations_;
  std::unordered_map<int, WatchUse> watchUses_;
};

}  // namespace zarnik
