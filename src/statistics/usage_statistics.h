// What a finished scan, a cleaning or a revert adds to the user's lifetime statistics, the same
// whether the command line or the window did it, and what the change unlocked. Problems with the
// statistics never stop the work that is being counted: they come back as notices to tell.
#pragma once

#include "cleaning/cleaning_result.h"
#include "scanning/scanning_task.h"
#include "statistics/statistician.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zarnik {

using StatisticsChange = std::function<void(StatisticianStore&)>;

// A scan that ran to its end over `locations` (absolute paths): the bytes it read, what removing
// its proposals would free, the libraries among it, and a location on an external drive or a
// network share.
[[nodiscard]] StatisticsChange finishedScanChange(const ScanningServiceResult& scanned,
                                                  const std::vector<std::string>& locations);
// A cleaning; a fake one removed nothing and counts as a use of the program only.
[[nodiscard]] StatisticsChange cleaningChange(const CleaningResult& result, bool fake);
// What a revert brought back no longer counts as cleaned; the achievements it had unlocked stay.
[[nodiscard]] StatisticsChange revertChange(const CleaningStatistics& broughtBack);

struct StatisticsUpdate {
  std::vector<std::string> notices;   // a statistics file set aside, a write that failed
  std::vector<std::string> unlocked;  // the titles of the achievements the change unlocked
  std::optional<std::string> rankReached;

  // "Achievement unlocked: First look (WHERE)." with the rank reached, when any; empty when
  // nothing was unlocked. `whereListed`, when given, says where a person finds them all.
  [[nodiscard]] std::string unlockedSentence(std::string_view whereListed = {}) const;
};

// Applies `change` to the stored statistics (read again first: another program may have written
// them). `judgesAchievements`: whether the shipped achievements are read to tell what it unlocked.
StatisticsUpdate updateUsageStatistics(const StatisticsChange& change, bool judgesAchievements);

}  // namespace zarnik
