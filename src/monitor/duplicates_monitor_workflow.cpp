#include "monitor/duplicates_monitor_workflow.h"

#include "base/path_components.h"
#include "foundation/logger.h"
#include "foundation/url_resolver.h"
#include "platform/resource_values.h"

#include <algorithm>
#include <utility>

namespace zarnik {
namespace {
constexpr const char* kAuthor = "DuplicatesMonitorWorkflow";
}

std::string_view describe(DuplicatesMonitorState state) {
  switch (state) {
    case DuplicatesMonitorState::off:
      return "off";
    case DuplicatesMonitorState::paused:
      return "paused";
    case DuplicatesMonitorState::monitoring:
      return "monitoring";
    case DuplicatesMonitorState::scanning:
      return "scanning";
  }
  return "off";
}

std::shared_ptr<DuplicatesMonitorWorkflow> DuplicatesMonitorWorkflow::make(
    std::shared_ptr<DuplicatesMonitorStateStorage> storage,
    std::shared_ptr<DuplicatesMonitorScanService> scanService, Options options) {
  return std::shared_ptr<DuplicatesMonitorWorkflow>(new DuplicatesMonitorWorkflow(
      std::move(storage), std::move(scanService), std::move(options)));
}

DuplicatesMonitorWorkflow::DuplicatesMonitorWorkflow(
    std::shared_ptr<DuplicatesMonitorStateStorage> storage,
    std::shared_ptr<DuplicatesMonitorScanService> scanService, Options options)
    : storage_(std::move(storage)),
      scanService_(std::move(scanService)),
      options_(std::move(options)),
      queue_(SerialQueue::make("duplicates-monitor.workflow", QualityOfService::background)) {}

void DuplicatesMonitorWorkflow::setState(DuplicatesMonitorState state) {
  queue_->assertOnQueue();
  if (state_.exchange(state) == state) return;
  Logger::shared().log(kAuthor, "setState()", "Monitor is " + std::string(describe(state)));
  if (options_.stateChanged) options_.stateChanged(state);
}

void DuplicatesMonitorWorkflow::start() {
  queue_->async([self = shared_from_this()] {
    if (self->running_) return;
    self->running_ = true;
    const auto locations = self->storage_->monitoredLocations();
    if (self->options_.locationsChanged) self->options_.locationsChanged(pathsOf(locations));
    // The engine starts empty: every folder is walked once, when walking is allowed.
    self->setState(DuplicatesMonitorState::monitoring);
    self->walkWhenAllowed(locations);
  });
}

void DuplicatesMonitorWorkflow::stop() {
  queue_->sync([this] {
    running_ = false;
    if (rescanWorkItem_) rescanWorkItem_->cancel();
    if (removeInvalidURLsWorkItem_) removeInvalidURLsWorkItem_->cancel();
    scanService_->stop();
    setState(DuplicatesMonitorState::off);
    for (auto& waiter : settleWaiters_) waiter.succeed(Void{});
    settleWaiters_.clear();
  });
}

void DuplicatesMonitorWorkflow::setPausedByRequest(bool paused) {
  queue_->async([self = shared_from_this(), paused] {
    self->pausedByRequest_ = paused;
    self->updatePausedState();
  });
}

void DuplicatesMonitorWorkflow::setCanPerformHeavyActivities(bool can) {
  queue_->async([self = shared_from_this(), can] {
    self->canPerformHeavyActivities_ = can;
    self->updatePausedState();
  });
}

bool DuplicatesMonitorWorkflow::isPaused() const {
  queue_->assertOnQueue();
  return pausedByRequest_ || !canPerformHeavyActivities_;
}

void DuplicatesMonitorWorkflow::updatePausedState() {
  queue_->assertOnQueue();
  if (!running_) return;
  const auto state = state_.load();
  // A walk under way finishes; the state follows once it has.
  if (state == DuplicatesMonitorState::scanning) return;
  if (isPaused()) {
    setState(DuplicatesMonitorState::paused);
    return;
  }
  setState(DuplicatesMonitorState::monitoring);
  if (!walksWaiting_.empty()) {
    runScans(std::exchange(walksWaiting_, {}));
    return;
  }
  afterScanning();
}

void DuplicatesMonitorWorkflow::walkWhenAllowed(std::vector<MonitoredLocationInfo> locations) {
  queue_->assertOnQueue();
  // Paused means no reading at all: a folder to walk waits for the resume, like a rescan.
  if (isPaused() || state_.load() == DuplicatesMonitorState::paused) {
    walksWaiting_.insert(walksWaiting_.end(), locations.begin(), locations.end());
    updatePausedState();
    return;
  }
  runScans(std::move(locations));
}

void DuplicatesMonitorWorkflow::setLocations(const std::vector<std::string>& paths) {
  queue_->async([self = shared_from_this(), paths] {
    const auto current = self->storage_->monitoredLocations();
    std::vector<std::string> removed;
    for (const auto& location : current) {
      if (std::find(paths.begin(), paths.end(), location.path()) == paths.end())
        removed.push_back(location.path());
    }
    std::vector<MonitoredLocationInfo> added;
    for (const auto& path : paths) {
      const bool known = std::any_of(current.begin(), current.end(),
                                     [&](const auto& l) { return l.path() == path; });
      if (known) continue;
      auto location = ScanLocation::make(path, OVURLResolver::shared());
      if (!location) {
        Logger::shared().log(kAuthor, "setLocations()",
                             path + ": cannot be watched; it cannot be reached");
        continue;
      }
      added.push_back(MonitoredLocationInfo{location, false, true});
    }
    if (removed.empty() && added.empty()) return;
    self->storage_->queue()->sync([&] {
      if (!removed.empty()) (void)self->storage_->removeLocations(removed);
      if (!added.empty()) (void)self->storage_->addLocations(added);
    });
    if (!removed.empty())
      self->scanService_->remove(std::set<std::string>(removed.begin(), removed.end()));
    if (self->options_.locationsChanged)
      self->options_.locationsChanged(pathsOf(self->storage_->monitoredLocations()));
    std::erase_if(self->walksWaiting_, [&](const MonitoredLocationInfo& waiting) {
      return std::find(removed.begin(), removed.end(), waiting.path()) != removed.end();
    });
    if (self->running_) self->walkWhenAllowed(added);
  });
}

bool DuplicatesMonitorWorkflow::qualifies(const std::string& path) const {
  const MonitoredLocationInfo* within = nullptr;
  const auto locations = storage_->monitoredLocations();
  for (const auto& location : locations) {
    if (isPathAtOrBelow(path, location.path())) within = &location;
  }
  if (within == nullptr) return false;
  if (!options_.includeHiddenItems) {
    // A hidden item, or one inside a hidden folder, below the watched folder.
    const std::string& root = within->path();
    if (path.size() > root.size() &&
        path.find("/.", root == "/" ? 0 : root.size()) != std::string::npos)
      return false;
  }
  return readResourceValues(path).hasValue();
}

void DuplicatesMonitorWorkflow::requestRescan(RescanTask task) {
  queue_->async([self = shared_from_this(), task = std::move(task)] {
    if (!self->running_) return;
    if (!self->qualifies(task.path)) {
      self->rescanTasks_.erase(task.path);
      self->invalidURLs_.insert(task.path);
      self->scheduleInvalidRemoval();
      return;
    }
    self->invalidURLs_.erase(task.path);
    bool& recursively = self->rescanTasks_[task.path];
    recursively = recursively || task.recursively;
    self->scheduleRescan();
  });
}

void DuplicatesMonitorWorkflow::scheduleRescan() {
  queue_->assertOnQueue();
  if (state_.load() != DuplicatesMonitorState::monitoring || rescanTasks_.empty()) return;
  if (rescanWorkItem_) rescanWorkItem_->cancel();
  rescanWorkItem_ = DelayedWorkItem::schedule(*options_.clock, kRescanInterval, queue_,
                                              [weak = weak_from_this()] {
                                                if (auto self = weak.lock()) self->runRescan();
                                              });
}

void DuplicatesMonitorWorkflow::scheduleInvalidRemoval() {
  queue_->assertOnQueue();
  if (removeInvalidURLsWorkItem_) removeInvalidURLsWorkItem_->cancel();
  removeInvalidURLsWorkItem_ = DelayedWorkItem::schedule(
      *options_.clock, kRemoveInvalidURLsInterval, queue_, [weak = weak_from_this()] {
        auto self = weak.lock();
        if (!self || self->invalidURLs_.empty()) return;
        std::set<std::string> invalid;
        invalid.swap(self->invalidURLs_);
        self->scanService_->remove(invalid);
        self->afterScanning();
      });
}

void DuplicatesMonitorWorkflow::runRescan() {
  queue_->assertOnQueue();
  rescanWorkItem_.reset();
  if (!running_ || state_.load() != DuplicatesMonitorState::monitoring || rescanTasks_.empty())
    return;
  std::vector<RescanTask> tasks;
  for (const auto& [path, recursively] : rescanTasks_)
    tasks.push_back(RescanTask{path, recursively});
  rescanTasks_.clear();
  setState(DuplicatesMonitorState::scanning);
  auto self = shared_from_this();
  scanService_->rescan(std::move(tasks)).onComplete(*queue_, [self](const Result<Void>&) {
    // The rescan already waited two quiet seconds: its groups are saved at once.
    self->scanService_->flush().onComplete(*self->queue_, [self](const Result<Void>&) {
      if (self->running_) self->setState(DuplicatesMonitorState::monitoring);
      self->updatePausedState();
    });
  });
}

void DuplicatesMonitorWorkflow::runScans(std::vector<MonitoredLocationInfo> locations) {
  queue_->assertOnQueue();
  if (locations.empty()) {
    afterScanning();
    return;
  }
  setState(DuplicatesMonitorState::scanning);
  auto folders = pathsOf(locations);
  walkNext(std::move(locations), std::move(folders));
}

void DuplicatesMonitorWorkflow::walkNext(std::vector<MonitoredLocationInfo> locations,
                                         std::vector<std::string> walked) {
  auto self = shared_from_this();
  if (locations.empty()) {
    scanService_->forgetWhatWalksDidNotConfirm(std::move(walked))
        .onComplete(*queue_, [self](const Result<Void>&) {
          if (!self->running_) return;
          self->setState(DuplicatesMonitorState::monitoring);
          self->updatePausedState();
        });
    return;
  }
  auto next = locations.front();
  locations.erase(locations.begin());
  scanService_->scanLocation(next).onComplete(*queue_, [self, locations = std::move(locations),
                                                        walked = std::move(walked),
                                                        next](const Result<Void>& scanned) mutable {
    if (scanned.hasError() && !scanned.error().isCancellation()) {
      Logger::shared().log(kAuthor, "runScans()", next.path() + ": " + scanned.error().oneLine());
    }
    if (!self->running_) return;
    self->walkNext(std::move(locations), std::move(walked));
  });
}

void DuplicatesMonitorWorkflow::afterScanning() {
  queue_->assertOnQueue();
  if (state_.load() != DuplicatesMonitorState::monitoring) return;
  if (!rescanTasks_.empty()) {
    scheduleRescan();
    return;
  }
  if (!invalidURLs_.empty()) return;
  for (auto& waiter : settleWaiters_) waiter.succeed(Void{});
  settleWaiters_.clear();
}

Future<Void> DuplicatesMonitorWorkflow::settle() {
  Promise<Void> settled;
  auto future = settled.future();
  queue_->async([self = shared_from_this(), settled]() mutable {
    self->settleWaiters_.push_back(settled);
    // What waits for its quiet interval runs now.
    if (!self->invalidURLs_.empty()) {
      if (self->removeInvalidURLsWorkItem_) self->removeInvalidURLsWorkItem_->cancel();
      std::set<std::string> invalid;
      invalid.swap(self->invalidURLs_);
      self->scanService_->remove(invalid);
    }
    if (self->state_.load() == DuplicatesMonitorState::monitoring && !self->rescanTasks_.empty()) {
      if (self->rescanWorkItem_) self->rescanWorkItem_->cancel();
      self->runRescan();
      return;
    }
    self->scanService_->flush().onComplete(*self->queue_,
                                           [self](const Result<Void>&) { self->afterScanning(); });
  });
  return future;
}

}  // namespace zarnik
