#include "monitor/file_system_combined_monitor.h"

#include "base/path_components.h"
#include "monitor/internal/folder_paths.h"
#include "platform/folder_listing.h"

#include <algorithm>

namespace zarnik {
namespace {

using monitor_internal::isHiddenName;
using monitor_internal::isStrictlyBelow;

// The visible sub-folders of `folder` other than `except`; none when it cannot be listed.
std::vector<std::string> otherVisibleSubfolders(const std::string& folder,
                                                const std::string& except) {
  std::vector<std::string> subfolders;
  auto entries = listFolder(folder);
  if (entries.hasError()) return subfolders;
  for (const auto& entry : entries.value()) {
    if (entry.kind != FolderEntryKind::folder || isHiddenName(entry.name)) continue;
    std::string path = appendingPathComponent(folder, entry.name);
    if (path != except) subfolders.push_back(std::move(path));
  }
  return subfolders;
}

void splitRootAround(const std::string& root, const std::string& ignored, MonitoringSplit& split) {
  if (!isStrictlyBelow(ignored, root)) return;
  std::string current = ignored;
  while (current != root && isStrictlyBelow(current, root)) {
    std::string parent = parentPath(current);
    split.nonRecursively.insert(parent);
    for (auto& sibling : otherVisibleSubfolders(parent, current))
      split.recursively.insert(std::move(sibling));
    current = std::move(parent);
  }
}

}  // namespace

MonitoringSplit splitAroundIgnoredPaths(const std::set<std::string>& roots,
                                        const std::set<std::string>& ignored) {
  MonitoringSplit split;
  for (const auto& root : roots) {
    for (const auto& path : ignored)
      splitRootAround(standardizedPath(root), standardizedPath(path), split);
  }
  std::set<std::string> standardRoots;
  for (const auto& root : roots) standardRoots.insert(standardizedPath(root));
  split.recursively.insert(standardRoots.begin(), standardRoots.end());
  std::erase_if(split.recursively, [&](const std::string& path) {
    if (split.nonRecursively.contains(path)) return true;
    if (standardRoots.contains(path)) return false;  // a root ignored as a whole is not split
    // Two ignored folders under one root: the walk up from one adds the other as a sibling.
    return std::any_of(ignored.begin(), ignored.end(), [&](const std::string& skip) {
      return isPathAtOrBelow(path, standardizedPath(skip));
    });
  });
  return split;
}

std::shared_ptr<FileSystemCombinedMonitor> FileSystemCombinedMonitor::make() {
  return std::shared_ptr<FileSystemCombinedMonitor>(new FileSystemCombinedMonitor());
}

FileSystemCombinedMonitor::FileSystemCombinedMonitor()
    : nonRecursiveMonitor_(OVFileMonitor::make()) {}

FileSystemCombinedMonitor::~FileSystemCombinedMonitor() {
  std::lock_guard lock(mutex_);
  stopLocked();
}

void FileSystemCombinedMonitor::setConfiguration(
    FileSystemCombinedMonitorConfiguration configuration) {
  std::lock_guard lock(mutex_);
  configuration_ = std::move(configuration);
  if (!isRunning_) return;
  stopLocked();
  startLocked();
}

void FileSystemCombinedMonitor::addObserver(
    const std::shared_ptr<FileSystemCombinedMonitorObserver>& observer) {
  std::lock_guard lock(observersMutex_);
  observers_.push_back(observer);
}

void FileSystemCombinedMonitor::start() {
  std::lock_guard lock(mutex_);
  if (!isRunning_) startLocked();
}

void FileSystemCombinedMonitor::stop() {
  std::lock_guard lock(mutex_);
  if (isRunning_) stopLocked();
}

bool FileSystemCombinedMonitor::isRunning() const {
  std::lock_guard lock(mutex_);
  return isRunning_;
}

FileSystemMonitorStatus FileSystemCombinedMonitor::recursiveStatus() const {
  std::shared_ptr<FileSystemMonitor> recursive;
  {
    std::lock_guard lock(mutex_);
    recursive = recursiveMonitor_;
  }
  return recursive ? recursive->status() : FileSystemMonitorStatus{};
}

std::vector<std::string> FileSystemCombinedMonitor::urlsToObserveNonRecursively() const {
  std::lock_guard lock(mutex_);
  return urlsToObserveNonRecursively_;
}

void FileSystemCombinedMonitor::startLocked() {
  const MonitoringSplit split =
      splitAroundIgnoredPaths(configuration_.urlsToObserve, configuration_.urlsToIgnore);
  auto recursive = recursiveMonitorLocked();
  auto recursiveConfiguration = recursive->configuration();
  recursiveConfiguration.monitoredPaths.assign(split.recursively.begin(), split.recursively.end());
  recursiveConfiguration.duplicatesByFolder = configuration_.duplicatesByFolder;
  recursive->setConfiguration(std::move(recursiveConfiguration));
  recursive->start();
  urlsToObserveNonRecursively_.assign(split.nonRecursively.begin(), split.nonRecursively.end());
  std::weak_ptr<FileSystemCombinedMonitor> weakSelf = weak_from_this();
  for (const auto& folder : urlsToObserveNonRecursively_) {
    nonRecursiveMonitor_->startObservation(folder, [weakSelf, folder](FileSystemChange) {
      if (auto self = weakSelf.lock()) self->directoryChanged(folder);
    });
  }
  isRunning_ = true;
}

void FileSystemCombinedMonitor::stopLocked() {
  nonRecursiveMonitor_->removeAllPaths();
  if (recursiveMonitor_) recursiveMonitor_->stop();
  isRunning_ = false;
}

std::shared_ptr<FileSystemMonitor> FileSystemCombinedMonitor::recursiveMonitorLocked() {
  if (!recursiveMonitor_) {
    recursiveMonitor_ =
        FileSystemMonitor::make(FileSystemMonitorConfiguration::defaultConfiguration());
    recursiveMonitor_->add(shared_from_this());
  }
  return recursiveMonitor_;
}

void FileSystemCombinedMonitor::fileSystemEvent(std::uint64_t identifier, const std::string& path,
                                                FileSystemChange change) {
  for (const auto& observer : observers()) {
    std::weak_ptr<FileSystemCombinedMonitorObserver> weakObserver = observer;
    observer->observerQueue()->execute([weakObserver, identifier, path, change] {
      if (auto alive = weakObserver.lock()) alive->fileSystemEvent(identifier, path, change);
    });
  }
}

void FileSystemCombinedMonitor::directoryChanged(const std::string& path) {
  for (const auto& observer : observers()) {
    std::weak_ptr<FileSystemCombinedMonitorObserver> weakObserver = observer;
    observer->observerQueue()->execute([weakObserver, path] {
      if (auto alive = weakObserver.lock()) alive->directoryChanged(path);
    });
  }
}

std::vector<std::shared_ptr<FileSystemCombinedMonitorObserver>>
FileSystemCombinedMonitor::observers() const {
  std::vector<std::shared_ptr<FileSystemCombinedMonitorObserver>> alive;
  std::lock_guard lock(observersMutex_);
  for (const auto& held : observers_) {
    if (auto observer = held.lock()) alive.push_back(std::move(observer));
  }
  return alive;
}

}  // namespace zarnik
