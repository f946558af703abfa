// ParallelLoop: hands the items 0 … count-1 to up to `width` workers, the calling thread being
// the first of them, and returns once every item is done. The others are asked of `executor`;
// the call waits only for those that took an item, never for one still waiting for a thread: a
// worker that starts after the items ran out does nothing. So a stage that spreads its work
// this way finishes even when every pool thread is busy elsewhere.
#pragma once

#include "foundation/executor.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>

namespace zarnik {

class ParallelLoop {
 public:
  class Items;
  // `worker` runs once a worker, taking items until none is left, so that it can set up what a
  // worker keeps for all its items (an autoselector, a buffer) once.
  static void run(Executor& executor, size_t width, size_t count,
                  const std::function<void(Items&)>& worker);

 private:
  struct State;
};

class ParallelLoop::Items {
 public:
  // The next item not yet taken, or nothing.
  [[nodiscard]] std::optional<size_t> next();

 private:
  friend class ParallelLoop;
  explicit Items(State& state) : state_(state) {}
  State& state_;
};

}  // namespace zarnik
