// DuplicatesMonitorScanService: the matching engine in its continuous mode, fed by walks of the
// watched folders and by rescans of what changed, its groups saved to the monitor's store.
//
// One engine serves every folder, so that a copy made in one folder of a file in another is
// found. Files are remembered by a stamp (size, modification time, file number): a rescan that
// lists a file unchanged costs nothing, a changed or new one is matched again, one no longer
// listed leaves its group. Groups the engine reports changed are saved at most every two seconds
// of quiet (each change moves the save on), so that a burst of copies is one write.
//
// The engine reports on its own queue; the service's bookkeeping runs on its serial queue and
// saving on the storage's queue. Walks run on the shared pool, listing in parallel.
#pragma once

#include "foundation/cancellation_token.h"
#include "foundation/delayed_work_item.h"
#include "foundation/future.h"
#include "foundation/serial_queue.h"
#include "matching/digest_cache.h"
#include "matching/match_candidates_provider.h"
#include "matching/matching_nodes_factory.h"
#include "matching/matching_settings.h"
#include "monitor/duplicates_monitor_state_storage.h"
#include "monitor/rescan_request.h"
#include "selection/autoselector.h"

#include <atomic>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace zarnik {

class ExactPipeline;
class MediaPipeline;
class OperationQueue;
class Backlog;

struct DuplicatesMonitorScanOptions {
  std::shared_ptr<const ExtendedScanRules> scanRules;  // made fit for watching by the service
  ExtendedAutoselectionRules autoselectionRules;
  std::shared_ptr<DigestCache> cache;
  bool includeHiddenItems = false;
  std::int64_t nodeLimit = 100000;  // files the engine holds at most
  Clock* clock = &Clock::system();
  double saveInterval = 2.0;
  // Reads wait for other readers of the disk: the monitor never slows what a person does.
  bool background = true;
};

class DuplicatesMonitorScanService final
    : public EquivalenceCandidatesProviderDelegate,
      public std::enable_shared_from_this<DuplicatesMonitorScanService> {
 public:
  static std::shared_ptr<DuplicatesMonitorScanService> make(
      std::shared_ptr<DuplicatesMonitorStateStorage> storage, DuplicatesMonitorScanOptions options);
  ~DuplicatesMonitorScanService() override;

  // Walks a folder whole. Its groups are not news: nothing it finds becomes a recent duplicate.
  // Completes once its files are matched.
  Future<Void> scanLocation(const MonitoredLocationInfo& location);
  // Once every watched folder was walked (a copy's group may span folders): saves, and forgets
  // what the store held below these folders that no walk found again.
  Future<Void> forgetWhatWalksDidNotConfirm(std::vector<std::string> folders);
  // Lists the paths again (a folder with everything below it when asked); completes once what
  // they hold is matched. A file new or changed here may become a recent duplicate.
  Future<Void> rescan(std::vector<RescanTask> tasks);
  // Paths that are gone or no longer qualify, with everything known below them.
  void remove(const std::set<std::string>& paths);
  // Saves what changed now instead of after the quiet interval.
  Future<Void> flush();
  void stop();

  // Files the engine holds, and whether the limit kept others out.
  [[nodiscard]] std::int64_t knownFileCount() const { return knownFileCount_.load(); }
  [[nodiscard]] bool reachedNodeLimit() const { return reachedNodeLimit_.load(); }
  // A file that could not be read, a folder that could not be listed.
  void setErrorHandler(std::function<void(const Error&)> handler) {
    errorHandler_ = std::move(handler);
  }

  // Engine delegate (on the engine's queue).
  void didMatchDuplicates(ByteCount ofSize, const std::vector<DuplicateCandidatePtr>& duplicates,
                          const EquivalenceCandidate& group,
                          EquivalenceCandidatesProviderImpl& provider) override;
  void didUnmatchDuplicates(const std::vector<DuplicateCandidatePtr>& duplicates,
                            const EquivalenceCandidate& group,
                            EquivalenceCandidatesProviderImpl& provider) override;
  void accumulationProgressChanged(int, int, const std::optional<std::string>&,
                                   EquivalenceCandidatesProviderImpl&) override {}

 private:
  struct FileStamp {
    ByteCount size = 0;
    Date modified{};
    std::optional<FileId> file;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
  };
  struct KnownFile {
    FileStamp stamp;
    std::uint64_t generation = 0;  // the last walk that listed it
  };
  struct Walk;

  DuplicatesMonitorScanService(std::shared_ptr<DuplicatesMonitorStateStorage> storage,
                               DuplicatesMonitorScanOptions options);
  void setUp();
  Future<Void> walk(std::vector<RescanTask> tasks, bool mayBeNews);
  Future<Void> runWalk(const std::shared_ptr<Walk>& walk);
  void takeListed(const std::shared_ptr<Walk>& walk, const std::vector<MatchingNodePtr>& nodes);
  void finishWalk(const std::shared_ptr<Walk>& walk);
  [[nodiscard]] ScanLocationPtr locationOf(const std::string& path) const;
  void forget(const std::set<std::string>& paths);
  void scheduleSave();
  Future<Void> save();

  std::shared_ptr<DuplicatesMonitorStateStorage> storage_;
  DuplicatesMonitorScanOptions options_;
  std::shared_ptr<SerialQueue> queue_;
  std::shared_ptr<OperationQueue> workQueue_;
  std::shared_ptr<OperationQueue> enumerationQueue_;
  std::shared_ptr<DispatchGroup> inFlight_ = std::make_shared<DispatchGroup>();
  std::shared_ptr<CancellationToken> cancellation_ = CancellationToken::make();
  std::shared_ptr<Backlog> backlog_;
  std::shared_ptr<MatchingNodesFactory> factory_;
  std::shared_ptr<EquivalenceCandidatesProviderImpl> engine_;
  std::shared_ptr<ExactPipeline> exactPipeline_;
  std::shared_ptr<MediaPipeline> mediaPipeline_;
  MatchingSettings settings_;
  std::function<void(const Error&)> errorHandler_;

  // On queue_: what is known of every file the engine holds.
  std::map<std::string, KnownFile> known_;
  std::atomic<std::int64_t> knownFileCount_{0};
  std::atomic<bool> reachedNodeLimit_{false};
  std::set<std::string> listedByRescan_;
  std::shared_ptr<DelayedWorkItem> pendingSave_;

  // On the engine's queue: the memberships of groups that changed, and copies that left one.
  std::vector<DuplicateCandidatePtr> changedMemberships_;
  std::vector<DuplicateCandidatePtr> leftMemberships_;
};

}  // namespace zarnik
