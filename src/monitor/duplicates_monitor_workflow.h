// DuplicatesMonitorWorkflow: the monitor's states and the way from a change on disk to a rescan.
//
// Requests to look at a path again gather for two seconds of quiet (each new one moves the
// rescan on), so that a burst of changes is one rescan; a path asked for twice is rescanned once,
// with its sub-tree when any request wanted it. A path that no longer qualifies (gone, hidden,
// outside the watched folders) is forgotten after the same delay. While paused or scanning the
// requests wait and are rescanned once the monitor is back to monitoring.
//
// Everything runs on the workflow's serial queue; state() may be read from any thread.
#pragma once

#include "foundation/delayed_work_item.h"
#include "foundation/serial_queue.h"
#include "monitor/duplicates_monitor_scan_service.h"
#include "monitor/rescan_request.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace zarnik {

enum class DuplicatesMonitorState { off, paused, monitoring, scanning };
[[nodiscard]] std::string_view describe(DuplicatesMonitorState state);  // "off", "paused", ...

class DuplicatesMonitorWorkflow : public std::enable_shared_from_this<DuplicatesMonitorWorkflow> {
 public:
  static constexpr double kRescanInterval = 2.0;
  static constexpr double kRemoveInvalidURLsInterval = 2.0;

  struct Options {
    Clock* clock = &Clock::system();
    bool includeHiddenItems = false;
    // Told on the workflow's queue whenever the watched folders change (to watch them).
    std::function<void(const std::vector<std::string>&)> locationsChanged;
    // Told on the workflow's queue whenever the state changes.
    std::function<void(DuplicatesMonitorState)> stateChanged;
  };

  static std::shared_ptr<DuplicatesMonitorWorkflow> make(
      std::shared_ptr<DuplicatesMonitorStateStorage> storage,
      std::shared_ptr<DuplicatesMonitorScanService> scanService, Options options);

  [[nodiscard]] const std::shared_ptr<SerialQueue>& queue() const { return queue_; }
  [[nodiscard]] DuplicatesMonitorState state() const { return state_.load(); }

  // Walks every watched folder, then monitors.
  void start();
  void stop();
  // By the person (`zarnik monitor pause`) or by the machine (on battery, a full scan running):
  // the monitor is paused while either asks for it.
  void setPausedByRequest(bool paused);
  void setCanPerformHeavyActivities(bool can);
  // Makes the watched folders exactly these (added ones are walked, removed ones forgotten).
  void setLocations(const std::vector<std::string>& paths);

  // Change intake, from the watcher (a folder that went takes everything known below it along).
  void requestRescan(RescanTask task);

  // Completes once the requests made so far are rescanned and saved (for tests and `stop`).
  Future<Void> settle();

 private:
  DuplicatesMonitorWorkflow(std::shared_ptr<DuplicatesMonitorStateStorage> storage,
                            std::shared_ptr<DuplicatesMonitorScanService> scanService,
                            Options options);
  void setState(DuplicatesMonitorState state);
  void updatePausedState();
  [[nodiscard]] bool qualifies(const std::string& path) const;
  void scheduleRescan();
  void scheduleInvalidRemoval();
  void runRescan();
  [[nodiscard]] bool isPaused() const;
  // Walks the folders now, or once the monitor is resumed when it is paused.
  void walkWhenAllowed(std::vector<MonitoredLocationInfo> locations);
  void runScans(std::vector<MonitoredLocationInfo> locations);
  void walkNext(std::vector<MonitoredLocationInfo> locations, std::vector<std::string> walked);
  void afterScanning();

  std::shared_ptr<DuplicatesMonitorStateStorage> storage_;
  std::shared_ptr<DuplicatesMonitorScanService> scanService_;
  Options options_;
  std::shared_ptr<SerialQueue> queue_;
  std::atomic<DuplicatesMonitorState> state_{DuplicatesMonitorState::off};

  // On queue_.
  bool pausedByRequest_ = false;
  bool canPerformHeavyActivities_ = true;
  bool running_ = false;
  std::map<std::string, bool> rescanTasks_;          // path → with its sub-tree
  std::vector<MonitoredLocationInfo> walksWaiting_;  // first walks held back while paused
  std::set<std::string> invalidURLs_;
  std::shared_ptr<DelayedWorkItem> rescanWorkItem_;
  std::shared_ptr<DelayedWorkItem> removeInvalidURLsWorkItem_;
  std::vector<Promise<Void>> settleWaiters_;
};

}  // namespace zarnik
