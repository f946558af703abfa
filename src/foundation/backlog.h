// Backlog: bounds how far a producer runs ahead of the work it hands over. The producer counts
// what it hands over (`add`) and offers each further step of its own to `deferIfFull`: past the
// high mark the step is kept, and the consumer whose `remove` brings the backlog down to the low
// mark runs the kept steps. A walk of 200,000 files listed them faster than they were matched,
// and held 75,000 nodes (16 MB) waiting; with a backlog it waits instead.
//
// Every `add` must be matched by a `remove`, or kept steps never run.
#pragma once

#include <cstddef>
#include <mutex>
#include <vector>

#include "foundation/unique_function.h"

namespace zarnik {

class Backlog {
 public:
  Backlog(size_t highMark, size_t lowMark) : highMark_(highMark), lowMark_(lowMark) {}

  void add(size_t count);
  // Runs the kept steps, on this thread, when the backlog falls to the low mark.
  void remove(size_t count);
  // Keeps `step` (and returns true) when the backlog is past the high mark; otherwise returns
  // false and leaves `step` to the caller, to go on with at once.
  [[nodiscard]] bool deferIfFull(Task& step);

  [[nodiscard]] size_t size() const;
  [[nodiscard]] size_t deferredCount() const;

 private:
  const size_t highMark_;
  const size_t lowMark_;
  mutable std::mutex mutex_;
  size_t count_ = 0;
  bool isFull_ = false;  // from passing the high mark until falling to the low one
  std::vector<Task> deferred_;
};

}  // namespace zarnik
