#include "cli/stats_command.h"

#include "cli/user_session.h"
#include "cli/user_statistics.h"
#include "cli/wording.h"
#include "detection/duplicates_statistics.h"
#include "foundation/byte_count_formatter.h"

#include <fmt/format.h>

#include <cmath>

namespace zarnik::cli {
namespace {

// The statistic of the results under review; nothing when there are none (not an error here).
std::optional<DuplicatesDetectionStat> reviewedStatistic() {
  auto session = DuplicatesDetectionSession::restore(
                     DuplicatesDetectionSpec::standard(std::make_shared<ScanningService>()))
                     .wait();
  if (session.hasError()) return std::nullopt;
  std::shared_ptr<DuplicatesDetectionResults> results;
  session.value()->queue()->sync([&] {
    if (std::holds_alternative<ReviewingStatus>(session.value()->status()))
      results = session.value()->results();
  });
  if (!results) return std::nullopt;
  auto model = loadResultsModel(*results);
  if (!model) return std::nullopt;
  return DuplicatesDetectionStat(*model);
}

Json lifetimeJSON(const StatisticianStore& statistics) {
  Json lifetime = Json::object();
  for (const auto& [name, kind] : StatisticianStore::counters()) {
    if (name == "_foundSize") continue;
    const CounterValue value = statistics.value(name);
    if (std::holds_alternative<bool>(value)) {
      lifetime[std::string(name)] = std::get<bool>(value);
    } else {
      lifetime[std::string(name)] = std::get<std::int64_t>(value);
    }
  }
  return lifetime;
}

int showStatistics(bool json) {
  const Statistician statistician = Statistician::standard();
  if (const auto& notice = statistician.setAsideNotice()) printError(*notice);
  const StatisticianStore& s = statistician.statistics();
  const auto review = reviewedStatistic();
  if (json) {
    Json document{{"lifetime", lifetimeJSON(s)},
                  {"lastReview", review ? review->encode() : Json()}};
    fmt::print("{}\n", dumpJson(document, 2));
    return 0;
  }
  // What the scans measured (what removing their proposed copies frees): the rounded-up figure
  // the achievements count with is no statement of what was found.
  const std::int64_t found = s.number("_foundSize");
  const std::string they = s.number("numberOfFinishedScans") == 1 ? "it" : "they";
  fmt::print("Scanned {} in {}; {}.\n", formatByteCount(s.number("scannedSize")),
             counted(s.number("numberOfFinishedScans"), "scan", "scans"),
             found > 0 ? "removing the copies " + they + " proposed frees " + formatByteCount(found)
                       : they + " proposed no copy for removal");
  if (s.number("numberOfFinishedCleans") == 0 && s.number("numberOfCleanedFiles") == 0) {
    fmt::print("Nothing cleaned yet.\n");
  } else {
    fmt::print("Cleaned {} ({}) in {}; {} reverted.\n", formatByteCount(s.number("cleanedSize")),
               counted(s.number("numberOfCleanedFiles"), "copy", "copies"),
               counted(s.number("numberOfFinishedCleans"), "cleaning", "cleanings"),
               counted(s.number("numberOfRevertedCleans"), "cleaning", "cleanings"));
  }
  fmt::print("Commands run on the results: {}.\n", s.number("numberOfLaunches"));
  if (!review || review->meaningfulStatistics().empty()) {
    fmt::print("No results are under review.\n");
    return 0;
  }
  fmt::print("\nThe results under review:\n");
  for (const auto& figures : review->meaningfulStatistics()) {
    fmt::print("  {}: {}\n", title(figures.criterion), describeFigures(figures));
  }
  return 0;
}

int showAchievements(bool json) {
  auto achievements = loadAchievements();
  if (!achievements) return 1;
  StatisticianStore statistics;
  updateUserStatistics([&statistics](StatisticianStore& s) {
    s.add("numberOfAchievementsImpressions", 1);
    statistics = s;
  });
  achievements->setStatistics(statistics);
  const AchievementRank* rank = achievements->currentRank();
  if (json) {
    Json groups = Json::array();
    for (const auto& group : achievements->groups()) {
      Json list = Json::array();
      for (const auto& a : group.achievements) {
        list.push_back({{"identifier", a.identifier},
                        {"title", a.title},
                        {"description", a.description()},
                        {"accomplished", a.isAccomplished},
                        {"points", a.pointsValue},
                        {"icon", a.iconImage()}});
      }
      groups.push_back({{"identifier", group.identifier},
                        {"title", group.title},
                        {"accomplished", group.isAccomplished()},
                        {"achievements", std::move(list)}});
    }
    Json document{
        {"fractionCompleted", achievements->fractionCompleted()},
        {"rank", rank ? Json{{"identifier", rank->identifier}, {"title", rank->title}} : Json()},
        {"groups", std::move(groups)}};
    fmt::print("{}\n", dumpJson(document, 2));
    return 0;
  }
  fmt::print("{} complete{}.\n",
             fmt::format("{:.0f} %", std::floor(100 * achievements->fractionCompleted())),
             rank ? "; rank: " + rank->title : std::string());
  for (const auto& group : achievements->groups()) {
    fmt::print("\n{}\n", group.title);
    for (const auto& a : group.achievements) {
      fmt::print("  {} {}: {}\n", a.isAccomplished ? "[x]" : "[ ]", a.title, a.description());
    }
  }
  return 0;
}

}  // namespace

StatsCommand::StatsCommand(CLI::App& app) {
  command_ = app.add_subcommand(
      "stats", "Show how much was scanned, found and cleaned, and the achievements");
  command_->footer(
      "Examples:\n"
      "  zarnik stats\n"
      "  zarnik stats --json\n"
      "  zarnik stats achievements");
  command_->add_flag("--json", json_, "Print the statistics as a JSON document on stdout");
  command_->require_subcommand(0, 1);
  achievements_ = command_->add_subcommand(
      "achievements", "List the achievements, the completion and the rank held");
  achievements_->add_flag("--json", achievementsJSON_,
                          "Print the achievements as a JSON document on stdout");
}

int StatsCommand::run() const {
  if (achievements_->parsed()) return showAchievements(achievementsJSON_ || json_);
  return showStatistics(json_);
}

}  // namespace zarnik::cli
