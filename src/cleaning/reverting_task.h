// RevertingTask: undoes cleanings for chosen copies (or every cleaned copy), one copy per turn
// of the queue that owns the store. A copy brought back loses its note and can be cleaned
// again; a copy that cannot be brought back keeps its note, which then says why.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "cleaning/cleaning_result.h"
#include "cleaning/cleaning_task.h"

namespace zarnik {

struct RevertingRequest {
  StoredResultsAccess store;
  std::set<std::int64_t> duplicateIDs;  // empty: every cleaned copy
};

// What the report of a revert shows of each copy it tried.
struct RevertedItem {
  std::int64_t duplicateID = 0;
  std::string path;
  ByteCount size = 0;
  bool isSimilar = false;
  std::optional<Error> error;
};

struct RevertingOutcome : RevertingResult {
  std::vector<RevertedItem> items;
};

class RevertingTask : public std::enable_shared_from_this<RevertingTask> {
 public:
  static std::shared_ptr<RevertingTask> make(RevertingRequest request);

  void start();
  void cancel() { cancelled_.store(true, std::memory_order_release); }
  [[nodiscard]] bool canContinue() const { return !cancelled_.load(std::memory_order_acquire); }
  // The fraction of items done (0…1) after each item, then the outcome.
  [[nodiscard]] const Producer<double, RevertingOutcome>& reports() const { return reports_; }
  [[nodiscard]] Future<RevertingOutcome> completionFuture() const { return reports_.completion(); }

 private:
  explicit RevertingTask(RevertingRequest request) : request_(std::move(request)) {}
  struct Item {
    std::int64_t equivalenceID = 0;
    std::int64_t duplicateID = 0;
  };
  Result<std::vector<Item>> collectItems();
  void revertNext();
  Result<RevertedItem> revertItem(const Item& item);

  const RevertingRequest request_;
  std::atomic<bool> cancelled_{false};
  Producer<double, RevertingOutcome> reports_{4};
  // Touched only on the store's queue.
  std::vector<Item> items_;
  size_t itemsCompleted_ = 0;
  std::optional<ZKEquivalence> group_;
  RevertingOutcome outcome_;
};

}  // namespace zarnik
