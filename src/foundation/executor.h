// Executors: where a callback runs. A serial queue and an operation queue are executors; so
// are `immediate` (the completing thread), `primary` (the shared pool at utility priority) and
// the main loop of a front end.
#pragma once

#include "foundation/thread_pool.h"
#include "foundation/unique_function.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

namespace zarnik {

class Executor {
 public:
  virtual ~Executor() = default;
  virtual void execute(Task task) = 0;
  // True when the calling thread already runs on this executor; a not strictly asynchronous
  // executor then runs callbacks at once.
  [[nodiscard]] virtual bool isCurrent() const { return false; }

  static Executor& immediate();
  static Executor& primary();
};

}  // namespace zarnik
