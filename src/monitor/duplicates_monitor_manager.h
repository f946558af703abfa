// DuplicatesMonitorManager: the duplicates monitor put together, as `zarnik monitor run` and the
// desktop application run it: the store, the engine, the workflow, the folder watcher, the
// notifications and the status other commands read.
//
// It follows what the person asks while it runs: the folders and the pause in monitor.json, the
// settings (notifications on or off) in settings.json; both folders are watched. Every 30 seconds
// it checks whether it may do heavy work: not while the machine runs on its battery, nor while a
// full scan runs.
#pragma once

#include "foundation/delayed_work_item.h"
#include "monitor/duplicates_monitor_crash_handler.h"
#include "monitor/duplicates_monitor_notification_manager.h"
#include "monitor/duplicates_monitor_workflow.h"
#include "monitor/file_system_combined_monitor.h"
#include "monitor/monitor_requests.h"
#include "monitor/monitor_status.h"
#include "monitor/ov_file_monitor.h"
#include "preferences/preferences_controller.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zarnik {

struct DuplicatesMonitorManagerSetup {
  std::string storePath;
  std::string requestsPath;
  std::string statusPath;
  // Opens the person's preferences afresh (after they changed on disk); required.
  std::function<std::shared_ptr<PreferencesController>()> openPreferences;
  std::shared_ptr<DuplicatesMonitorCrashHandler>
      crashHandler;                                          // none: store writes are not counted
  std::shared_ptr<DesktopNotificationSender> notifications;  // none: nothing is shown
  std::vector<std::string> reviewCommand;
  std::shared_ptr<DigestCache> cache;
  // Where the session lock of a full scan lies, to pause while one runs; empty: never.
  std::string fullScanLockPath;
  std::string powerSupplyFolder = "/sys/class/power_supply";
  Clock* clock = &Clock::system();

  // The standard places of the person's monitor.
  static DuplicatesMonitorManagerSetup standard();
};

class DuplicatesMonitorManager : public std::enable_shared_from_this<DuplicatesMonitorManager> {
 public:
  static constexpr double kHeavyActivityCheckInterval = 30.0;
  static constexpr double kStatusWriteDelay = 0.5;

  static Result<std::shared_ptr<DuplicatesMonitorManager>> make(
      DuplicatesMonitorManagerSetup setup);

  // Watches and walks the requested folders; `extraLocations` are added to them first.
  Result<void> start(const std::vector<std::string>& extraLocations = {});
  // Stops watching, saves what changed and writes the status one last time.
  void stop();

  [[nodiscard]] const std::shared_ptr<DuplicatesMonitorWorkflow>& workflow() const {
    return workflow_;
  }
  [[nodiscard]] const std::shared_ptr<DuplicatesMonitorStateStorage>& storage() const {
    return storage_;
  }
  [[nodiscard]] MonitorStatus status() const;
  // Reads monitor.json and settings.json again (also done whenever their folder changes).
  void followRequests();
  // One line for the person, shown by `zarnik monitor status` (e.g. that the store was reset).
  void setNotice(std::optional<std::string> notice);

 private:
  class Observer;
  class NotificationSettings;
  explicit DuplicatesMonitorManager(DuplicatesMonitorManagerSetup setup);
  Result<void> setUp();
  void watch(const std::vector<std::string>& locations);
  [[nodiscard]] bool canPerformHeavyActivitiesNow() const;
  void checkHeavyActivities();
  void markReviewed(const MonitorRequests& requests);
  void ignoreCopies(const MonitorRequests& requests);
  void scheduleStatusWrite();
  void writeStatus();

  DuplicatesMonitorManagerSetup setup_;
  std::shared_ptr<SerialQueue> queue_;
  std::shared_ptr<PreferencesController> preferences_;
  std::shared_ptr<NotificationSettings> notificationSettings_;
  std::shared_ptr<DuplicatesMonitorStateStorage> storage_;
  std::shared_ptr<DuplicatesMonitorScanService> scanService_;
  std::shared_ptr<DuplicatesMonitorWorkflow> workflow_;
  std::shared_ptr<DuplicatesMonitorNotificationManager> notificationManager_;
  std::shared_ptr<FileSystemCombinedMonitor> watcher_;
  std::shared_ptr<Observer> observer_;
  std::shared_ptr<OVFileMonitor> requestsWatcher_;
  std::int64_t nodeLimit_ = 100000;

  // On queue_.
  MonitorRequests requests_;
  std::shared_ptr<DelayedWorkItem> statusWrite_;
  std::shared_ptr<DelayedWorkItem> heavyActivityCheck_;
  bool stopped_ = false;
  bool noticeIsAboutRequests_ = false;
  mutable std::mutex noticeMutex_;
  std::optional<std::string> notice_;
};

}  // namespace zarnik
