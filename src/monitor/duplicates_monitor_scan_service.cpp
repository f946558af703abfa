#include "monitor/duplicates_monitor_scan_service.h"

#include "base/path_components.h"
#include "enumeration/file_system_enumeration.h"
#include "foundation/backlog.h"
#include "foundation/logger.h"
#include "foundation/operation_queue.h"
#include "matching/exact_pipeline.h"
#include "matching/matching_information.h"
#include "matching/media/media_pipeline.h"
#include "platform/resource_values.h"
#include "platform/trash_folders.h"
#include "platform/xdg_directories.h"
#include "scanning/candidate_group.h"
#include "selection/system_files.h"

#include <algorithm>
#include <thread>

namespace zarnik {
namespace {

constexpr const char* kAuthor = "DuplicatesMonitorScanService";

// The monitor tells of copies as they appear: exact duplicates, whatever a scan is set to look
// for, and identical audio when scans look for it. Similarity, folders and applications need the
// whole picture a full scan takes.
std::shared_ptr<const ExtendedScanRules> rulesForWatching(
    const std::shared_ptr<const ExtendedScanRules>& rules) {
  auto watching = rules ? std::static_pointer_cast<ExtendedScanRules>(rules->copy())
                        : std::make_shared<ExtendedScanRules>();
  watching->setExactMatchEnabled(true);
  watching->setSimilarsDetectionEnabled(false);
  watching->setDirectoriesMatchEnabled(false);
  watching->setApplicationsMatchEnabled(false);
  return watching;
}

bool isDirectlyIn(std::string_view path, std::string_view folder) {
  if (!isPathAtOrBelow(path, folder) || path.size() == folder.size()) return false;
  const size_t start = folder == "/" ? 1 : folder.size() + 1;
  return path.find('/', start) == std::string_view::npos;
}

}  // namespace

struct DuplicatesMonitorScanService::Walk {
  std::vector<RescanTask> tasks;
  bool mayBeNews = false;
  std::uint64_t generation = 0;
  std::set<std::string> gone;  // paths asked for that no longer exist
  std::vector<RescanTask> listedTasks;
  Promise<Void> promise;
};

std::shared_ptr<DuplicatesMonitorScanService> DuplicatesMonitorScanService::make(
    std::shared_ptr<DuplicatesMonitorStateStorage> storage, DuplicatesMonitorScanOptions options) {
  auto service = std::shared_ptr<DuplicatesMonitorScanService>(
      new DuplicatesMonitorScanService(std::move(storage), std::move(options)));
  service->setUp();
  return service;
}

DuplicatesMonitorScanService::DuplicatesMonitorScanService(
    std::shared_ptr<DuplicatesMonitorStateStorage> storage, DuplicatesMonitorScanOptions options)
    : storage_(std::move(storage)),
      options_(std::move(options)),
      queue_(SerialQueue::make("duplicates-monitor.scan", QualityOfService::background)) {}

DuplicatesMonitorScanService::~DuplicatesMonitorScanService() { cancellation_->cancel(); }

void DuplicatesMonitorScanService::setUp() {
  options_.scanRules = rulesForWatching(options_.scanRules);
  settings_ = MatchingSettings::of(*options_.scanRules);
  const size_t width = std::max(1U, std::thread::hardware_concurrency());
  // A watcher in the background reads and lists with two workers at most.
  const size_t workers = options_.background ? std::min<size_t>(2, width) : width;
  workQueue_ =
      OperationQueue::make("duplicates-monitor.work", workers, QualityOfService::background);
  enumerationQueue_ =
      OperationQueue::make("duplicates-monitor.enumeration", workers, QualityOfService::background);
  backlog_ = std::make_shared<Backlog>(20000, 10000);

  MatchingNodesFactoryOptions factoryOptions;
  factoryOptions.includeHiddenItems = options_.includeHiddenItems;
  const OVURLResolver& resolver = OVURLResolver::shared();
  factoryOptions.personalFolders = xdg::userDirectories();
  factoryOptions.personalFolders.push_back(resolver.homeURL());
  factoryOptions.trashFolders = TrashFolders::ofCurrentUser();
  factoryOptions.programFolders = xdg::zarnikDirectories();
  factoryOptions.cloudFolders = CloudServiceFolders::discover(resolver.homeURL());
  factory_ = MatchingNodesFactory::make(options_.scanRules, resolver, factoryOptions);

  std::vector<EquivalenceKind> kinds(kAllEquivalenceKinds.begin(), kAllEquivalenceKinds.end());
  engine_ = EquivalenceCandidatesProviderImpl::make(
      options_.scanRules,
      SerialQueue::make("duplicates-monitor.engine", QualityOfService::background),
      weak_from_this(), EquivalenceCandidatesAccumulationMode::continuous, inFlight_, kinds);

  ContentWork work;
  work.queue = workQueue_;
  work.width = workers;
  work.inFlight = inFlight_;
  work.cancellation = cancellation_;
  work.backgroundMode = std::make_shared<std::atomic<bool>>(options_.background);
  work.cache = options_.cache;
  work.reportFailure = [weak = weak_from_this()](const Error& error) {
    if (auto self = weak.lock(); self && self->errorHandler_) self->errorHandler_(error);
  };
  mediaPipeline_ = MediaPipeline::make(work, settings_, engine_);
  exactPipeline_ = ExactPipeline::make(
      work, backlog_,
      [media = mediaPipeline_](const MatchingNode& node) { return media->holds(node); });
  engine_->setContentReader(exactPipeline_);
}

void DuplicatesMonitorScanService::stop() {
  cancellation_->cancel();
  engine_->cancelAccumulation(CancellationMode::stopAllActivities);
  queue_->async([self = shared_from_this()] {
    if (self->pendingSave_) self->pendingSave_->cancel();
  });
}

Future<Void> DuplicatesMonitorScanService::scanLocation(const MonitoredLocationInfo& location) {
  return walk({RescanTask{location.path(), true}}, false);
}

Future<Void> DuplicatesMonitorScanService::forgetWhatWalksDidNotConfirm(
    std::vector<std::string> folders) {
  Promise<Void> done;
  auto future = done.future();
  flush().onComplete(*storage_->queue(), [storage = storage_, folders = std::move(folders),
                                          done](const Result<Void>&) mutable {
    for (const auto& folder : folders) {
      if (auto forgotten = storage->forgetUnconfirmedUnder(folder); forgotten.hasError()) {
        done.fail(forgotten.error());
        return;
      }
      (void)storage->setWasInitiallyScanned(folder);
    }
    done.succeed(Void{});
  });
  return future;
}

Future<Void> DuplicatesMonitorScanService::rescan(std::vector<RescanTask> tasks) {
  return walk(std::move(tasks), true);
}

Future<Void> DuplicatesMonitorScanService::walk(std::vector<RescanTask> tasks, bool mayBeNews) {
  static std::atomic<std::uint64_t> generations{0};
  auto walk = std::make_shared<Walk>();
  walk->tasks = std::move(tasks);
  walk->mayBeNews = mayBeNews;
  walk->generation = ++generations;
  auto future = walk->promise.future();
  auto self = shared_from_this();
  // The walk lists folders on the enumeration queue; the nodes it hands over reach this
  // service's queue in order, before the walk's end does.
  makeSucceededFuture(Void{})
      .flatMap(Executor::primary(), [self, walk](const Void&) { return self->runWalk(walk); })
      .onComplete(*queue_, [self, walk](const Result<Void>& ran) {
        if (ran.hasError()) {
          walk->promise.fail(ran.error());
          return;
        }
        self->finishWalk(walk);
      });
  return future;
}

Future<Void> DuplicatesMonitorScanService::runWalk(const std::shared_ptr<Walk>& walk) {
  std::vector<EnumerationSpecification> recursive;
  std::vector<EnumerationSpecification> oneLevel;
  for (const auto& task : walk->tasks) {
    auto location = locationOf(task.path);
    if (!location) continue;
    if (auto values = readResourceValues(task.path); values.hasError()) {
      walk->gone.insert(task.path);
      continue;
    }
    walk->listedTasks.push_back(task);
    (task.recursively ? recursive : oneLevel)
        .push_back(EnumerationSpecification{task.path, location, {}});
  }
  auto self = shared_from_this();
  auto status = [self] {
    return self->cancellation_->isCancelled() ? FileSystemEnumerationStatus::canceled
                                              : FileSystemEnumerationStatus::allowed;
  };
  auto onError = [self](const Error& error) {
    if (self->errorHandler_) self->errorHandler_(error);
  };
  auto onNodes = [self, walk](const std::vector<MatchingNodePtr>& nodes) {
    self->queue_->async([self, walk, nodes] { self->takeListed(walk, nodes); });
  };
  auto onNode = [onNodes](const MatchingNodePtr& node, const std::string&) { onNodes({node}); };
  // The deep walks first, then the folders listed one level deep, as one walk each.
  auto listed = makeSucceededFuture(Void{});
  for (auto* listing : {&recursive, &oneLevel}) {
    const bool deep = listing == &recursive;
    if (listing->empty()) continue;
    auto specifications = std::move(*listing);
    listed = listed.flatMap(Executor::immediate(), [self, deep, specifications, status, onNode,
                                                    onError, onNodes](const Void&) {
      EnumerationOptions enumerationOptions;
      enumerationOptions.recursively = deep;
      enumerationOptions.backlog = self->backlog_;
      enumerationOptions.shouldWaitUntilFinish = false;
      return MatchingNodesEnumerator::enumerate(specifications, *self->factory_,
                                                self->enumerationQueue_, enumerationOptions, status,
                                                onNode, onError, onNodes)
          ->whenFinished();
    });
  }
  return listed.map(Executor::immediate(), [self](const Void&) -> Result<Void> {
    if (self->cancellation_->isCancelled()) return Error::cancelled();
    return Void{};
  });
}

void DuplicatesMonitorScanService::takeListed(const std::shared_ptr<Walk>& walk,
                                              const std::vector<MatchingNodePtr>& nodes) {
  queue_->assertOnQueue();
  std::vector<std::pair<MatchingNodePtr, EquivalenceInfoPtr>> added;
  std::set<std::string> changed;
  for (const auto& node : nodes) {
    if (node->isDirectory() || !node->isProcessingAllowed() || !node->isMatchingAllowed()) continue;
    const std::string path = node->path();
    const auto& attributes = node->attributes();
    const FileStamp stamp{attributes.exactSize, attributes.dateOfModification,
                          attributes.fileResourceID};
    auto known = known_.find(path);
    if (known == known_.end() && static_cast<std::int64_t>(known_.size()) >= options_.nodeLimit) {
      reachedNodeLimit_.store(true);
      continue;
    }
    const bool isNew = known == known_.end();
    if (isNew) known = known_.emplace(path, KnownFile{}).first;
    known->second.generation = walk->generation;
    if (!isNew && known->second.stamp == stamp) continue;  // unchanged: nothing to match again
    known->second.stamp = stamp;
    if (walk->mayBeNews) listedByRescan_.insert(path);
    // A changed file leaves every group it was in (its digest is stale), and arrives anew.
    if (!isNew) changed.insert(path);
    auto infos = matchingInformationOf(*node, settings_);
    mediaPipeline_->take(node);
    for (auto& info : infos) added.emplace_back(node, std::move(info));
  }
  knownFileCount_.store(static_cast<std::int64_t>(known_.size()));
  if (!changed.empty()) engine_->removeNodes(std::move(changed));
  if (!added.empty()) engine_->addBatch(std::move(added));
}

void DuplicatesMonitorScanService::finishWalk(const std::shared_ptr<Walk>& walk) {
  queue_->assertOnQueue();
  // Files once known below what was listed, and not listed now, are gone.
  std::set<std::string> gone = walk->gone;
  for (const auto& task : walk->listedTasks) {
    for (auto it = known_.lower_bound(task.path);
         it != known_.end() && isPathAtOrBelow(it->first, task.path); ++it) {
      if (it->second.generation == walk->generation) continue;
      if (task.recursively || it->first == task.path || isDirectlyIn(it->first, task.path))
        gone.insert(it->first);
    }
  }
  forget(gone);
  // Done once the engine has matched what the walk handed over.
  inFlight_->notify(*queue_, [walk] { walk->promise.succeed(Void{}); });
}

void DuplicatesMonitorScanService::remove(const std::set<std::string>& paths) {
  queue_->async([self = shared_from_this(), paths] { self->forget(paths); });
}

void DuplicatesMonitorScanService::forget(const std::set<std::string>& paths) {
  queue_->assertOnQueue();
  if (paths.empty()) return;
  std::set<std::string> files;
  for (const auto& path : paths) {
    for (auto it = known_.lower_bound(path);
         it != known_.end() && isPathAtOrBelow(it->first, path);) {
      files.insert(it->first);
      listedByRescan_.erase(it->first);
      it = known_.erase(it);
    }
  }
  knownFileCount_.store(static_cast<std::int64_t>(known_.size()));
  if (!files.empty()) engine_->removeNodes(files);
  // Stored copies below a folder that went are forgotten too, known to the engine or not.
  storage_->queue()->async([storage = storage_, paths] {
    std::set<std::string> stored;
    for (const auto& path : paths) {
      for (auto& copy : storage->storedPathsUnder(path)) stored.insert(std::move(copy));
    }
    (void)storage->removePaths(stored);
  });
}

ScanLocationPtr DuplicatesMonitorScanService::locationOf(const std::string& path) const {
  ScanLocationPtr best;
  for (const auto& location : storage_->monitoredLocations()) {
    if (!isPathAtOrBelow(path, location.path())) continue;
    if (!best || location.path().size() > best->path().size()) best = location.scanLocation;
  }
  return best;
}

// --- groups

void DuplicatesMonitorScanService::didMatchDuplicates(
    ByteCount, const std::vector<DuplicateCandidatePtr>& duplicates,
    const EquivalenceCandidate& group, EquivalenceCandidatesProviderImpl&) {
  if (!shouldPublicateCandidates(group.equivalenceKind())) return;
  changedMemberships_.insert(changedMemberships_.end(), duplicates.begin(), duplicates.end());
  queue_->async([self = shared_from_this()] { self->scheduleSave(); });
}

void DuplicatesMonitorScanService::didUnmatchDuplicates(
    const std::vector<DuplicateCandidatePtr>& duplicates, const EquivalenceCandidate& group,
    EquivalenceCandidatesProviderImpl&) {
  if (!shouldPublicateCandidates(group.equivalenceKind())) return;
  leftMemberships_.insert(leftMemberships_.end(), duplicates.begin(), duplicates.end());
  // One remaining membership leads to the group as it now stands.
  if (!group.duplicates().empty()) changedMemberships_.push_back(group.duplicates().front());
  queue_->async([self = shared_from_this()] { self->scheduleSave(); });
}

void DuplicatesMonitorScanService::scheduleSave() {
  queue_->assertOnQueue();
  if (pendingSave_) pendingSave_->cancel();
  pendingSave_ = DelayedWorkItem::schedule(*options_.clock, options_.saveInterval, queue_,
                                           [weak = weak_from_this()] {
                                             if (auto self = weak.lock()) (void)self->save();
                                           });
}

Future<Void> DuplicatesMonitorScanService::flush() {
  Promise<Void> done;
  auto future = done.future();
  queue_->async([self = shared_from_this(), done]() mutable {
    if (self->pendingSave_) self->pendingSave_->cancel();
    self->save().onComplete(Executor::immediate(),
                            [done](const Result<Void>& saved) mutable { done.complete(saved); });
  });
  return future;
}

Future<Void> DuplicatesMonitorScanService::save() {
  queue_->assertOnQueue();
  pendingSave_.reset();
  std::set<std::string> listed;
  listed.swap(listedByRescan_);
  Promise<Void> done;
  auto future = done.future();
  auto self = shared_from_this();
  // The groups are read where they live, on the engine's queue.
  engine_->internalQueue()->async([self, listed = std::move(listed), done]() mutable {
    std::set<const EquivalenceCandidate*> changed;
    for (const auto& membership : self->changedMemberships_) {
      if (const auto* group = membership->equivalenceCandidate()) changed.insert(group);
    }
    std::vector<CandidateGroup> groups;
    std::set<std::string> grouped;
    std::set<std::string> left;
    const ModelingRules modeling = ModelingRules::of(*self->options_.scanRules);
    for (const auto* group : changed) {
      auto candidate = candidateGroupOf(*group, modeling);
      if (candidate.members.size() < 2) {
        for (const auto& membership : group->duplicates()) left.insert(membership->node()->path());
        continue;
      }
      for (const auto& member : candidate.members) grouped.insert(member.path);
      groups.push_back(std::move(candidate));
    }
    for (const auto& membership : self->leftMemberships_) {
      if (membership->equivalenceCandidate() == nullptr) left.insert(membership->node()->path());
    }
    for (const auto& path : grouped) left.erase(path);
    self->changedMemberships_.clear();
    self->leftMemberships_.clear();
    if (groups.empty() && left.empty()) {
      done.succeed(Void{});
      return;
    }
    self->storage_->queue()->async([self, groups = std::move(groups), left = std::move(left),
                                    listed = std::move(listed), done]() mutable {
      std::int64_t members = 0;
      for (const auto& group : groups) members += static_cast<std::int64_t>(group.members.size());
      std::int64_t nextIdentifier = self->storage_->takeIdentifiers(members);
      const Autoselector autoselector(
          OVURLResolver::shared(), self->options_.autoselectionRules,
          SystemFiles::ofThisSystem(pathsOf(self->storage_->monitoredLocations())));
      std::vector<scanning_service::DetectionResult> results;
      results.reserve(groups.size());
      for (const auto& group : groups) {
        results.push_back(group.detectionResult(nextIdentifier));
        results.back().detectDifferencesAndSelect(autoselector);
      }
      auto saved = self->storage_->saveGroups(results, left, listed);
      if (saved.hasError()) {
        Logger::shared().log(kAuthor, "save()",
                             "Did fail to save the groups: " + saved.error().oneLine());
        done.fail(saved.error());
        return;
      }
      done.succeed(Void{});
    });
  });
  return future;
}

}  // namespace zarnik
