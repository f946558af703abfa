// How a task was cancelled. Light activities (building results from what was found, exact and
// linear groups) may go on only under keepLightActivities; heavy ones (enumeration, hashing,
// matching of new nodes, similarity and folder groups) never go on once a task is cancelled.
// An absent mode means not cancelled.
#pragma once

#include <atomic>
#include <optional>

namespace zarnik {

enum class CancellationMode { stopAllActivities = 0, keepLightActivities = 1 };

[[nodiscard]] inline bool canPerformLightActivities(std::optional<CancellationMode> mode) {
  return !mode || *mode == CancellationMode::keepLightActivities;
}
[[nodiscard]] inline bool canPerformHeavyActivities(std::optional<CancellationMode> mode) { return !mode; }

// A cancellation mode shared between threads; the first cancellation wins.
class AtomicCancellationMode {
 public:
  // False when a mode was already set.
  bool cancel(CancellationMode mode) {
    int expected = kNone;
    return value_.compare_exchange_strong(expected, static_cast<int>(mode));
  }
  [[nodiscard]] std::optional<CancellationMode> mode() const {
    const int value = value_.load(std::memory_order_acquire);
    if (value == kNone) return std::nullopt;
    return static_cast<CancellationMode>(value);
  }

 private:
  static constexpr int kNone = -1;
  std::atomic<int> value_{kNone};
};

}  // namespace zarnik
