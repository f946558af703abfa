// CleaningTask: one cleaning of the stored results. It removes the selected copies one after
// another, each through its policy, records on each copy a note of what was done or why it
// failed, reports progress and notes as it goes, and completes with a CleaningResult.
//
// Every item runs as its own turn of the queue that owns the store, so that the copy's note is
// written in the same turn as its removal and a cancellation takes effect between two items.
// Each copy's note is written as pending before the copy is touched: a cleaning cut off at any
// moment leaves every copy either in place or accounted for.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

#include "cleaning/cleaning_note.h"
#include "cleaning/cleaning_plan.h"
#include "cleaning/default_cleaning_policy.h"
#include "cleaning/cleaning_result.h"
#include "file_model/scan_location.h"
#include "foundation/channel.h"
#include "foundation/delayed_work_item.h"
#include "foundation/serial_queue.h"
#include "platform/mounts.h"
#include "store/managed_object_context.h"

namespace zarnik {

// The store of the results and the queue that owns it.
struct StoredResultsAccess {
  std::shared_ptr<SerialQueue> queue;
  std::shared_ptr<ManagedObjectContext> context;
};

struct CleaningRequest {
  StoredResultsAccess store;
  std::vector<ScanLocationPtr> scanLocations;  // emptied folders go only inside these
  CleaningRules cleaningRules;
  // Groups whose every copy is selected are cleaned only when the user confirmed it.
  bool removesEveryCopyOfAGroup = false;
};

// One copy handled: its note as stored, and what the report of the cleaning shows of it.
struct CleaningNoteEmitted {
  std::int64_t duplicateID = 0;
  CleaningNote note;
  std::string path;
  ByteCount size = 0;
  bool isSimilar = false;
};

using CleaningReport = std::variant<CleaningProgress, CleaningNoteEmitted>;

class CleaningTask : public std::enable_shared_from_this<CleaningTask> {
 public:
  // A fake removal touches nothing and takes this long per item, so that the whole flow can be
  // tried safely.
  static constexpr double kFakeRemoveTimeout = 0.3;

  static std::shared_ptr<CleaningTask> make(CleaningRequest request, Clock& clock = Clock::system());

  // Started by the service; completes at once when there is nothing to clean.
  void start();
  // Takes effect before the next item; items done stay done.
  void cancel() { cancelled_.store(true, std::memory_order_release); }
  [[nodiscard]] bool canContinue() const { return !cancelled_.load(std::memory_order_acquire); }

  // Progress after each item and each item's note, then the result (or the store's error).
  [[nodiscard]] const Producer<CleaningReport, CleaningResult>& reports() const { return reports_; }
  [[nodiscard]] Future<CleaningResult> completionFuture() const { return reports_.completion(); }
  // The identifier of this cleaning, once it started.
  [[nodiscard]] std::int64_t cleanID() const { return cleanID_.load(std::memory_order_acquire); }

 private:
  CleaningTask(CleaningRequest request, Clock& clock);
  void cleanNext();
  void performItem(size_t index);
  Result<CleaningNoteEmitted> cleanItem(const PlannedCleaningItem& planned);
  Result<CleaningItemOutcome> removeCopy(ZKDuplicate& copy, const ZKDuplicate* kept,
                                         const std::shared_ptr<const ZKBaseNode>& node, CleaningNote& note);
  [[nodiscard]] std::string scanLocationHolding(const std::string& path) const;
  void account(const PlannedCleaningItem& planned, const CleaningNoteEmitted& emitted);
  void cleanEmptyFolders(const std::string& removedPath);
  void finish();

  const CleaningRequest request_;
  Clock& clock_;
  std::atomic<bool> cancelled_{false};
  std::atomic<std::int64_t> cleanID_{0};
  Producer<CleaningReport, CleaningResult> reports_{16};
  // Touched only on the store's queue.
  CleaningPlan plan_;
  size_t next_ = 0;
  std::optional<ZKEquivalence> group_;  // the group of the item in hand, fetched once for its copies
  std::optional<CleaningPolicy> policyOfPart_;
  CleaningResult part_;   // the items of the current policy
  CleaningResult result_;  // the parts before it, merged
  std::chrono::steady_clock::time_point startTime_;
  std::vector<MountEntry> mounts_;
};

}  // namespace zarnik
