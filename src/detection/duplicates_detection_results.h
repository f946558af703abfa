// DuplicatesDetectionResults: the stored results of a session's last detection, in the store
// "duplicates.db" of the session's folder: writing a scan's groups, reading them, changing a
// group's selection with the change recorded in the selection history, and undoing and redoing
// those changes.
//
// The store is used only on the results' own queue: every operation runs there and hands its
// outcome back through a future.
#pragma once

#include "base/json.h"
#include "base/units.h"
#include "cleaning/cleaning_task.h"
#include "detection/selection_change.h"
#include "foundation/future.h"
#include "foundation/serial_queue.h"
#include "scanning/scanning_task.h"
#include "store/managed_object_context.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zarnik {

struct DuplicatesDetectionResultsState {
  std::int64_t activityLogIdentifierAutoincrement = 1;
  std::optional<ByteCount> usedSizeThreshold;
  std::int64_t scannedNodesCount = 0;
  ByteCount scannedNodesSize = 0;
  std::optional<Date> dateOfDetection;

  [[nodiscard]] Json encode() const;
  static std::optional<DuplicatesDetectionResultsState> decode(const Json& archive);
  friend bool operator==(const DuplicatesDetectionResultsState&,
                         const DuplicatesDetectionResultsState&) = default;
};

// What a selection change did: the group, the proposal (with its warnings), and the history
// entry written when it was applied.
struct SelectionChangeResult {
  std::int64_t equivalenceIdentifier = 0;
  SelectionChangeProposal proposal;
  std::optional<ZKActivityLogItem> logItem;
};

class DuplicatesDetectionResults : public std::enable_shared_from_this<DuplicatesDetectionResults> {
 public:
  // Opens (creating, migrating or moving a damaged file aside, as the store does) the store at
  // `url`; ":memory:" or nothing keeps it in memory.
  static Result<std::shared_ptr<DuplicatesDetectionResults>> open(
      std::optional<std::string> url, DuplicatesDetectionResultsState state);

  [[nodiscard]] const std::shared_ptr<SerialQueue>& queue() const { return queue_; }
  // Where a damaged store file was moved when this store was opened.
  [[nodiscard]] const std::optional<std::string>& movedAsideTo() const { return movedAsideTo_; }
  // The state as of the last completed operation (read on the results' queue, or after a
  // future of this object completed).
  [[nodiscard]] DuplicatesDetectionResultsState state() const;

  // Replaces every stored group by the scan's, in one transaction, but for the records of cleanings
  // that can still be undone, which are carried over (kept_cleaning_records.h); `progress` (0…1)
  // is called on the results' queue.
  Future<DuplicatesDetectionResultsState> storeResults(
      std::shared_ptr<const ScanningServiceResult> result,
      std::vector<ScanLocationPtr> scanLocations, std::function<void(double)> progress = {});
  // Whether storeResults keeps the groups it writes, for a listing right after the scan that
  // need not read them back: when the scan found at most `mostCopies` copies (a kept copy costs
  // about 700 bytes; more are read back a few at a time). Set before the results are stored.
  void setKeepsStoredGroups(size_t mostCopies) { mostKeptCopies_ = mostCopies; }
  static constexpr size_t kMostKeptCopies = 50'000;
  // The groups the latest storeResults wrote while keeping them, in the order forEachEquivalence
  // visits them, their members' nodes as the scan made them; taken once, and only right after
  // the storing: a change made since is not in them. They are for showing, never to be written
  // back: their copies hold no archives. Shared, so that no one copies them on the way.
  using StoredGroups = std::shared_ptr<const std::vector<ZKEquivalence>>;
  Future<StoredGroups> takeStoredGroups();
  // Whether the members' stored nodes are decoded before a group is visited, a few groups at a
  // time across the pool (for visitors that show or compare every member), or when first asked.
  enum class MemberNodes { whenAsked, decodedAhead };
  // Visits the groups, largest reclaimable size first, on the results' queue.
  Future<std::int64_t> forEachEquivalence(std::function<bool(const ZKEquivalence&)> visit,
                                          MemberNodes nodes = MemberNodes::whenAsked);
  Future<std::optional<ZKEquivalence>> equivalence(std::int64_t uniqueIdentifier);

  // The change is made to the group holding `memberIdentifier` (for strategies, the group
  // itself may be named by `equivalenceIdentifier`).
  Future<SelectionChangeResult> changeSelection(std::optional<std::int64_t> equivalenceIdentifier,
                                                const SelectionRequest& request);
  // Undoes the latest change not yet undone, or redoes the latest undone one. A step that would
  // select a copy with a warning (such as every copy of the group) is held back, as a direct
  // change is, unless `confirmsWarnings`.
  Future<SelectionChangeResult> undo(bool confirmsWarnings = false);
  Future<SelectionChangeResult> redo(bool confirmsWarnings = false);
  Future<std::vector<ZKActivityLogItem>> activityLog();

  // The store and its queue, for the tasks that clean and revert.
  [[nodiscard]] StoredResultsAccess storeAccess() const { return {queue_, context_}; }
  // What a cleaning would remove now.
  Future<CleaningPlan> planCleaning(bool removesEveryCopyOfAGroup);
  // Removes the notes of fake cleanings, which touched nothing, so that their copies are cleaned
  // for real next time; the number of copies whose note went.
  Future<std::int64_t> forgetTrialCleanings();
  // Settles the cleanings and reverts that were cut off (the program killed midway) by looking
  // at where their copies are; done by every command that changes the results, before it does.
  Future<Void> settleCutOffCleanings();
  // A request to clean the selected copies by `rules`, bounded by the stored scan locations.
  Future<CleaningRequest> cleaningRequest(CleaningRules rules, bool removesEveryCopyOfAGroup);

 private:
  DuplicatesDetectionResults(std::unique_ptr<ManagedObjectContext> context,
                             DuplicatesDetectionResultsState state,
                             std::optional<std::string> movedAsideTo);
  Result<SelectionChangeResult> applyChange(ZKEquivalence equivalence,
                                            const SelectionRequest& request,
                                            ActivityInteractionType type);
  Result<SelectionChangeResult> replay(bool undo, bool confirmsWarnings);
  struct StoreJob;
  void continueStoring(const std::shared_ptr<StoreJob>& job);
  Result<void> carryOverKeptRecords(StoreJob& job);
  void finishStoring(StoreJob& job);
  void failStoring(StoreJob& job, const Error& error);

  std::shared_ptr<SerialQueue> queue_;
  std::shared_ptr<ManagedObjectContext> context_;
  mutable std::mutex stateMutex_;
  DuplicatesDetectionResultsState state_;
  std::optional<std::string> movedAsideTo_;
  std::atomic<size_t> mostKeptCopies_ = 0;
  std::vector<ZKEquivalence> storedGroups_;  // on the queue
};

}  // namespace zarnik
