// DuplicatesDetectionResults: the stored results of a session's last detection, in the store
// "duplicates.db" of the session's folder: writing a scan's groups, reading them, changing a
// group's selection with the change recorded in the selection history, and undoing and redoing
// those changes.
//
// The store is used only on the results' own queue: every operation runs there and hands its
// outcome back through a future.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/json.h"
#include "base/units.h"
#include "cleaning/cleaning_note.h"
#include "detection/selection_change.h"
#include "foundation/future.h"
#include "foundation/serial_queue.h"
#include "scanning/scanning_task.h"
#include "store/managed_object_context.h"

namespace zarnik {

struct DuplicatesDetectionResultsState {
  std::int64_t activityLogIdentifierAutoincrement = 1;
  std::optional<ByteCount> usedSizeThreshold;
  std::int64_t scannedNodesCount = 0;
  ByteCount scannedNodesSize = 0;
  std::optional<Date> dateOfDetection;

  [[nodiscard]] Json encode() const;
  static std::optional<DuplicatesDetectionResultsState> decode(const Json& archive);
  friend bool operator==(const DuplicatesDetectionResultsState&, const DuplicatesDetectionResultsState&) = default;
};

// What a selection change did: the group, the proposal (with its warnings), and the history
// entry written when it was applied.
struct SelectionChangeResult {
  std::int64_t equivalenceIdentifier = 0;
  SelectionChangeProposal proposal;
  std::optional<ZKActivityLogItem> logItem;
};

struct CleaningRequest {
  // The option per volume, hard links, whether emptied folders go.
  CleaningRules rules;
  bool dryRun = false;  // report what would be done, change nothing
  // Groups whose every copy is selected are left alone unless the user confirmed removing them.
  bool removesEveryCopyOfAGroup = false;
};

struct CleaningItemReport {
  std::int64_t identifier = 0;
  std::string path;
  ByteCount size = 0;
  bool isSimilar = false;
  std::optional<Error> error;
  std::optional<std::string> note;
};

struct CleaningReport {
  std::int64_t cleanID = 0;
  std::vector<CleaningItemReport> items;
  std::vector<std::int64_t> groupsLeftWhole;  // every copy selected, not confirmed
};

struct RevertReport {
  std::vector<CleaningItemReport> items;  // an error: that copy could not be brought back
};

class DuplicatesDetectionResults : public std::enable_shared_from_this<DuplicatesDetectionResults> {
 public:
  // Opens (creating, migrating or moving a damaged file aside, as the store does) the store at
  // `url`; ":memory:" or nothing keeps it in memory.
  static Result<std::shared_ptr<DuplicatesDetectionResults>> open(std::optional<std::string> url,
                                                                  DuplicatesDetectionResultsState state);

  [[nodiscard]] const std::shared_ptr<SerialQueue>& queue() const { return queue_; }
  // Where a damaged store file was moved when this store was opened.
  [[nodiscard]] const std::optional<std::string>& movedAsideTo() const { return movedAsideTo_; }
  // The state as of the last completed operation (read on the results' queue, or after a
  // future of this object completed).
  [[nodiscard]] DuplicatesDetectionResultsState state() const;

  // Replaces every stored group by the scan's, in one transaction; `progress` (0…1) is called on
  // the results' queue.
  Future<DuplicatesDetectionResultsState> storeResults(std::shared_ptr<const ScanningServiceResult> result,
                                                       std::vector<ScanLocationPtr> scanLocations,
                                                       std::function<void(double)> progress = {});
  // Visits the groups, largest reclaimable size first, on the results' queue.
  Future<std::int64_t> forEachEquivalence(std::function<bool(const ZKEquivalence&)> visit);
  Future<std::optional<ZKEquivalence>> equivalence(std::int64_t uniqueIdentifier);

  // The change is made to the group holding `memberIdentifier` (for strategies, the group
  // itself may be named by `equivalenceIdentifier`).
  Future<SelectionChangeResult> changeSelection(std::optional<std::int64_t> equivalenceIdentifier,
                                                SelectionRequest request);
  // Undoes the latest change not yet undone, or redoes the latest undone one.
  Future<SelectionChangeResult> undo();
  Future<SelectionChangeResult> redo();
  Future<std::vector<ZKActivityLogItem>> activityLog();

  // Removes the selected copies of every group. Each copy's note is written (pending) before it
  // is touched and completed after; a copy that fails keeps its place and no note.
  Future<CleaningReport> clean(CleaningRequest request, std::function<void(size_t done, size_t total)> progress = {});
  // Brings cleaned copies back: those named (copy identifiers), or all when none are named.
  Future<RevertReport> revert(std::set<std::int64_t> identifiers);

 private:
  DuplicatesDetectionResults(std::unique_ptr<ManagedObjectContext> context, DuplicatesDetectionResultsState state,
                             std::optional<std::string> movedAsideTo);
  Result<SelectionChangeResult> applyChange(ZKEquivalence equivalence, const SelectionRequest& request,
                                            ActivityInteractionType type);
  Result<SelectionChangeResult> replay(bool undo);
  Result<CleaningReport> performCleaning(const CleaningRequest& request,
                                         const std::function<void(size_t, size_t)>& progress);
  Result<RevertReport> performRevert(const std::set<std::int64_t>& identifiers);
  struct StoreJob;
  void continueStoring(const std::shared_ptr<StoreJob>& job);
  void finishStoring(StoreJob& job);
  void failStoring(StoreJob& job, const Error& error);

  std::shared_ptr<SerialQueue> queue_;
  std::unique_ptr<ManagedObjectContext> context_;
  mutable std::mutex stateMutex_;
  DuplicatesDetectionResultsState state_;
  std::optional<std::string> movedAsideTo_;
};

}  // namespace zarnik
