// DuplicatesMonitorStateStorage: the duplicates monitor's own store ("monitor.db", the same kind
// of store a scan's results live in, so that a review opens it like a scan's): the folders it
// watches, the groups it found and which of their copies are recent news.
//
// The engine reports a group whenever its membership changes; saving a group replaces whatever
// was stored for its copies. A copy new to the store becomes a recent duplicate when a rescan
// listed it (a copy that just appeared), never on the first walk of a folder. Recent duplicates
// keep their status (new, notified, viewed) while their copy stays in some group.
//
// Every method but the thread-safe readers at the end runs on queue().
#pragma once

#include "base/result.h"
#include "foundation/serial_queue.h"
#include "monitor/monitored_location.h"
#include "monitor/recent_duplicates_info.h"
#include "scanning/detection_result.h"
#include "store/managed_object_context.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace zarnik {

class DuplicatesMonitorStateStorage
    : public std::enable_shared_from_this<DuplicatesMonitorStateStorage> {
 public:
  // Opens (creating when missing, moving a damaged file aside) the store at `path`; ":memory:"
  // keeps it in memory. Fails when the store or its state cannot be made.
  static Result<std::shared_ptr<DuplicatesMonitorStateStorage>> open(const std::string& path);

  [[nodiscard]] const std::shared_ptr<SerialQueue>& queue() const { return queue_; }
  [[nodiscard]] const std::optional<std::string>& movedAsideTo() const { return movedAsideTo_; }
  // Told before (true) and after (false) every write, for the crash guard.
  void setWriteObserver(std::function<void(bool started)> observer) {
    writeObserver_ = std::move(observer);
  }

  // --- watched folders
  Result<void> addLocations(const std::vector<MonitoredLocationInfo>& locations);
  // Forgets the folders and every stored copy below them.
  Result<void> removeLocations(const std::vector<std::string>& paths);
  Result<void> setWasInitiallyScanned(const std::string& path);

  // --- groups
  // Identifiers for the copies of groups about to be saved, unique in the store.
  std::int64_t takeIdentifiers(std::int64_t count);
  // `groups`: the engine's groups as they now stand; `leftPaths`: copies that left their group
  // and are in none now; `listedByRescan`: copies a rescan listed, which may be news.
  Result<void> saveGroups(const std::vector<scanning_service::DetectionResult>& groups,
                          const std::set<std::string>& leftPaths,
                          const std::set<std::string>& listedByRescan);
  // Copies that are gone or no longer qualify: out of their groups, and of the recent ones. A
  // copy back at its path within the hour (put back from the trash, moved away and back) is
  // what it was before, not news.
  Result<void> removePaths(const std::set<std::string>& paths);
  // After a full walk of `folder`: forgets the copies below it that no group saved since the
  // store was opened confirmed (files gone or changed while the monitor was away).
  Result<void> forgetUnconfirmedUnder(const std::string& folder);
  [[nodiscard]] std::vector<std::string> storedPathsUnder(const std::string& folder) const;
  // The copies the person ignores: they stay in their groups, marked ignored, and their news
  // counts as seen. Copies stored later under these paths are ignored too.
  Result<void> setIgnoredCopies(std::set<std::string> paths);
  Result<void> mark(const std::vector<std::int64_t>& recentIDs, RecentDuplicateStatus status);
  // Every recent duplicate found until `date`.
  Result<void> markFoundUntil(Date date, RecentDuplicateStatus status);

  // --- readers, from any thread
  [[nodiscard]] std::vector<MonitoredLocationInfo> monitoredLocations() const;
  [[nodiscard]] RecentDuplicatesInfo recentDuplicatesInfo() const;
  [[nodiscard]] std::int64_t groupCount() const;
  [[nodiscard]] std::int64_t duplicateCount() const;
  // How many copies of the stored groups each folder holds, by the folder's path.
  [[nodiscard]] std::shared_ptr<const std::unordered_map<std::string, long>> duplicatesByFolder()
      const;
  // Told on queue() after every change of the summary.
  void setSummaryObserver(std::function<void(const RecentDuplicatesInfo&)> observer) {
    summaryObserver_ = std::move(observer);
  }

 private:
  struct StoredCopy {
    std::int64_t group = 0;
    std::optional<std::int64_t> recent;
  };
  struct RecentRecord {
    std::string path;
    Date foundDate{};
    RecentDuplicateStatus status = RecentDuplicateStatus::newlyFound;
    std::int64_t size = 0;
    NodeType type = NodeType::other;
    bool attached = true;  // its copy is in a stored group
  };

  DuplicatesMonitorStateStorage(std::unique_ptr<ManagedObjectContext> context,
                                std::optional<std::string> movedAsideTo);
  Result<void> load();
  Result<void> writeState();
  Result<void> write(const std::function<Result<void>()>& work);
  Result<void> deleteGroup(std::int64_t group);
  Result<void> deleteRecent(std::int64_t recent);
  Result<std::int64_t> insertRecent(const RecentRecord& record);
  Result<void> insertGroup(const scanning_service::DetectionResult& group,
                           const std::set<std::string>& listedByRescan);
  void noteDepartures(const std::set<std::string>& paths);
  void publishSummary();

  std::shared_ptr<SerialQueue> queue_;
  std::unique_ptr<ManagedObjectContext> context_;
  std::optional<std::string> movedAsideTo_;
  std::function<void(bool)> writeObserver_;
  std::function<void(const RecentDuplicatesInfo&)> summaryObserver_;

  std::unordered_map<std::string, StoredCopy> copies_;       // by path
  std::map<std::int64_t, std::vector<std::string>> groups_;  // stored group → its copies' paths
  std::map<std::int64_t, RecentRecord> recent_;
  std::set<std::string> confirmed_;  // copies saved since the store was opened
  std::set<std::string> ignored_;
  struct Departure {
    Date left{};
    std::optional<RecentRecord> record;  // its news, when it was news
  };
  std::map<std::string, Departure> departed_;  // copies removed within the hour, by path
  std::int64_t nextGroup_ = 1;
  std::atomic<std::int64_t> nextIdentifier_{1};
  std::vector<ScanLocationPtr>
      archivedLocations_;  // every folder ever watched: archives refer to them by position

  mutable std::mutex readersMutex_;
  std::vector<MonitoredLocationInfo> locations_;
  RecentDuplicatesInfo summary_;
  std::int64_t groupCount_ = 0;
  std::int64_t duplicateCount_ = 0;
  std::shared_ptr<const std::unordered_map<std::string, long>> duplicatesByFolder_;
};

}  // namespace zarnik
