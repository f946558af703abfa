// CancellationToken: one-way cancellation passed down to the work it concerns. Cancelling runs
// every registered block once; a block registered after cancellation runs at once.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace zarnik {

class CancellationToken {
 public:
  static std::shared_ptr<CancellationToken> make() { return std::make_shared<CancellationToken>(); }

  void cancel() {
    std::vector<std::function<void()>> blocks;
    {
      std::lock_guard lock(mutex_);
      if (cancelled_.exchange(true)) return;
      blocks.swap(blocks_);
    }
    for (auto& block : blocks) block();
  }
  [[nodiscard]] bool isCancelled() const { return cancelled_.load(std::memory_order_acquire); }
  void notify(std::function<void()> block) {
    {
      std::lock_guard lock(mutex_);
      if (!cancelled_) {
        blocks_.push_back(std::move(block));
        return;
      }
    }
    block();
  }

 private:
  std::mutex mutex_;
  std::atomic<bool> cancelled_{false};
  std::vector<std::function<void()>> blocks_;
};

}  // namespace zarnik
