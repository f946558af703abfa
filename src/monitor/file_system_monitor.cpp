#include "monitor/file_system_monitor.h"

#include "base/path_components.h"
#include "foundation/logger.h"
#include "monitor/adaptive_monitor_url_selector.h"
#include "platform/file_state.h"
#include "platform/folder_listing.h"

#include <algorithm>
#include <deque>
#include <set>

namespace zarnik {
namespace {

constexpr std::string_view kAuthor = "FileSystemMonitor";

FileSystemChange kindOfListedEntry(FolderEntryKind kind) {
  switch (kind) {
    case FolderEntryKind::folder:
      return FileSystemChange::isDirectory;
    case FolderEntryKind::symbolicLink:
      return FileSystemChange::isSymlink;
    default:
      return FileSystemChange::isFile;
  }
}

// inotify only says whether an entry is a folder; a link is told apart by looking at it (gone
// already for a removal, which then counts as a file).
FileSystemChange kindOfEventEntry(const InotifyEvent& event, const std::string& path) {
  if (event.has(inotify_mask::kIsFolder)) return FileSystemChange::isDirectory;
  if (event.has(inotify_mask::kDeleted | inotify_mask::kMovedFrom)) return FileSystemChange::isFile;
  auto kind = folderEntryKindOf(path);
  return kind.hasValue() ? kindOfListedEntry(kind.value()) : FileSystemChange::isFile;
}

void addEvent(std::vector<FileSystemEvent>& batch, std::string path, FileSystemChange change) {
  batch.push_back({0, std::move(path), change});  // numbered when delivered, in delivery order
}

}  // namespace

std::shared_ptr<FileSystemMonitor> FileSystemMonitor::make(
    FileSystemMonitorConfiguration configuration) {
  return std::shared_ptr<FileSystemMonitor>(new FileSystemMonitor(std::move(configuration)));
}

FileSystemMonitor::FileSystemMonitor(FileSystemMonitorConfiguration configuration)
    : monitoringQueue_(SerialQueue::make("FileSystemMonitor", QualityOfService::background)),
      configuration_(std::move(configuration)) {}

FileSystemMonitor::~FileSystemMonitor() {
  // No other reference exists, so nothing else can touch the state: stop right here.
  stopOnQueue();
}

FileSystemMonitorConfiguration FileSystemMonitor::configuration() const {
  FileSystemMonitorConfiguration copy;
  monitoringQueue_->sync([&] { copy = configuration_; });
  return copy;
}

void FileSystemMonitor::setConfiguration(FileSystemMonitorConfiguration configuration) {
  monitoringQueue_->sync([&] {
    configuration_ = std::move(configuration);
    if (!running_) return;
    stopOnQueue();
    startOnQueue();
  });
}

void FileSystemMonitor::setMonitoredPaths(std::vector<std::string> paths) {
  auto changed = configuration();
  changed.monitoredPaths = std::move(paths);
  setConfiguration(std::move(changed));
}

void FileSystemMonitor::add(const std::shared_ptr<FileSystemEventObserver>& observer) {
  std::lock_guard lock(observersMutex_);
  observers_.push_back(observer);
}

void FileSystemMonitor::remove(const std::shared_ptr<FileSystemEventObserver>& observer) {
  std::lock_guard lock(observersMutex_);
  std::erase_if(observers_, [&](const auto& held) {
    auto alive = held.lock();
    return !alive || alive == observer;
  });
}

void FileSystemMonitor::start() {
  monitoringQueue_->sync([this] {
    if (!running_) startOnQueue();
  });
}

void FileSystemMonitor::stop() {
  monitoringQueue_->sync([this] { stopOnQueue(); });
}

bool FileSystemMonitor::isRunning() const {
  bool running = false;
  monitoringQueue_->sync([&] { running = running_; });
  return running;
}

std::uint64_t FileSystemMonitor::lastEventId() const {
  std::uint64_t identifier = 0;
  monitoringQueue_->sync([&] { identifier = lastEventId_; });
  return identifier;
}

FileSystemMonitorStatus FileSystemMonitor::status() const {
  FileSystemMonitorStatus copy;
  monitoringQueue_->sync([&] {
    copy = status_;
    copy.watchedFolders = folderOfWatch_.size();
  });
  return copy;
}

std::vector<std::string> FileSystemMonitor::watchedFolderPaths() const {
  std::vector<std::string> paths;
  monitoringQueue_->sync([&] {
    paths.reserve(watchOfFolder_.size());
    for (const auto& [folder, watch] : watchOfFolder_) paths.push_back(folder);
  });
  return paths;
}

long FileSystemMonitor::kernelWatchCount() const {
  long count = 0;
  monitoringQueue_->sync([&] { count = inotify_ ? inotify_->watchCount() : 0; });
  return count;
}

void FileSystemMonitor::handleInotifyEventsForTesting(std::vector<InotifyEvent> events) {
  monitoringQueue_->sync([&] {
    Batch batch;
    handle(events, batch);
    finishUnpairedMoves(batch);
    deliver(batch);
  });
}

void FileSystemMonitor::startOnQueue() {
  auto inotify = InotifyWatcher::open();
  if (inotify.hasError()) {
    Logger::shared().log(kAuthor, __func__, "Cannot watch folders: " + inotify.error().oneLine());
    return;
  }
  inotify_.emplace(std::move(inotify).value());
  status_ = {};
  status_.watchBudget = configuration_.watchBudget.value_or(currentInotifyWatchBudget());
  roots_.clear();
  for (const auto& path : configuration_.monitoredPaths) roots_.push_back(standardizedPath(path));
  for (const auto& root : roots_) watchTree(root, nullptr);
  if (status_.watchLimitReached) watchFoldersMostWorthWatching();
  // The callback holds the monitor weakly: a monitor going away stops its watch itself.
  std::weak_ptr<FileSystemMonitor> weakSelf = weak_from_this();
  readinessToken_ = IoEventLoop::shared().watch(inotify_->fd(), monitoringQueue_, [weakSelf] {
    if (auto self = weakSelf.lock()) self->readAvailableEvents();
  });
  running_ = true;
}

void FileSystemMonitor::stopOnQueue() {
  if (readinessToken_) IoEventLoop::shared().unwatch(*readinessToken_);
  readinessToken_.reset();
  inotify_.reset();  // closing the instance drops all its watches at once
  folderOfWatch_.clear();
  watchOfFolder_.clear();
  pendingMoves_.clear();
  running_ = false;
}

void FileSystemMonitor::readAvailableEvents() {
  if (!inotify_) return;  // stopped after the readiness was scheduled
  Batch batch;
  auto events = inotify_->readEvents();
  if (events.hasError()) {
    Logger::shared().log(kAuthor, __func__,
                         "Cannot read file changes: " + events.error().oneLine());
    return;
  }
  handle(events.value(), batch);
  if (!pendingMoves_.empty()) {
    // The kernel queues a rename's two halves one after the other; a read may fall between them.
    auto rest = inotify_->readEvents();
    if (rest.hasValue()) handle(rest.value(), batch);
  }
  finishUnpairedMoves(batch);
  deliver(batch);
}

void FileSystemMonitor::handle(const std::vector<InotifyEvent>& events, Batch& batch) {
  for (const auto& event : events) handleOne(event, batch);
}

void FileSystemMonitor::handleOne(const InotifyEvent& event, Batch& batch) {
  using namespace inotify_mask;
  if (event.has(kQueueOverflowed)) return handleQueueOverflow(batch);
  const auto found = folderOfWatch_.find(event.watch);
  if (found == folderOfWatch_.end()) return;  // a watch dropped already
  const std::string folder = found->second;
  if (event.has(kWatchRemoved)) return forgetWatch(event.watch);
  if (event.name.empty()) {
    // The folder itself: its own entry in its parent tells the rest.
    if (event.has(kWatchedFolderDeleted | kWatchedFolderMoved))
      handleWatchedFolderGone(folder, batch);
    if (event.has(kUnmounted) && isMountPointOfUnmountedVolume(folder)) {
      addEvent(batch, folder, FileSystemChange::unmounted | FileSystemChange::isDirectory);
    }
    return;
  }
  const std::string path = appendingPathComponent(folder, event.name);
  const FileSystemChange kind = kindOfEventEntry(event, path);
  if (event.has(kCreated)) {
    addEvent(batch, path, FileSystemChange::created | kind);
    if (kind == FileSystemChange::isDirectory) watchTree(path, &batch);
  } else if (event.has(kDeleted)) {
    addEvent(batch, path, FileSystemChange::removed | kind);
    if (kind == FileSystemChange::isDirectory) forgetTree(path, false);
  } else if (event.has(kMovedFrom)) {
    pendingMoves_[event.cookie] = {path, kind};
  } else if (event.has(kMovedTo)) {
    handleMovedTo(path, kind, event.cookie, batch);
  } else if (event.has(kClosedAfterWriting)) {
    addEvent(batch, path, FileSystemChange::modified | kind);
  } else if (event.has(kAttributesChanged)) {
    addEvent(batch, path, FileSystemChange::inodeMetaModified | kind);
  }
}

void FileSystemMonitor::handleQueueOverflow(Batch& batch) {
  // Events were dropped: folders made meanwhile may be unwatched, and the kernel's word that the
  // watches of removed folders are gone may be lost. Forget the folders that are no longer there,
  // walk again (watching a folder again is harmless) and let the observers rescan.
  std::vector<std::string> vanished;
  for (const auto& [folder, watch] : watchOfFolder_) {
    auto kind = folderEntryKindOf(folder);
    if (kind.hasError() || kind.value() != FolderEntryKind::folder) vanished.push_back(folder);
  }
  for (const auto& folder : vanished) forgetTree(folder, true);
  for (const auto& root : roots_) {
    watchTree(root, nullptr);
    addEvent(batch, root, FileSystemChange::scanSubDirs | FileSystemChange::isDirectory);
  }
}

void FileSystemMonitor::handleWatchedFolderGone(const std::string& folder, Batch& batch) {
  if (!isRoot(folder)) return;  // reported by its parent's entry
  addEvent(batch, folder, FileSystemChange::rootChanged | FileSystemChange::isDirectory);
  // A moved root keeps its watches in its new place, where its paths no longer hold.
  forgetTree(folder, true);
}

void FileSystemMonitor::handleMovedTo(const std::string& path, FileSystemChange kind,
                                      std::uint32_t cookie, Batch& batch) {
  const auto from = pendingMoves_.find(cookie);
  if (from == pendingMoves_.end()) {
    // Moved in from outside: new to us.
    addEvent(batch, path, FileSystemChange::created | kind);
    if (kind == FileSystemChange::isDirectory) watchTree(path, &batch);
    return;
  }
  const std::string oldPath = from->second.path;
  pendingMoves_.erase(from);
  addEvent(batch, oldPath, FileSystemChange::renamed | kind);
  addEvent(batch, path, FileSystemChange::renamed | kind);
  if (kind == FileSystemChange::isDirectory) moveTree(oldPath, path);
}

void FileSystemMonitor::finishUnpairedMoves(Batch& batch) {
  // Moved out of the watched trees: gone for us. The folder still exists elsewhere, so its
  // watches must be removed from the kernel.
  for (auto& [cookie, move] : pendingMoves_) {
    addEvent(batch, move.path, FileSystemChange::removed | move.kind);
    if (move.kind == FileSystemChange::isDirectory) forgetTree(move.path, true);
  }
  pendingMoves_.clear();
}

void FileSystemMonitor::deliver(Batch& batch) {
  if (batch.empty()) return;
  for (auto& event : batch) {
    event.identifier = FileSystemEvent::nextIdentifier();
    std::vector<std::shared_ptr<FileSystemEventObserver>> observers;
    {
      std::lock_guard lock(observersMutex_);
      for (const auto& held : observers_) {
        if (auto observer = held.lock()) observers.push_back(std::move(observer));
      }
    }
    for (const auto& observer : observers)
      observer->fileSystemEvent(event.identifier, event.path, event.change);
  }
  lastEventId_ = batch.back().identifier;
}

void FileSystemMonitor::watchTree(const std::string& root, Batch* reportContentsAsCreated) {
  // Breadth first: when the budget runs out, the folders nearest the roots are the ones watched.
  std::deque<std::string> pending{root};
  while (!pending.empty()) {
    const std::string folder = std::move(pending.front());
    pending.pop_front();
    if (static_cast<long>(folderOfWatch_.size()) >= status_.watchBudget) {
      status_.watchLimitReached = true;
      status_.foldersNotWatched += static_cast<std::size_t>(pending.size()) + 1;
      return;
    }
    auto watch = inotify_->watchFolder(folder);
    if (watch.hasError()) {
      recordFailure(watch.error());
      if (watch.error().code == ENOSPC) return;  // no watch left for anything else either
      continue;
    }
    folderOfWatch_[watch.value()] = folder;
    watchOfFolder_[folder] = watch.value();
    // Listed after the watch exists: an entry made in between is seen one way or the other.
    auto entries = listFolder(folder);
    if (entries.hasError()) continue;  // its watch still reports what happens inside
    for (const auto& entry : entries.value()) {
      std::string path = appendingPathComponent(folder, entry.name);
      if (reportContentsAsCreated != nullptr) {
        addEvent(*reportContentsAsCreated, path,
                 FileSystemChange::created | kindOfListedEntry(entry.kind));
      }
      if (entry.kind == FolderEntryKind::folder) pending.push_back(std::move(path));
    }
  }
}

// The walk ran out of watches: the folders nearest the roots, which it watched, are not the ones
// where duplicates are most likely to appear. The watches it has move to the best ranked folders;
// the roots keep theirs, since the sub-trees hang from them.
void FileSystemMonitor::watchFoldersMostWorthWatching() {
  const long watches = static_cast<long>(folderOfWatch_.size());
  std::set<std::string> chosen;
  for (const auto& root : roots_) {
    if (watchOfFolder_.contains(root)) chosen.insert(root);
  }
  auto candidates = tallyFoldersBelowRoots();
  const size_t folders = candidates.size();
  std::erase_if(candidates, [&](const MonitorFolderTally& tally) {
    return std::find(roots_.begin(), roots_.end(), tally.folder.path) != roots_.end();
  });
  const long left = std::max(0L, watches - static_cast<long>(chosen.size()));
  for (auto& folder : AdaptiveMonitorURLSelectorImpl::foldersToWatch(candidates, left))
    chosen.insert(std::move(folder));

  for (auto it = watchOfFolder_.begin(); it != watchOfFolder_.end();) {
    if (chosen.contains(it->first)) {
      ++it;
      continue;
    }
    inotify_->unwatch(it->second);
    folderOfWatch_.erase(it->second);
    it = watchOfFolder_.erase(it);
  }
  for (const auto& folder : chosen) {
    if (watchOfFolder_.contains(folder)) continue;
    auto watch = inotify_->watchFolder(folder);
    if (watch.hasError()) {
      recordFailure(watch.error());
      continue;
    }
    folderOfWatch_[watch.value()] = folder;
    watchOfFolder_[folder] = watch.value();
  }
  status_.foldersNotWatched = folders - std::min(folders, folderOfWatch_.size());
}

// Every folder below the roots, the roots included, with its files and the duplicates among them.
std::vector<MonitorFolderTally> FileSystemMonitor::tallyFoldersBelowRoots() const {
  std::vector<MonitorFolderTally> tallies;
  std::deque<std::string> pending(roots_.begin(), roots_.end());
  while (!pending.empty()) {
    std::string folder = std::move(pending.front());
    pending.pop_front();
    auto modified = modificationDateOf(folder);
    auto entries = listFolder(folder);
    if (modified.hasError() || entries.hasError()) continue;
    MonitorFolderTally tally{{folder, modified.value()}};
    for (const auto& entry : entries.value()) {
      if (entry.kind == FolderEntryKind::folder) {
        pending.push_back(appendingPathComponent(folder, entry.name));
      } else if (entry.kind == FolderEntryKind::file) {
        ++tally.files;
      }
    }
    if (const auto& known = configuration_.duplicatesByFolder) {
      if (auto found = known->find(folder); found != known->end())
        tally.duplicates = std::min(found->second, tally.files);
    }
    tallies.push_back(std::move(tally));
  }
  return tallies;
}

// The folder's own entry, then its sub-tree: the paths starting with "<folder>/" are one range of
// the ordered map ("/a/b c" sorts between "/a/b" and "/a/b/x").
std::vector<std::map<std::string, int>::iterator> FileSystemMonitor::treeEntries(
    const std::string& folder) {
  std::vector<std::map<std::string, int>::iterator> entries;
  if (auto self = watchOfFolder_.find(folder); self != watchOfFolder_.end())
    entries.push_back(self);
  const std::string prefix = folder == "/" ? "/" : folder + "/";
  for (auto it = watchOfFolder_.lower_bound(prefix);
       it != watchOfFolder_.end() && it->first.starts_with(prefix); ++it) {
    if (it->first != folder) entries.push_back(it);
  }
  return entries;
}

void FileSystemMonitor::forgetTree(const std::string& folder, bool removeFromKernel) {
  for (auto entry : treeEntries(folder)) {
    if (removeFromKernel && inotify_) inotify_->unwatch(entry->second);
    folderOfWatch_.erase(entry->second);
    watchOfFolder_.erase(entry);
  }
}

void FileSystemMonitor::moveTree(const std::string& from, const std::string& to) {
  std::vector<std::pair<std::string, int>> moved;
  for (auto entry : treeEntries(from)) {
    moved.emplace_back(to + entry->first.substr(from.size()), entry->second);
    watchOfFolder_.erase(entry);
  }
  for (auto& [path, watch] : moved) {
    folderOfWatch_[watch] = path;
    watchOfFolder_[std::move(path)] = watch;
  }
}

void FileSystemMonitor::forgetWatch(int watch) {
  const auto found = folderOfWatch_.find(watch);
  if (found == folderOfWatch_.end()) return;
  const auto byFolder = watchOfFolder_.find(found->second);
  if (byFolder != watchOfFolder_.end() && byFolder->second == watch) watchOfFolder_.erase(byFolder);
  folderOfWatch_.erase(found);
}

void FileSystemMonitor::recordFailure(const Error& error) {
  ++status_.foldersNotWatched;
  if (error.code == ENOSPC) status_.watchLimitReached = true;
  if (!status_.firstFailure) {
    status_.firstFailure = error;
    Logger::shared().log(kAuthor, "watchTree", "Cannot watch a folder: " + error.oneLine(),
                         LogContext::at(error.path, true));
  }
}

// Every watched folder of an unmounted volume hears of it, in no particular order and maybe over
// several reads. The volume is gone from the tree by then: of its folders only the one it was
// mounted on still exists (the folder underneath), and that is the one to report.
bool FileSystemMonitor::isMountPointOfUnmountedVolume(const std::string& folder) const {
  if (isRoot(folder)) return true;
  auto kind = folderEntryKindOf(folder);
  return kind.hasValue() && kind.value() == FolderEntryKind::folder;
}

bool FileSystemMonitor::isRoot(const std::string& folder) const {
  return std::find(roots_.begin(), roots_.end(), folder) != roots_.end();
}

}  // namespace zarnik
