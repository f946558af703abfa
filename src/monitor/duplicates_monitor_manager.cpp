#include "monitor/duplicates_monitor_manager.h"

#include "foundation/logger.h"
#include "foundation/url_resolver.h"
#include "monitor/rescan_request.h"
#include "platform/file_lock.h"
#include "platform/power_supply.h"
#include "platform/processes.h"
#include "platform/xdg_directories.h"
#include "store/persistent_content.h"

#include <fmt/format.h>

namespace zarnik {
namespace {
constexpr const char* kAuthor = "DuplicatesMonitorManager";
}

// Hands the watcher's changes to the workflow, on the workflow's queue.
class DuplicatesMonitorManager::Observer final : public FileSystemCombinedMonitorObserver {
 public:
  explicit Observer(std::shared_ptr<DuplicatesMonitorWorkflow> workflow)
      : workflow_(std::move(workflow)) {}
  [[nodiscard]] std::shared_ptr<Executor> observerQueue() const override {
    return workflow_->queue();
  }
  void fileSystemEvent(std::uint64_t identifier, const std::string& path,
                       FileSystemChange change) override {
    // The stored copies below a folder that went need no list of their own: the rescan of the
    // folder forgets everything known below it.
    const auto tasks =
        rescanTasksForEvent(FileSystemEvent{identifier, path, change},
                            [](const std::string&) { return std::vector<std::string>{}; });
    for (const auto& task : tasks) workflow_->requestRescan(task);
  }
  void directoryChanged(const std::string& path) override {
    for (const auto& task : rescanTasksForChangedDirectory(path)) workflow_->requestRescan(task);
  }

 private:
  std::shared_ptr<DuplicatesMonitorWorkflow> workflow_;
};

// The notification settings as the person's preferences hold them now.
class DuplicatesMonitorManager::NotificationSettings final : public DuplicatesNotificationSettings {
 public:
  explicit NotificationSettings(std::shared_ptr<PreferencesController> preferences)
      : preferences_(std::move(preferences)) {}
  void replace(std::shared_ptr<PreferencesController> preferences) {
    std::lock_guard lock(mutex_);
    preferences_ = std::move(preferences);
  }
  [[nodiscard]] bool isDuplicatesNotificationEnabled() const override {
    return PreferencesNotificationSettings(*current()).isDuplicatesNotificationEnabled();
  }
  [[nodiscard]] Date lastDuplicatesNotificationDate() const override {
    return PreferencesNotificationSettings(*current()).lastDuplicatesNotificationDate();
  }
  void setLastDuplicatesNotificationDate(Date date) override {
    PreferencesNotificationSettings(*current()).setLastDuplicatesNotificationDate(date);
  }

 private:
  [[nodiscard]] std::shared_ptr<PreferencesController> current() const {
    std::lock_guard lock(mutex_);
    return preferences_;
  }
  mutable std::mutex mutex_;
  std::shared_ptr<PreferencesController> preferences_;
};

DuplicatesMonitorManagerSetup DuplicatesMonitorManagerSetup::standard() {
  DuplicatesMonitorManagerSetup setup;
  setup.storePath = persistentContentDirectory() + "/monitor.db";
  setup.requestsPath = MonitorRequests::defaultPath();
  setup.statusPath = MonitorStatus::defaultPath();
  setup.fullScanLockPath = persistentContentDirectory() + "/session/session.lock";
  setup.reviewCommand = defaultReviewCommand();
  return setup;
}

Result<std::shared_ptr<DuplicatesMonitorManager>> DuplicatesMonitorManager::make(
    DuplicatesMonitorManagerSetup setup) {
  auto manager =
      std::shared_ptr<DuplicatesMonitorManager>(new DuplicatesMonitorManager(std::move(setup)));
  ZK_TRY(manager->setUp());
  return manager;
}

DuplicatesMonitorManager::DuplicatesMonitorManager(DuplicatesMonitorManagerSetup setup)
    : setup_(std::move(setup)),
      queue_(SerialQueue::make("duplicates-monitor.manager", QualityOfService::background)) {}

Result<void> DuplicatesMonitorManager::setUp() {
  preferences_ = setup_.openPreferences();
  if (!preferences_) return Error::generic("The preferences cannot be read.");
  nodeLimit_ = preferences_->storage().mixedPreferences()->duplicatesMonitorNodeLimit();
  auto requests = MonitorRequests::load(setup_.requestsPath);
  if (requests.hasError()) return requests.error();
  requests_ = requests.value();

  ZK_ASSIGN_OR_RETURN(storage_, DuplicatesMonitorStateStorage::open(setup_.storePath));
  if (setup_.crashHandler) {
    storage_->setWriteObserver([handler = setup_.crashHandler](bool started) {
      if (started) {
        handler->beginStoreOperation();
      } else {
        handler->endStoreOperation();
      }
    });
  }

  const Preferences preferences = preferences_->extendedPreferences();
  DuplicatesMonitorScanOptions options;
  options.scanRules = preferences.scanRules;
  options.autoselectionRules = preferences.autoselectionRules;
  options.cache = setup_.cache;
  options.nodeLimit = nodeLimit_;
  options.clock = setup_.clock;
  scanService_ = DuplicatesMonitorScanService::make(storage_, options);
  scanService_->setErrorHandler(
      [](const Error& error) { Logger::shared().log(kAuthor, "scan", error.oneLine()); });

  DuplicatesMonitorWorkflow::Options workflowOptions;
  workflowOptions.clock = setup_.clock;
  workflowOptions.locationsChanged =
      [weak = weak_from_this()](const std::vector<std::string>& locations) {
        if (auto self = weak.lock()) self->watch(locations);
      };
  workflowOptions.stateChanged = [weak = weak_from_this()](DuplicatesMonitorState) {
    if (auto self = weak.lock()) self->scheduleStatusWrite();
  };
  workflow_ = DuplicatesMonitorWorkflow::make(storage_, scanService_, workflowOptions);

  notificationSettings_ = std::make_shared<NotificationSettings>(preferences_);
  DuplicatesMonitorNotificationManager::Setup notifying;
  notifying.sender = setup_.notifications;
  notifying.settings = notificationSettings_;
  notifying.clock = setup_.clock;
  notifying.reviewCommand = setup_.reviewCommand;
  notifying.homeFolder = OVURLResolver::shared().homeURL();
  auto mark = [storage = storage_](RecentDuplicateStatus status) {
    return [storage, status](const std::vector<std::int64_t>& ids) {
      storage->queue()->async([storage, ids, status] { (void)storage->mark(ids, status); });
    };
  };
  notifying.markNotified = mark(RecentDuplicateStatus::notified);
  notifying.markViewed = mark(RecentDuplicateStatus::viewed);
  notificationManager_ = DuplicatesMonitorNotificationManager::make(notifying);
  storage_->setSummaryObserver([weak = weak_from_this()](const RecentDuplicatesInfo& info) {
    auto self = weak.lock();
    if (!self) return;
    self->notificationManager_->recentDuplicatesChanged(info);
    self->scheduleStatusWrite();
  });

  watcher_ = FileSystemCombinedMonitor::make();
  observer_ = std::make_shared<Observer>(workflow_);
  watcher_->addObserver(observer_);
  return success();
}

Result<void> DuplicatesMonitorManager::start(const std::vector<std::string>& extraLocations) {
  bool added = false;
  for (const auto& location : extraLocations) added = requests_.add(location) || added;
  if (added) ZK_TRY(requests_.save(setup_.requestsPath));
  // The folders asked for become the store's before the first walk.
  workflow_->setLocations(requests_.locations);
  workflow_->setPausedByRequest(requests_.paused);
  ignoreCopies(requests_);
  // Known before the first walk, which waits while a full scan runs or the machine is on battery.
  workflow_->setCanPerformHeavyActivities(canPerformHeavyActivitiesNow());
  workflow_->start();
  markReviewed(requests_);

  requestsWatcher_ = OVFileMonitor::make();
  std::set<std::string> folders{setup_.requestsPath.substr(0, setup_.requestsPath.rfind('/'))};
  folders.insert(xdg::zarnikConfigDirectory());
  for (const auto& folder : folders) {
    (void)xdg::makeDirectories(folder);
    requestsWatcher_->startObservation(folder, [weak = weak_from_this()](FileSystemChange) {
      if (auto self = weak.lock()) self->followRequests();
    });
  }
  queue_->async([self = shared_from_this()] { self->checkHeavyActivities(); });
  scheduleStatusWrite();
  return success();
}

void DuplicatesMonitorManager::stop() {
  queue_->sync([this] {
    stopped_ = true;
    if (heavyActivityCheck_) heavyActivityCheck_->cancel();
    if (statusWrite_) statusWrite_->cancel();
  });
  if (requestsWatcher_) requestsWatcher_->removeAllPaths();
  watcher_->stop();
  (void)scanService_->flush().wait();
  workflow_->stop();
  storage_->queue()->sync([] {});  // the last save is written
  auto status = this->status();
  status.state = "off";
  (void)status.write(setup_.statusPath);
}

void DuplicatesMonitorManager::watch(const std::vector<std::string>& locations) {
  FileSystemCombinedMonitorConfiguration configuration;
  configuration.urlsToObserve = std::set<std::string>(locations.begin(), locations.end());
  configuration.duplicatesByFolder = storage_->duplicatesByFolder();
  watcher_->setConfiguration(configuration);
  if (locations.empty()) {
    watcher_->stop();
  } else {
    watcher_->start();
  }
  const auto watched = watcher_->recursiveStatus();
  if (watched.firstFailure)
    Logger::shared().log(kAuthor, "watch()", watched.firstFailure->oneLine());
  scheduleStatusWrite();
}

void DuplicatesMonitorManager::followRequests() {
  queue_->async([self = shared_from_this()] {
    if (self->stopped_) return;
    auto requests = MonitorRequests::load(self->setup_.requestsPath);
    if (requests.hasError()) {
      self->setNotice(requests.error().oneLine() + " (the folders watched stay as they were)");
      self->noticeIsAboutRequests_ = true;
      return;
    }
    if (std::exchange(self->noticeIsAboutRequests_, false)) self->setNotice(std::nullopt);
    if (requests.value().locations != self->requests_.locations) {
      self->workflow_->setLocations(requests.value().locations);
      self->notificationManager_->locationsAdded([&] {
        std::vector<std::string> added;
        for (const auto& path : requests.value().locations) {
          if (std::find(self->requests_.locations.begin(), self->requests_.locations.end(), path) ==
              self->requests_.locations.end())
            added.push_back(path);
        }
        return added;
      }());
    }
    if (requests.value().paused != self->requests_.paused)
      self->workflow_->setPausedByRequest(requests.value().paused);
    self->markReviewed(requests.value());
    if (requests.value().ignoredCopies != self->requests_.ignoredCopies)
      self->ignoreCopies(requests.value());
    self->requests_ = requests.value();
    // Settings such as whether to notify are read again as they stand on disk.
    if (auto preferences = self->setup_.openPreferences()) {
      self->preferences_ = preferences;
      self->notificationSettings_->replace(preferences);
    }
    self->scheduleStatusWrite();
  });
}

void DuplicatesMonitorManager::markReviewed(const MonitorRequests& requests) {
  if (!requests.reviewedUntil) return;
  storage_->queue()->async([storage = storage_, until = *requests.reviewedUntil] {
    (void)storage->markFoundUntil(until, RecentDuplicateStatus::viewed);
  });
}

void DuplicatesMonitorManager::ignoreCopies(const MonitorRequests& requests) {
  storage_->queue()->async([storage = storage_, ignored = requests.ignoredCopies]() mutable {
    (void)storage->setIgnoredCopies(std::move(ignored));
  });
}

bool DuplicatesMonitorManager::canPerformHeavyActivitiesNow() const {
  bool fullScanRunning = false;
  if (!setup_.fullScanLockPath.empty()) {
    const auto holder = FileLock::holderOf(setup_.fullScanLockPath);
    fullScanRunning = holder && holder->pid && *holder->pid != currentProcessId() &&
                      isProcessAlive(*holder->pid) &&
                      holder->command.find("scan") != std::string::npos;
  }
  return !fullScanRunning && !isOnBatteryPower(setup_.powerSupplyFolder);
}

void DuplicatesMonitorManager::checkHeavyActivities() {
  queue_->assertOnQueue();
  if (stopped_) return;
  workflow_->setCanPerformHeavyActivities(canPerformHeavyActivitiesNow());
  heavyActivityCheck_ = DelayedWorkItem::schedule(*setup_.clock, kHeavyActivityCheckInterval,
                                                  queue_, [weak = weak_from_this()] {
                                                    if (auto self = weak.lock())
                                                      self->checkHeavyActivities();
                                                  });
}

void DuplicatesMonitorManager::setNotice(std::optional<std::string> notice) {
  std::lock_guard lock(noticeMutex_);
  notice_ = std::move(notice);
}

MonitorStatus DuplicatesMonitorManager::status() const {
  MonitorStatus status;
  status.processId = currentProcessId();
  status.state = std::string(describe(workflow_->state()));
  status.locations = pathsOf(storage_->monitoredLocations());
  const auto watched = watcher_->recursiveStatus();
  status.watchedFolders = static_cast<std::int64_t>(watched.watchedFolders);
  status.watchBudget = watched.watchBudget;
  status.watchBudgetReached = watched.watchLimitReached;
  status.itemsKnown = scanService_->knownFileCount();
  status.itemLimit = nodeLimit_;
  status.itemLimitReached = scanService_->reachedNodeLimit();
  status.groups = storage_->groupCount();
  status.duplicates = storage_->duplicateCount();
  status.recent = storage_->recentDuplicatesInfo();
  {
    std::lock_guard lock(noticeMutex_);
    status.notice = notice_;
  }
  status.updated = dateNow();
  return status;
}

void DuplicatesMonitorManager::scheduleStatusWrite() {
  queue_->async([self = shared_from_this()] {
    if (self->stopped_ || self->statusWrite_) return;
    self->statusWrite_ = DelayedWorkItem::schedule(*self->setup_.clock, kStatusWriteDelay,
                                                   self->queue_, [weak = self->weak_from_this()] {
                                                     if (auto me = weak.lock()) me->writeStatus();
                                                   });
  });
}

void DuplicatesMonitorManager::writeStatus() {
  queue_->assertOnQueue();
  statusWrite_.reset();
  if (stopped_) return;
  if (auto written = status().write(setup_.statusPath); written.hasError()) {
    Logger::shared().log(kAuthor, "writeStatus()", written.error().oneLine());
  }
}

}  // namespace zarnik
