// Executors: where a callback runs. A serial queue and an operation queue are executors; so
// are `immediate` (the completing thread), `primary` (the shared pool at utility priority) and
// the main loop of a front end.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

#include "foundation/thread_pool.h"
#include "foundation/unique_function.h"

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

// The main loop of a program without a toolkit: runs posted tasks on the thread that calls
// run() until stop() is called.
class MainLoop final : public Executor {
 public:
  static MainLoop& shared();
  void execute(Task task) override;
  [[nodiscard]] bool isCurrent() const override;
  // Runs tasks until stop(); tasks posted after stop() are dropped.
  void run();
  void stop();
  // Runs tasks already posted, then returns (for tests and for polling front ends).
  void drain();

 private:
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<Task> tasks_;
  bool stopped_ = false;
};

}  // namespace zarnik
