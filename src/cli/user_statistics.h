// The user's lifetime statistics and achievements as the commands update and show them: every
// command that works on the results counts as a launch, scans and cleanings add what they did, and
// a cleaning names the achievements it unlocked. Problems with the statistics never stop a command:
// they are told on stderr in one line.
#pragma once

#include "detection/duplicates_detection_results.h"
#include "detection/results_model.h"
#include "statistics/achievements_store.h"
#include "statistics/statistician.h"
#include "statistics/usage_statistics.h"

#include <functional>
#include <optional>
#include <string>

namespace zarnik::cli {

// Updates the user's statistics; a set-aside file or a failed write is told on stderr.
void updateUserStatistics(const StatisticsChange& change);
// The same, then "Achievement unlocked: …" on stdout for what the change unlocked (unless
// `announces` is false: standard output holds a JSON document).
void updateUserStatisticsAnnouncingAchievements(const StatisticsChange& change,
                                                bool announces = true);
// The shipped achievements; nothing (after telling why) when their resources cannot be loaded.
std::optional<AchievementsStore> loadAchievements();

// The stored results in the results model; nothing after telling why.
std::optional<ResultsModel> loadResultsModel(DuplicatesDetectionResults& results);
// One or two lines of the figures per type of file: after a scan what was found and proposed,
// after a cleaning what was cleaned and what failed.
void printReviewFigures(const ResultsModel& model, bool afterCleaning);

}  // namespace zarnik::cli
