// Ctrl-C for a command-line program with worker threads: SIGINT and SIGTERM are blocked in
// every thread (call blockInterruptSignals() first thing in main, before any thread starts)
// and read from a signalfd by the main thread, which also waits for the work to complete on
// an eventfd. No thread sleeps or polls on a timer.
#pragma once

#include <functional>

namespace zarnik {

void blockInterruptSignals();

class InterruptWatcher {
 public:
  InterruptWatcher();
  ~InterruptWatcher();
  InterruptWatcher(const InterruptWatcher&) = delete;
  InterruptWatcher& operator=(const InterruptWatcher&) = delete;

  // May be called from any thread, once the work is done.
  void notifyDone();
  // Blocks until notifyDone(); calls onInterrupt for each signal meanwhile, with the count
  // of signals so far.
  void waitUntilDone(const std::function<void(int count)>& onInterrupt);

 private:
  int signalFd_ = -1;
  int doneFd_ = -1;
};

}  // namespace zarnik
