// DuplicatesDetectionSession: one user session of finding and removing duplicates. The user
// chooses scan locations, a detection scans them, its results go to the session's store, and
// the session survives the program: its state (locations and status) is written to
// "session.state" in the session's folder, at most one write per 3 seconds of changes, and read
// back by restore().
//
// The session and its properties are used on its own queue (`queue()`), which plays the part of
// the application's main queue; detections report back there through futures.
#pragma once

#include "detection/duplicates_detection_results.h"
#include "foundation/base_storage.h"
#include "foundation/delayed_work_item.h"
#include "scanning/scanning_task.h"

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace zarnik {

struct DuplicatesDetectionSpec {
  std::string urlOfStateContainer;  // empty: a session kept in memory, its state never written
  bool isMonitorReview = false;     // a review of the monitor's findings keeps files of its own
  std::shared_ptr<ScanningService> scanningService;
  Clock* clock = &Clock::system();

  [[nodiscard]] std::string urlOfStateFile() const;  // "session.state" or "dmreview.state"
  [[nodiscard]] std::string urlOfStateDB() const;    // "duplicates.db" or "monitor.db"
  // Held by whoever changes the stored results: "session.lock" or "dmreview.lock".
  [[nodiscard]] std::string urlOfLockFile() const;
  // The user's session: "<persistent content>/session".
  static DuplicatesDetectionSpec standard(std::shared_ptr<ScanningService> scanningService);
  static DuplicatesDetectionSpec inMemory(std::shared_ptr<ScanningService> scanningService);
  // The review of the duplicates monitor's findings: "<persistent content>/monitor-review".
  static DuplicatesDetectionSpec monitorReview(std::shared_ptr<ScanningService> scanningService);
  // The session the person reviews now: the monitor's findings after `zarnik monitor review`,
  // until the next scan; else their own.
  static DuplicatesDetectionSpec current(std::shared_ptr<ScanningService> scanningService);
  // Makes the monitor's findings (or, with false, the person's own session) the one reviewed.
  static Result<void> setReviewingMonitorFindings(bool reviewing);
  [[nodiscard]] bool isInMemory() const { return urlOfStateContainer.empty(); }
};

// What a location is scanned for.
struct ScanLocationFilter {
  bool imagesOnly = false;
  std::optional<ByteCount> minimumSize;

  [[nodiscard]] EnumerationFilter enumerationFilter() const;  // empty: every item
  [[nodiscard]] Json encode() const;
  static ScanLocationFilter decode(const Json& archive);
  friend bool operator==(const ScanLocationFilter&, const ScanLocationFilter&) = default;
};

struct ScanLocationViewModel {
  ScanLocationPtr scanLocation;
  ScanLocationFilter filter;
  std::optional<std::string> customName;
  std::optional<std::string> customImageName;

  [[nodiscard]] Json encode() const;
  static Result<ScanLocationViewModel> decode(const Json& archive);
};

class DuplicatesDetection;

struct SelectingLocationsStatus {};
struct DetectingStatus {
  std::shared_ptr<DuplicatesDetection> detection;
  // The results reviewed before this detection began; they stay in the store until the new ones
  // replace them, and are reviewed again when the detection is cut off.
  std::optional<DuplicatesDetectionResultsState> previousResultsState;
};
struct ReviewingStatus {
  DuplicatesDetectionResultsState resultsState;
};
using DuplicatesDetectionSessionStatus =
    std::variant<SelectingLocationsStatus, DetectingStatus, ReviewingStatus>;

[[nodiscard]] Json encodeStatus(const DuplicatesDetectionSessionStatus& status);
// An unreadable status is the first one.
[[nodiscard]] DuplicatesDetectionSessionStatus decodeStatus(const Json& archive);

// The stored state: {"$class": "DuplicatesDetectionSessionState", "scanLocations": [...], "status":
// {...}}.
class DuplicatesDetectionSessionState final : public BaseStorage {
 public:
  DuplicatesDetectionSessionState();
  [[nodiscard]] const PropertyTable& propertyTable() const override;
  [[nodiscard]] std::string_view className() const override {
    return "DuplicatesDetectionSessionState";
  }
  [[nodiscard]] std::shared_ptr<BaseStorage> makeFresh() const override {
    return std::make_shared<DuplicatesDetectionSessionState>();
  }
};

// What a finished detection hands over: the scan's result, and whether its groups were stored.
struct DuplicatesDetectionOutcome {
  std::shared_ptr<const ScanningServiceResult> result;
  DuplicatesDetectionResultsState resultsState;
};

// One running detection: the scanning task and the progress shown for it.
class DuplicatesDetection {
 public:
  DuplicatesDetection(std::shared_ptr<ScanningTask> task,
                      Future<std::shared_ptr<const ScanningServiceResult>> scanned,
                      Future<DuplicatesDetectionOutcome> outcome)
      : task_(std::move(task)), scanned_(std::move(scanned)), outcome_(std::move(outcome)) {}
  [[nodiscard]] const std::shared_ptr<ScanningTask>& task() const { return task_; }
  // The scan's result as soon as the scan ends, while it is being stored.
  [[nodiscard]] const Future<std::shared_ptr<const ScanningServiceResult>>& scanned() const {
    return scanned_;
  }
  // Completes once the results are stored and the session reviews them.
  [[nodiscard]] const Future<DuplicatesDetectionOutcome>& outcome() const { return outcome_; }
  // Fraction of the results written to the store, 0…1.
  [[nodiscard]] double flushingToDBProgress() const { return flushingToDBProgress_.load(); }
  void setFlushingToDBProgress(double fraction) { flushingToDBProgress_.store(fraction); }
  [[nodiscard]] bool isStopping() const { return isStopping_.load(); }
  void stop(bool keepResults);

 private:
  std::shared_ptr<ScanningTask> task_;
  Future<std::shared_ptr<const ScanningServiceResult>> scanned_;
  Future<DuplicatesDetectionOutcome> outcome_;
  std::atomic<double> flushingToDBProgress_{0};
  std::atomic<bool> isStopping_{false};
};

class DuplicatesDetectionSession : public std::enable_shared_from_this<DuplicatesDetectionSession> {
 public:
  static constexpr double kStoreStateDelay = 3.0;

  // Reads the stored state, if any, and restores its status: a session that was reviewing
  // reopens its results store; one cut off while detecting reviews its earlier results again, or
  // chooses locations. An unreadable state file is logged and set aside: only the view state is
  // lost, and a results store holding groups is reviewed as it is (so is one without a state file).
  static Future<std::shared_ptr<DuplicatesDetectionSession>> restore(DuplicatesDetectionSpec spec);

  [[nodiscard]] const std::shared_ptr<SerialQueue>& queue() const { return queue_; }
  [[nodiscard]] const DuplicatesDetectionSpec& spec() const { return spec_; }
  // Where an unreadable state file was set aside when the session was restored.
  [[nodiscard]] const std::optional<std::string>& stateMovedAsideTo() const {
    return stateMovedAsideTo_;
  }

  // Everything below is called on queue().
  [[nodiscard]] const DuplicatesDetectionSessionStatus& status() const;
  [[nodiscard]] const std::vector<ScanLocationViewModel>& scanLocations() const;
  [[nodiscard]] const std::shared_ptr<DuplicatesDetectionResults>& results() const;
  [[nodiscard]] bool canScan() const;
  [[nodiscard]] bool canRescan() const;
  // 1 detecting, 2 cleaning, 3 reverting, 0 none.
  [[nodiscard]] int progressKind() const;
  void setCleaningRunning(bool running);
  void setRevertingRunning(bool running);

  void addScanLocations(std::vector<ScanLocationViewModel> locations);
  void removeScanLocations(const std::vector<std::string>& abbreviatedPaths);
  void replaceScanLocations(std::vector<ScanLocationViewModel> locations);

  // Scans the locations (allowed when canScan or canRescan); the results are stored before the
  // future completes (on queue()), and the session then reviews them. `prepareTask` sees the
  // task before it starts (to hear its errors and status).
  Result<std::shared_ptr<DuplicatesDetection>> startDetection(
      std::shared_ptr<const ExtendedScanRules> scanRules,
      ExtendedAutoselectionRules autoselectionRules, bool includeHiddenItems,
      const std::function<void(ScanningTask&)>& prepareTask = {});

  // Writes the state 3 seconds after the first change not yet written.
  void scheduleStoreState();
  // Writes the state now (a pending delayed write then has nothing left to do).
  Result<void> storeStateNow();

 private:
  explicit DuplicatesDetectionSession(DuplicatesDetectionSpec spec);
  void setStatus(DuplicatesDetectionSessionStatus status);
  Result<void> openResultsIfNeeded(const DuplicatesDetectionResultsState& state);
  Result<void> reviewStoredResultsIfAny();
  void finishDetection(const std::shared_ptr<DuplicatesDetection>& detection,
                       const Result<DuplicatesDetectionOutcome>& outcome);

  DuplicatesDetectionSpec spec_;
  std::shared_ptr<SerialQueue> queue_;
  std::vector<ScanLocationViewModel> scanLocations_;
  DuplicatesDetectionSessionStatus status_;
  std::shared_ptr<DuplicatesDetectionResults> results_;
  bool cleaningRunning_ = false;
  bool revertingRunning_ = false;
  bool isStoreStateScheduled_ = false;
  std::shared_ptr<DelayedWorkItem> pendingStore_;
  std::optional<std::string> stateMovedAsideTo_;
};

}  // namespace zarnik
