#include "monitor/duplicates_monitor_state_storage.h"

#include "base/path_components.h"
#include "foundation/logger.h"
#include "foundation/url_resolver.h"
#include "scanning/stored_detection_result.h"

#include <algorithm>

namespace zarnik {
namespace {

constexpr const char* kAuthor = "DuplicatesMonitorStateStorage";
constexpr std::int64_t kStateKey = 1;  // the one state record
constexpr size_t kLatestCount = 3;
constexpr auto kDepartureMemory = std::chrono::hours(1);

std::int64_t milliseconds(Date date) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(date.time_since_epoch()).count();
}

Date dateOfMilliseconds(std::int64_t value) { return Date(std::chrono::milliseconds(value)); }

}  // namespace

Result<std::shared_ptr<DuplicatesMonitorStateStorage>> DuplicatesMonitorStateStorage::open(
    const std::string& path) {
  const auto specification =
      path == ":memory:"
          ? OVPersistentStoreSpecification::ramPersistentStore(ManagedObjectModel::fileModel())
          : OVPersistentStoreSpecification::diskPersistentStore(ManagedObjectModel::fileModel(),
                                                                path);
  ZK_ASSIGN_OR_RETURN(auto store, specification.buildPersistentStore());
  auto movedAsideTo = store->movedAsideTo();
  ZK_ASSIGN_OR_RETURN(auto context, ManagedObjectContext::make(std::move(store)));
  auto storage = std::shared_ptr<DuplicatesMonitorStateStorage>(
      new DuplicatesMonitorStateStorage(std::move(context), std::move(movedAsideTo)));
  Result<void> loaded = success();
  storage->queue_->sync([&] { loaded = storage->load(); });
  if (loaded.hasError()) return loaded.error();
  return storage;
}

DuplicatesMonitorStateStorage::DuplicatesMonitorStateStorage(
    std::unique_ptr<ManagedObjectContext> context, std::optional<std::string> movedAsideTo)
    : queue_(SerialQueue::make("duplicates-monitor.state-storage", QualityOfService::utility)),
      context_(std::move(context)),
      movedAsideTo_(std::move(movedAsideTo)),
      archivedLocations_(context_->scanLocations()) {}

Result<void> DuplicatesMonitorStateStorage::load() {
  auto& database = context_->store().database();
  ZK_TRY(database.execute("INSERT OR IGNORE INTO ZKDuplicateMonitorState (Z_PK) VALUES (1)"));
  ZK_ASSIGN_OR_RETURN(
      auto state,
      database.prepare("SELECT monitoredLocations FROM ZKDuplicateMonitorState WHERE Z_PK = 1"));
  ZK_ASSIGN_OR_RETURN(const bool hasState, state.step());
  if (hasState) {
    if (auto text = state.optionalText(0)) {
      if (auto json = parseJson(*text, "monitoredLocations"); json.hasValue()) {
        std::lock_guard lock(readersMutex_);
        locations_ = decodeMonitoredLocations(json.value());
      }
    }
  }

  ZK_ASSIGN_OR_RETURN(auto records,
                      database.prepare("SELECT Z_PK, foundDate, status FROM ZKRecentDuplicate"));
  while (true) {
    ZK_ASSIGN_OR_RETURN(const bool row, records.step());
    if (!row) break;
    RecentRecord record;
    record.foundDate = dateOfMilliseconds(records.integer(1));
    record.status =
        static_cast<RecentDuplicateStatus>(std::clamp<std::int64_t>(records.integer(2), 0, 2));
    record.attached = false;
    recent_[records.integer(0)] = std::move(record);
  }

  std::int64_t largestIdentifier = 0;
  ZK_TRY(context_->forEachEquivalence([&](ZKEquivalence& group) {
    nextGroup_ = std::max(nextGroup_, group.uniqueIdentifier + 1);
    auto& paths = groups_[group.uniqueIdentifier];
    for (const auto& copy : group.duplicates) {
      largestIdentifier = std::max(largestIdentifier, copy.identifier);
      const auto node = copy.node();
      if (!node) continue;
      paths.push_back(node->path());
      copies_[node->path()] = StoredCopy{group.uniqueIdentifier, copy.recentDuplicate};
      // As stored until the person's list is applied: a copy no longer on it is then rewritten.
      if (copy.ignored) ignored_.insert(node->path());
      if (!copy.recentDuplicate) continue;
      if (auto it = recent_.find(*copy.recentDuplicate); it != recent_.end()) {
        it->second.path = node->path();
        it->second.size = node->exactSize();
        it->second.type = node->type();
        it->second.attached = true;
      }
    }
    return true;
  }));
  nextIdentifier_.store(largestIdentifier + 1);
  // Records whose copy was never stored belong to nothing: a write cut off between the two.
  for (auto it = recent_.begin(); it != recent_.end();) {
    if (it->second.attached) {
      ++it;
      continue;
    }
    ZK_TRY(deleteRecent(it->first));
    it = recent_.erase(it);
  }
  publishSummary();
  return success();
}

Result<void> DuplicatesMonitorStateStorage::write(const std::function<Result<void>()>& work) {
  if (writeObserver_) writeObserver_(true);
  auto written = context_->performTransaction(work);
  if (writeObserver_) writeObserver_(false);
  if (written.hasError())
    Logger::shared().log(kAuthor, "write()", "Did fail to write: " + written.error().oneLine());
  return written;
}

Result<void> DuplicatesMonitorStateStorage::writeState() {
  std::vector<MonitoredLocationInfo> locations;
  {
    std::lock_guard lock(readersMutex_);
    locations = locations_;
  }
  std::int64_t recentSize = 0;
  for (const auto& [id, record] : recent_) {
    if (record.attached) recentSize += record.size;
  }
  ZK_ASSIGN_OR_RETURN(
      auto update, context_->store().database().prepare(
                       "UPDATE ZKDuplicateMonitorState SET monitoredLocations = ?, "
                       "hadScanLocations = hadScanLocations OR ?, cachedRecentDuplicatesSize = ? "
                       "WHERE Z_PK = 1"));
  update.bind(1, dumpJson(encodeMonitoredLocations(locations)));
  update.bind(2, std::int64_t{!locations.empty()}).bind(3, recentSize);
  return update.run();
}

// --- watched folders

Result<void> DuplicatesMonitorStateStorage::addLocations(
    const std::vector<MonitoredLocationInfo>& added) {
  queue_->assertOnQueue();
  {
    std::lock_guard lock(readersMutex_);
    for (const auto& location : added) {
      const bool known =
          std::any_of(locations_.begin(), locations_.end(),
                      [&](const auto& existing) { return existing.path() == location.path(); });
      if (!known) locations_.push_back(location);
    }
  }
  return write([&]() -> Result<void> {
    bool archivesGrew = false;
    for (const auto& location : added) {
      const bool archived =
          std::any_of(archivedLocations_.begin(), archivedLocations_.end(),
                      [&](const auto& known) { return known && known->path() == location.path(); });
      if (archived) continue;
      archivedLocations_.push_back(location.scanLocation);
      archivesGrew = true;
    }
    if (archivesGrew) ZK_TRY(context_->setScanLocations(archivedLocations_));
    return writeState();
  });
}

Result<void> DuplicatesMonitorStateStorage::removeLocations(const std::vector<std::string>& paths) {
  queue_->assertOnQueue();
  {
    std::lock_guard lock(readersMutex_);
    std::erase_if(locations_, [&](const auto& location) {
      return std::find(paths.begin(), paths.end(), location.path()) != paths.end();
    });
  }
  std::set<std::string> below;
  for (const auto& path : paths) {
    for (auto& copy : storedPathsUnder(path)) below.insert(std::move(copy));
  }
  ZK_TRY(removePaths(below));
  return write([&] { return writeState(); });
}

Result<void> DuplicatesMonitorStateStorage::setWasInitiallyScanned(const std::string& path) {
  queue_->assertOnQueue();
  {
    std::lock_guard lock(readersMutex_);
    for (auto& location : locations_) {
      if (location.path() == path) location.wasInitiallyScanned = true;
    }
  }
  return write([&] { return writeState(); });
}

// --- groups

std::int64_t DuplicatesMonitorStateStorage::takeIdentifiers(std::int64_t count) {
  return nextIdentifier_.fetch_add(count);
}

Result<void> DuplicatesMonitorStateStorage::deleteGroup(std::int64_t group) {
  auto it = groups_.find(group);
  if (it == groups_.end()) return success();
  for (const auto& path : it->second) {
    auto copy = copies_.find(path);
    if (copy == copies_.end() || copy->second.group != group) continue;
    // Its record waits for the copy to join a group again, or to go.
    if (copy->second.recent) {
      if (auto record = recent_.find(*copy->second.recent); record != recent_.end())
        record->second.attached = false;
    }
    copies_.erase(copy);
  }
  groups_.erase(it);
  return context_->deleteEquivalence(group);
}

Result<void> DuplicatesMonitorStateStorage::deleteRecent(std::int64_t recent) {
  ZK_ASSIGN_OR_RETURN(auto remove, context_->store().database().prepare(
                                       "DELETE FROM ZKRecentDuplicate WHERE Z_PK = ?"));
  return remove.bind(1, recent).run();
}

Result<std::int64_t> DuplicatesMonitorStateStorage::insertRecent(const RecentRecord& record) {
  auto& database = context_->store().database();
  ZK_ASSIGN_OR_RETURN(
      auto insert,
      database.prepare(
          "INSERT INTO ZKRecentDuplicate (monitorState, foundDate, status) VALUES (?, ?, ?)"));
  ZK_TRY(insert.bind(1, kStateKey)
             .bind(2, milliseconds(record.foundDate))
             .bind(3, static_cast<std::int64_t>(record.status))
             .run());
  return database.lastInsertRowID();
}

Result<void> DuplicatesMonitorStateStorage::insertGroup(
    const scanning_service::DetectionResult& group, const std::set<std::string>& listedByRescan) {
  const std::int64_t identifier = nextGroup_++;
  ZKEquivalence model = modelOfDetectionResult(group, identifier, context_->substitutions());
  model.duplicatesMonitorState = kStateKey;
  auto& paths = groups_[identifier];
  for (size_t index = 0; index < model.duplicates.size(); ++index) {
    const auto& node = group.equivalence.duplicates[index].node;
    const std::string path = node->path();
    paths.push_back(path);
    confirmed_.insert(path);
    // A record left by the copy's earlier group, else a new one for a copy that just appeared.
    std::optional<std::int64_t> recent;
    for (auto& [id, record] : recent_) {
      if (!record.attached && record.path == path) {
        recent = id;
        record.attached = true;
        record.size = node->exactSize();
        break;
      }
    }
    if (!recent && listedByRescan.contains(path)) {
      std::optional<RecentRecord> record = RecentRecord{
          path,         dateNow(), RecentDuplicateStatus::newlyFound, node->exactSize(),
          node->type(), true};
      if (auto departed = departed_.find(path); departed != departed_.end()) {
        record = departed->second.record;
        departed_.erase(departed);
      }
      if (record) {
        record->attached = true;
        ZK_ASSIGN_OR_RETURN(recent, insertRecent(*record));
        recent_[*recent] = std::move(*record);
      }
    }
    model.duplicates[index].recentDuplicate = recent;
    model.duplicates[index].ignored = ignored_.contains(path);
    copies_[path] = StoredCopy{identifier, recent};
  }
  return context_->insertEquivalence(model);
}

Result<void> DuplicatesMonitorStateStorage::saveGroups(
    const std::vector<scanning_service::DetectionResult>& groups,
    const std::set<std::string>& leftPaths, const std::set<std::string>& listedByRescan) {
  queue_->assertOnQueue();
  auto written = write([&]() -> Result<void> {
    // Every stored group holding a copy of a changed group is replaced: the engine reports a
    // group whole whenever its membership changes.
    std::set<std::int64_t> replaced;
    auto noteStoredGroupOf = [&](const std::string& path) {
      if (auto copy = copies_.find(path); copy != copies_.end())
        replaced.insert(copy->second.group);
    };
    for (const auto& group : groups) {
      for (const auto& copy : group.equivalence.duplicates) noteStoredGroupOf(copy.node->path());
    }
    for (const auto& path : leftPaths) noteStoredGroupOf(path);
    for (const std::int64_t group : replaced) ZK_TRY(deleteGroup(group));
    for (const auto& group : groups) {
      if (group.equivalence.duplicates.size() >= 2) ZK_TRY(insertGroup(group, listedByRescan));
    }
    return writeState();
  });
  publishSummary();
  return written;
}

void DuplicatesMonitorStateStorage::noteDepartures(const std::set<std::string>& paths) {
  const Date now = dateNow();
  std::erase_if(departed_,
                [&](const auto& entry) { return now - entry.second.left > kDepartureMemory; });
  for (const auto& path : paths) {
    const auto copy = copies_.find(path);
    if (copy == copies_.end()) continue;
    Departure departure{now, std::nullopt};
    if (copy->second.recent) {
      if (auto record = recent_.find(*copy->second.recent); record != recent_.end())
        departure.record = record->second;
    }
    departed_[path] = std::move(departure);
  }
}

Result<void> DuplicatesMonitorStateStorage::removePaths(const std::set<std::string>& paths) {
  queue_->assertOnQueue();
  if (paths.empty()) return success();
  noteDepartures(paths);
  auto written = write([&]() -> Result<void> {
    std::set<std::int64_t> touched;
    for (const auto& path : paths) {
      if (auto copy = copies_.find(path); copy != copies_.end()) touched.insert(copy->second.group);
    }
    for (const std::int64_t group : touched) {
      // The group's other copies stay together when at least two are left.
      auto stored = context_->fetchEquivalence(group);
      ZK_TRY(deleteGroup(group));
      if (stored.hasError() || !stored.value()) continue;
      ZKEquivalence remaining = std::move(*stored.value());
      std::erase_if(remaining.duplicates, [&](const ZKDuplicate& copy) {
        const auto node = copy.node();
        return !node || paths.contains(node->path());
      });
      if (remaining.duplicates.size() < 2) continue;
      auto& groupPaths = groups_[remaining.uniqueIdentifier];
      for (const auto& copy : remaining.duplicates) {
        const std::string path = copy.node()->path();
        groupPaths.push_back(path);
        copies_[path] = StoredCopy{remaining.uniqueIdentifier, copy.recentDuplicate};
        if (copy.recentDuplicate) {
          if (auto record = recent_.find(*copy.recentDuplicate); record != recent_.end())
            record->second.attached = true;
        }
      }
      ZK_TRY(context_->insertEquivalence(remaining));
    }
    for (auto it = recent_.begin(); it != recent_.end();) {
      if (it->second.attached || !paths.contains(it->second.path)) {
        ++it;
        continue;
      }
      ZK_TRY(deleteRecent(it->first));
      it = recent_.erase(it);
    }
    return writeState();
  });
  publishSummary();
  return written;
}

Result<void> DuplicatesMonitorStateStorage::forgetUnconfirmedUnder(const std::string& folder) {
  queue_->assertOnQueue();
  std::set<std::string> stale;
  for (auto& path : storedPathsUnder(folder)) {
    if (!confirmed_.contains(path)) stale.insert(std::move(path));
  }
  // Records of copies that left their group while the monitor was away go too.
  for (const auto& [id, record] : recent_) {
    if (!record.attached && isPathAtOrBelow(record.path, folder)) stale.insert(record.path);
  }
  return removePaths(stale);
}

std::vector<std::string> DuplicatesMonitorStateStorage::storedPathsUnder(
    const std::string& folder) const {
  std::vector<std::string> paths;
  for (const auto& [path, copy] : copies_) {
    if (isPathAtOrBelow(path, folder)) paths.push_back(path);
  }
  return paths;
}

Result<void> DuplicatesMonitorStateStorage::setIgnoredCopies(std::set<std::string> paths) {
  queue_->assertOnQueue();
  std::set<std::int64_t> changedGroups;
  std::vector<std::int64_t> nowSeen;
  for (const auto& [path, copy] : copies_) {
    const bool ignored = paths.contains(path);
    if (ignored != ignored_.contains(path)) changedGroups.insert(copy.group);
    if (ignored && copy.recent) nowSeen.push_back(*copy.recent);
  }
  ignored_ = std::move(paths);
  auto written = write([&]() -> Result<void> {
    for (const std::int64_t group : changedGroups) {
      ZK_ASSIGN_OR_RETURN(auto stored, context_->fetchEquivalence(group));
      if (!stored) continue;
      for (auto& copy : stored->duplicates) {
        const auto node = copy.node();
        copy.ignored = node && ignored_.contains(node->path());
      }
      ZK_TRY(context_->updateEquivalence(*stored));
    }
    return success();
  });
  if (written.hasError()) {
    publishSummary();
    return written;
  }
  return mark(nowSeen, RecentDuplicateStatus::viewed);
}

Result<void> DuplicatesMonitorStateStorage::mark(const std::vector<std::int64_t>& recentIDs,
                                                 RecentDuplicateStatus status) {
  queue_->assertOnQueue();
  auto written = write([&]() -> Result<void> {
    ZK_ASSIGN_OR_RETURN(auto update, context_->store().database().prepare(
                                         "UPDATE ZKRecentDuplicate SET status = ? WHERE Z_PK = ?"));
    for (const std::int64_t id : recentIDs) {
      auto record = recent_.find(id);
      if (record == recent_.end() || !canBeUpgraded(record->second.status, status)) continue;
      record->second.status = status;
      ZK_TRY(update.bind(1, static_cast<std::int64_t>(status)).bind(2, id).run());
      update.reset();
    }
    return success();
  });
  publishSummary();
  return written;
}

Result<void> DuplicatesMonitorStateStorage::markFoundUntil(Date date,
                                                           RecentDuplicateStatus status) {
  std::vector<std::int64_t> ids;
  for (const auto& [id, record] : recent_) {
    if (record.foundDate <= date && canBeUpgraded(record.status, status)) ids.push_back(id);
  }
  if (ids.empty()) return success();
  return mark(ids, status);
}

void DuplicatesMonitorStateStorage::publishSummary() {
  std::vector<std::pair<std::int64_t, const RecentRecord*>> records;
  for (const auto& [id, record] : recent_) {
    if (record.attached) records.emplace_back(id, &record);
  }
  std::sort(records.begin(), records.end(), [](const auto& a, const auto& b) {
    return a.second->foundDate != b.second->foundDate ? a.second->foundDate > b.second->foundDate
                                                      : a.first > b.first;
  });
  const auto& resolver = OVURLResolver::shared();
  auto view = [&](std::int64_t id, const RecentRecord& record) {
    RecentDuplicate duplicate;
    duplicate.id = id;
    duplicate.name = std::string(lastPathComponent(record.path));
    duplicate.path = record.path;
    duplicate.abbreviatedPath = resolver.abbreviatedPath(record.path);
    duplicate.foundDate = record.foundDate;
    duplicate.fileType = record.type;
    duplicate.size = record.size;
    duplicate.isIgnored = ignored_.contains(record.path);
    return duplicate;
  };
  RecentDuplicatesInfo info;
  for (const auto& [id, record] : records) {
    if (info.latest.size() < kLatestCount) info.latest.push_back(view(id, *record));
    if (record->status == RecentDuplicateStatus::newlyFound) {
      info.newDuplicates.push_back(view(id, *record));
      info.newIDs.push_back(id);
      ++info.newCount;
      info.newSize += record->size;
    }
    if (record->status != RecentDuplicateStatus::viewed) ++info.notViewedCount;
    ++info.totalCount;
    info.totalSize += record->size;
  }
  auto byFolder = std::make_shared<std::unordered_map<std::string, long>>();
  for (const auto& [path, copy] : copies_) ++(*byFolder)[parentPath(path)];
  {
    std::lock_guard lock(readersMutex_);
    summary_ = info;
    groupCount_ = static_cast<std::int64_t>(groups_.size());
    duplicateCount_ = static_cast<std::int64_t>(copies_.size());
    duplicatesByFolder_ = std::move(byFolder);
  }
  if (summaryObserver_) summaryObserver_(info);
}

// --- readers

std::vector<MonitoredLocationInfo> DuplicatesMonitorStateStorage::monitoredLocations() const {
  std::lock_guard lock(readersMutex_);
  return locations_;
}

RecentDuplicatesInfo DuplicatesMonitorStateStorage::recentDuplicatesInfo() const {
  std::lock_guard lock(readersMutex_);
  return summary_;
}

std::int64_t DuplicatesMonitorStateStorage::groupCount() const {
  std::lock_guard lock(readersMutex_);
  return groupCount_;
}

std::int64_t DuplicatesMonitorStateStorage::duplicateCount() const {
  std::lock_guard lock(readersMutex_);
  return duplicateCount_;
}

std::shared_ptr<const std::unordered_map<std::string, long>>
DuplicatesMonitorStateStorage::duplicatesByFolder() const {
  std::lock_guard lock(readersMutex_);
  return duplicatesByFolder_;
}

}  // namespace zarnik
