#include "monitor/ov_file_monitor.h"

#include "base/path_components.h"
#include "foundation/logger.h"

#include <algorithm>
#include <cassert>

namespace zarnik {
namespace {

constexpr std::string_view kAuthor = "OVFileMonitor";

FileSystemChange changeOfEntryEvent(const InotifyEvent& event) {
  using namespace inotify_mask;
  const FileSystemChange kind =
      event.has(kIsFolder) ? FileSystemChange::isDirectory : FileSystemChange::isFile;
  if (event.has(kCreated | kMovedTo)) return FileSystemChange::created | kind;
  if (event.has(kDeleted | kMovedFrom)) return FileSystemChange::removed | kind;
  if (event.has(kClosedAfterWriting)) return FileSystemChange::modified | kind;
  if (event.has(kAttributesChanged)) return FileSystemChange::inodeMetaModified | kind;
  return {};
}

}  // namespace

std::shared_ptr<OVFileMonitor> OVFileMonitor::make() {
  return std::shared_ptr<OVFileMonitor>(new OVFileMonitor());
}

OVFileMonitor::OVFileMonitor()
    : queue_(SerialQueue::make("OVFileMonitor", QualityOfService::utility)) {}

OVFileMonitor::~OVFileMonitor() {
  if (readinessToken_) IoEventLoop::shared().unwatch(*readinessToken_);
}

bool OVFileMonitor::startObservation(const std::string& path, Handler handler) {
  return startObservation(path, kAllChanges, std::move(handler));
}

bool OVFileMonitor::startObservation(const std::string& path, FileSystemChange changes,
                                     Handler handler) {
  assert(handler && "an observation needs a handler");
  bool registered = false;
  queue_->sync([&] {
    const std::string folder = standardizedPath(path);
    if (observations_.contains(folder) || !ensureInotify()) return;
    auto& observation = observations_[folder];
    observation.changes = changes;
    observation.handler = std::move(handler);
    setUp(folder, observation);
    registered = true;
  });
  return registered;
}

void OVFileMonitor::stopObservation(const std::string& path) {
  queue_->sync([&] {
    const auto found = observations_.find(standardizedPath(path));
    if (found == observations_.end()) return;
    if (found->second.watch) {
      watchUses_[*found->second.watch].observedPath.reset();
      release(*found->second.watch);
    }
    for (auto& [watch, use] : watchUses_) std::erase(use.awaitedPaths, found->first);
    std::erase_if(watchUses_, [&](const auto& entry) {
      const bool unused = !entry.second.observedPath && entry.second.awaitedPaths.empty();
      if (unused) inotify_->unwatch(entry.first);
      return unused;
    });
    observations_.erase(found);
  });
}

void OVFileMonitor::removeAllPaths() {
  queue_->sync([&] {
    observations_.clear();
    watchUses_.clear();
    if (readinessToken_) IoEventLoop::shared().unwatch(*readinessToken_);
    readinessToken_.reset();
    inotify_.reset();  // drops every watch at once
  });
}

bool OVFileMonitor::isObservationValid(const std::string& path) const {
  bool valid = false;
  queue_->sync([&] {
    const auto found = observations_.find(standardizedPath(path));
    valid = found != observations_.end() && found->second.watch.has_value();
  });
  return valid;
}

std::size_t OVFileMonitor::observationCount() const {
  std::size_t count = 0;
  queue_->sync([&] { count = observations_.size(); });
  return count;
}

long OVFileMonitor::kernelWatchCount() const {
  long count = 0;
  queue_->sync([&] { count = inotify_ ? inotify_->watchCount() : 0; });
  return count;
}

bool OVFileMonitor::ensureInotify() {
  if (inotify_) return true;
  auto inotify = InotifyWatcher::open();
  if (inotify.hasError()) {
    Logger::shared().log(kAuthor, __func__, "Cannot watch folders: " + inotify.error().oneLine());
    return false;
  }
  inotify_.emplace(std::move(inotify).value());
  std::weak_ptr<OVFileMonitor> weakSelf = weak_from_this();
  readinessToken_ = IoEventLoop::shared().watch(inotify_->fd(), queue_, [weakSelf] {
    if (auto self = weakSelf.lock()) self->readAvailableEvents();
  });
  return true;
}

void OVFileMonitor::setUp(const std::string& path, Observation& observation) {
  auto watch = inotify_->watchFolder(path);
  if (watch.hasError()) {
    observation.watch.reset();
    return;
  }
  observation.watch = watch.value();
  watchUses_[watch.value()].observedPath = path;
}

void OVFileMonitor::awaitReappearance(const std::string& path) {
  // The parent is watched for the entries made in it; the same kernel watch may also serve an
  // observation of the parent itself.
  auto watch = inotify_->watchFolder(parentPath(path));
  if (watch.hasError()) return;  // the parent went too: the folder stays invalid
  auto& awaited = watchUses_[watch.value()].awaitedPaths;
  if (std::find(awaited.begin(), awaited.end(), path) == awaited.end()) awaited.push_back(path);
}

void OVFileMonitor::release(int watch) {
  const auto use = watchUses_.find(watch);
  if (use == watchUses_.end()) return;
  if (use->second.observedPath || !use->second.awaitedPaths.empty()) return;
  inotify_->unwatch(watch);
  watchUses_.erase(use);
}

void OVFileMonitor::readAvailableEvents() {
  if (!inotify_) return;
  auto events = inotify_->readEvents();
  if (events.hasError()) return;
  for (const auto& event : events.value()) handle(event);
}

void OVFileMonitor::handle(const InotifyEvent& event) {
  using namespace inotify_mask;
  const auto use = watchUses_.find(event.watch);
  if (use == watchUses_.end()) return;
  if (event.has(kWatchRemoved)) {
    // The kernel dropped the watch (its folder is gone): nothing is served by it any more.
    const std::optional<std::string> observed = use->second.observedPath;  // a copy: the entry goes
    watchUses_.erase(use);
    if (observed) handleObservedFolderGone(*observed, false);
    return;
  }
  if (event.name.empty()) {
    if (event.has(kWatchedFolderMoved) && use->second.observedPath) {
      const std::string observed = *use->second.observedPath;
      handleObservedFolderGone(observed, true);
    }
    return;
  }
  if (event.has(kCreated | kMovedTo)) handleEntryAppeared(event.watch, event.name);
  const auto still = watchUses_.find(event.watch);
  if (still == watchUses_.end() || !still->second.observedPath) return;
  const auto observation = observations_.find(*still->second.observedPath);
  if (observation != observations_.end()) notify(observation->second, changeOfEntryEvent(event));
}

void OVFileMonitor::handleObservedFolderGone(const std::string& path, bool moved) {
  const auto found = observations_.find(path);
  if (found == observations_.end() || !found->second.watch) return;
  const int oldWatch = *found->second.watch;
  if (auto use = watchUses_.find(oldWatch); use != watchUses_.end()) {
    use->second.observedPath.reset();
    if (moved) release(oldWatch);  // a moved folder keeps its watch in its new place
  }
  found->second.watch.reset();
  notify(found->second, (moved ? FileSystemChange::renamed : FileSystemChange::removed) |
                            FileSystemChange::isDirectory | FileSystemChange::rootChanged);
  setUp(path, found->second);
  if (!found->second.watch) awaitReappearance(path);
}

void OVFileMonitor::handleEntryAppeared(int watch, const std::string& name) {
  auto& awaited = watchUses_[watch].awaitedPaths;
  for (auto path = awaited.begin(); path != awaited.end(); ++path) {
    if (lastPathComponent(*path) != name) continue;
    const std::string folder = *path;
    awaited.erase(path);
    const auto observation = observations_.find(folder);
    if (observation != observations_.end()) {
      setUp(folder, observation->second);
      if (observation->second.watch) {
        notify(observation->second, FileSystemChange::created | FileSystemChange::isDirectory);
      } else {
        awaitReappearance(folder);  // not a folder (yet): keep waiting
      }
    }
    break;
  }
  release(watch);
}

void OVFileMonitor::notify(const Observation& observation, FileSystemChange change) const {
  if (change.isEmpty() || observation.changes.isDisjoint(change)) return;
  Executor::primary().execute([handler = observation.handler, change] { handler(change); });
}

}  // namespace zarnik
