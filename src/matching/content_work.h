// ContentWork: what the content stages of one scan share. They run on the scan's work queue (on
// the shared pool), count their work in flight in one group so that the engine never finishes
// early, stop when the scan is cancelled (one way), report progress and name the files they
// could not read. Reads happen in disk-accessing sessions of the scan's priority: a scan in
// background mode reads with one thread a disk, whatever other scans do. What they learn of a
// file's content is kept in the digest cache for the next scan.
#pragma once

#include "base/result.h"
#include "foundation/cancellation_token.h"
#include "foundation/dispatch_group.h"
#include "foundation/operation_queue.h"
#include "matching/content_progress.h"
#include "matching/digest_cache.h"

#include <atomic>
#include <functional>
#include <memory>

namespace zarnik {

struct ContentWork {
  std::shared_ptr<OperationQueue> queue;
  size_t width = 1;  // workers a stage runs at most
  std::shared_ptr<DispatchGroup> inFlight;
  std::shared_ptr<CancellationToken> cancellation = CancellationToken::make();
  std::shared_ptr<ContentProgress> progress = std::make_shared<ContentProgress>();
  // A file that could not be read (never called for a cancelled read).
  std::function<void(const Error&)> reportFailure;
  // Progress moved on: the owner may publish it.
  std::function<void()> progressed;
  std::shared_ptr<std::atomic<bool>> backgroundMode = std::make_shared<std::atomic<bool>>(false);
  // What earlier scans learnt of files' contents (none: nothing is looked up or kept).
  std::shared_ptr<DigestCache> cache;

  [[nodiscard]] bool canContinue() const { return !cancellation->isCancelled(); }
  [[nodiscard]] QualityOfService readingPriority() const {
    return backgroundMode->load(std::memory_order_relaxed) ? QualityOfService::background
                                                           : QualityOfService::utility;
  }
  void notifyProgress() const {
    if (progressed) progressed();
  }
  void fail(const Error& error) const {
    if (reportFailure && !error.isCancellation()) reportFailure(error);
  }
};

}  // namespace zarnik
