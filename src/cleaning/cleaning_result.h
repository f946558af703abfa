// What a cleaning did, counted as it goes: items done and failed with their sizes (progress),
// the same split between exact duplicates and similar items (statistics), and the whole
// outcome of a cleaning (result). Results of parts of one cleaning combine with `merge`.
#pragma once

#include "base/units.h"
#include "selection/selection_rules.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace zarnik {

struct CleaningProgress {
  std::int64_t numberOfSuccededItems = 0;
  ByteCount sizeOfSuccededItems = 0;
  std::int64_t numberOfFailedItems = 0;
  ByteCount sizeOfFailedItems = 0;
  std::int64_t numberOfItems = 0;
  ByteCount sizeOfItems = 0;

  // Done items over all items; a cleaning of nothing is complete (1).
  [[nodiscard]] double fractionCompleted() const;
  [[nodiscard]] double sizeBasedFractionCompleted() const;
  // Done counters add up; the totals keep the larger value, so a complete progress stays complete.
  void merge(const CleaningProgress& other);
  friend bool operator==(const CleaningProgress&, const CleaningProgress&) = default;
};

struct CleaningStatistics {
  std::int64_t numberOfSucceededDuplicates = 0;
  ByteCount sizeOfSucceededDuplicates = 0;
  std::int64_t numberOfSucceededSimilars = 0;
  ByteCount sizeOfSucceededSimilars = 0;
  std::int64_t numberOfFailedDuplicates = 0;
  ByteCount sizeOfFailedDuplicates = 0;
  std::int64_t numberOfFailedSimilars = 0;
  ByteCount sizeOfFailedSimilars = 0;
  double cleanDuration = 0;  // seconds

  // Counts one item: a similar when its group is of a similar kind, else a duplicate.
  void count(bool succeeded, bool isSimilar, ByteCount size);
  void merge(const CleaningStatistics& other);
  friend bool operator==(const CleaningStatistics&, const CleaningStatistics&) = default;
};

struct CleaningResult {
  CleaningProgress progress;
  CleaningRules cleaningRules;
  CleaningStatistics statistics;
  bool didCleanPhotosItems = false;
  bool didCancel = false;
  // A volume where the chosen option could not be used (its items could not go to the trash):
  // the user is invited to give that volume an option of its own.
  std::optional<std::string> volumeURLToChangeCleaningOption;
  std::set<std::string> cleanedURLs;

  // Progress and statistics combine; the rules and the cancellation are the other's.
  void merge(const CleaningResult& other);
};

struct RevertingResult {
  std::vector<std::int64_t> revertedDuplicateIDs;
  std::vector<std::int64_t> failedDuplicateIDs;
};

}  // namespace zarnik
