#include "cli/results_command.h"

#include "cli/results_printer.h"
#include "cli/rule_suggestions.h"
#include "cli/session_lock.h"
#include "cli/user_preferences.h"
#include "cli/user_session.h"
#include "cli/user_statistics.h"
#include "cli/wording.h"
#include "detection/results_model.h"
#include "foundation/byte_count_formatter.h"
#include "scanning/stored_detection_result.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <map>

namespace zarnik::cli {
namespace {

// The stored groups, kept for printing, and the model that filters and orders them.
struct LoadedResults {
  std::map<std::int64_t, ZKEquivalence> groups;
  ResultsModel model;
};

Result<LoadedResults> loadResults(DuplicatesDetectionResults& results) {
  LoadedResults loaded;
  auto visited = results
                     .forEachEquivalence(
                         [&loaded](const ZKEquivalence& stored) {
                           loaded.model.put(stored);
                           loaded.groups.emplace(stored.uniqueIdentifier, stored);
                           return true;
                         },
                         DuplicatesDetectionResults::MemberNodes::decodedAhead)
                     .wait();
  if (visited.hasError()) return visited.error();
  return loaded;
}

ResultsQuery queryFor(const ResultsOptions& options) {
  ResultsQuery query;
  if (!options.filters.empty()) {
    query.criteria.clear();
    for (const auto& name : options.filters)
      query.criteria.push_back(*filteringCriterionFromCommandLineName(name));
  }
  query.search = options.search;
  query.groupOrdering = Ordering::natural(
      orderingCriterionFromCommandLineName(options.sort.empty() ? "size" : options.sort)
          .value_or(OrderingCriterion::bySize));
  if (options.reverse) query.groupOrdering = query.groupOrdering.reversed();
  query.limit = options.limit;
  return query;
}

// The criteria the summary speaks of: those asked for, or the exact and similar sides.
std::vector<FilteringCriterion> summarizedCriteria(const ResultsOptions& options,
                                                   const ResultsModel& model) {
  std::vector<FilteringCriterion> criteria;
  for (const auto& name : options.filters)
    criteria.push_back(*filteringCriterionFromCommandLineName(name));
  if (criteria.empty()) {
    for (FilteringCriterion criterion : criteriaThatMakeSummary()) {
      if (model.figures(criterion).total.count > 0) criteria.push_back(criterion);
    }
  }
  return criteria;
}

Json criterionJSON(FilteringCriterion criterion, const FilteredResults& shown) {
  return Json{{"criterion", std::string(commandLineName(criterion))},
              {"groups", shown.matchingGroups},
              {"copies", shown.filtered.count},
              {"size", shown.filtered.size},
              {"selectedCopies", shown.selected.count},
              {"selectedSize", shown.selected.size}};
}

std::string criterionText(FilteringCriterion criterion, const FilteredResults& shown) {
  return fmt::format(
      "{}: {} ({}) in {}, {}", title(criterion), counted(shown.filtered.count, "copy", "copies"),
      formatByteCount(shown.filtered.size),
      counted(static_cast<std::int64_t>(shown.matchingGroups), "group", "groups"),
      shown.selected.count == 0 ? std::string("none proposed for removal")
                                : fmt::format("{} proposed for removal ({})", shown.selected.count,
                                              formatByteCount(shown.selected.size)));
}

// The export document of the groups shown, with each group's and member's identifier and the
// group's selection, and the figures of the criteria asked for.
void printJSON(const ResultsOptions& options, const LoadedResults& loaded,
               const FilteredResults& shown) {
  std::vector<std::pair<exported::Equivalence, Json>> groups;
  for (const auto& filtered : shown.groups) {
    const ZKEquivalence& stored = loaded.groups.at(filtered.group->identifier);
    std::vector<std::int64_t> identifiers;
    auto equivalence = exported::exportedEquivalence(stored, &identifiers);
    Json json = equivalence.encode();
    json["identifier"] = stored.uniqueIdentifier;
    json["selection"] = std::string(strategyName(
        stored.currentSelectionConfiguration ? stored.currentSelectionConfiguration->strategy
                                             : SelectionStrategy::none));
    auto& members = json["duplicates"];
    for (size_t i = 0; i < identifiers.size() && i < members.size(); ++i) {
      members[i]["identifier"] = identifiers[i];
      const auto& selection = stored.currentSelectionConfiguration;
      if (selection && selection->isOriginal(identifiers[i])) members[i]["original"] = true;
    }
    groups.emplace_back(std::move(equivalence), std::move(json));
  }
  // Without an ordering asked for, groups come in the order of the export document.
  if (options.sort.empty() && !options.reverse) {
    std::stable_sort(groups.begin(), groups.end(), [](const auto& a, const auto& b) {
      return exported::precedes(a.first, b.first);
    });
  }
  Json list = Json::array();
  for (auto& group : groups) list.push_back(std::move(group.second));
  Json criteria = Json::array();
  ResultsQuery query = queryFor(options);
  query.limit.reset();
  for (FilteringCriterion criterion : summarizedCriteria(options, loaded.model)) {
    query.criteria = {criterion};
    criteria.push_back(criterionJSON(criterion, loaded.model.filter(query)));
  }
  std::fputs(dumpJson(Json{{exported::kDocumentGroupsKey, std::move(list)},
                           {"criteria", std::move(criteria)}},
                      2)
                 .c_str(),
             stdout);
  std::fputc('\n', stdout);
}

// One line: the copies and bytes of each criterion summarized, as the search leaves them.
void printSummary(const ResultsOptions& options, const ResultsModel& model) {
  ResultsQuery query = queryFor(options);
  query.limit.reset();
  std::string summary;
  for (FilteringCriterion criterion : summarizedCriteria(options, model)) {
    query.criteria = {criterion};
    summary += (summary.empty() ? "" : "; ") + criterionText(criterion, model.filter(query));
  }
  if (!summary.empty()) fmt::print("{}.\n", summary);
}

void printText(const ResultsOptions& options, DuplicatesDetectionResults& results,
               const LoadedResults& loaded, const FilteredResults& shown) {
  ResultsPrinter printer;
  for (const auto& filtered : shown.groups)
    printer.print(loaded.groups.at(filtered.group->identifier));
  printer.printTotals(results.state());
  if (shown.groups.size() < shown.matchingGroups) {
    fmt::print("{} of {} shown (--limit).\n",
               counted(static_cast<std::int64_t>(shown.groups.size()), "group", "groups"),
               shown.matchingGroups);
  }
  printSummary(options, loaded.model);
}

std::string checkCriterion(const std::string& name) {
  if (filteringCriterionFromCommandLineName(name)) return {};
  std::string names;
  for (FilteringCriterion criterion : allCriteria())
    names += (names.empty() ? "" : ", ") + std::string(commandLineName(criterion));
  return fmt::format("{} is not a filter; the filters are {}", name, names);
}

std::optional<SelectionStrategy> strategyNamed(const std::string& name) {
  if (name == "automatic") return SelectionStrategy::automatic;
  if (name == "none") return SelectionStrategy::none;
  if (name == "newest") return SelectionStrategy::newer;
  if (name == "oldest") return SelectionStrategy::older;
  if (name == "random") return SelectionStrategy::random;
  return std::nullopt;
}

std::string idList(const std::set<std::int64_t>& identifiers) {
  std::string text;
  for (std::int64_t id : identifiers) text += (text.empty() ? "#" : ", #") + std::to_string(id);
  return text.empty() ? "none" : text;
}

// The warning in words for the person at the terminal (the fixed descriptions are the log's).
std::string warningText(DuplicateWarning warning) {
  switch (warning) {
    case DuplicateWarning::isMemberOfNonDefaultITunesLibrary:
    case DuplicateWarning::isMemberOfNonTestedITunesLibrary:
    case DuplicateWarning::isMemberOfNonTestedPhotosLibrary:
      return "this copy belongs to a music or photo library that removing it could damage";
    case DuplicateWarning::isNonAccessible:
      return "this copy is no longer there";
    case DuplicateWarning::isNonWritable:
      return "this copy cannot be removed with your permissions; change them in the file manager "
             "or with chmod";
    default:
      return std::string(description(warning));
  }
}

void printWarnings(const SelectionChangeProposal& proposal) {
  bool toldLastCopy = false;
  for (const auto& warning : proposal.warnings) {
    if (warning.warning == DuplicateWarning::isLastUnselectedDuplicateOfEquivalence) {
      if (!toldLastCopy)
        fmt::print(stderr, "zarnik: warning: every copy of the group would be removed\n");
      toldLastCopy = true;
      continue;
    }
    if (warning.detail.empty()) {
      fmt::print(stderr, "zarnik: warning: #{}: {}\n", warning.identifier,
                 warningText(warning.warning));
    } else {
      fmt::print(stderr, "zarnik: warning: #{}: {}\n", warning.identifier, warning.detail);
    }
  }
}

void printGroup(DuplicatesDetectionResults& results, std::int64_t identifier) {
  auto group = results.equivalence(identifier).wait();
  if (group.hasValue() && group.value()) ResultsPrinter().print(*group.value());
}

// A change by hand that makes a smart rule ready to suggest offers it once, here; `zarnik rules
// suggest` lists it until it is accepted or declined.
void offerRulesMadeReady(DuplicatesDetectionResults& results) {
  auto preferences = openUserPreferences();
  if (!preferences) return;
  auto suggestions =
      ruleSuggestions(results, preferences->extendedPreferences().autoselectionRules);
  if (suggestions.hasError()) return;  // a suggestion is no reason to fail a change made
  const auto& pending = suggestions.value().pending;
  for (const auto& rule : suggestions.value().readyAfterLastChange) {
    const auto number = std::find(pending.begin(), pending.end(), rule) - pending.begin() + 1;
    fmt::print(
        "\nSuggestion: {}\n  zarnik rules suggest accept {} adds the smart rule {}; zarnik rules "
        "suggest decline {} never asks again.\n",
        rule.suggestionQuestion(), number, rule.identifier(), number);
  }
}

SelectionRequest requestFor(const SelectOptions& options) {
  SelectionRequest request;
  request.confirmsWarnings = options.force;
  if (!options.strategy.empty()) {
    request.kind = SelectionRequest::Kind::strategy;
    request.strategy = *strategyNamed(options.strategy);
  } else if (!options.select.empty()) {
    request.kind = SelectionRequest::Kind::select;
    request.identifiers.insert(options.select.begin(), options.select.end());
  } else {
    request.kind = SelectionRequest::Kind::deselect;
    request.identifiers.insert(options.deselect.begin(), options.deselect.end());
  }
  return request;
}

// Identifiers are the numbers the listing shows: whole numbers from 1.
std::string checkIdentifier(const std::string& value) {
  std::int64_t parsed = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), parsed);
  if (value.empty() || end != value.data() + value.size() || value.front() == '-' ||
      value.front() == '+') {
    return fmt::format("{} is not a number from the listing (zarnik results shows them)", value);
  }
  if (error == std::errc::result_out_of_range)
    return fmt::format("{} is too large for a group or copy number", value);
  if (error != std::errc() || parsed < 1)
    return fmt::format("{} is not a number from the listing; they start at 1", value);
  return {};
}

}  // namespace

void addResultsCommand(CLI::App& app, ResultsOptions& options) {
  CLI::App* results = app.add_subcommand("results", "Show the stored results of the last scan");
  results->footer(
      "Examples:\n"
      "  zarnik results\n"
      "  zarnik results --filter similar-images --filter selected\n"
      "  zarnik results --sort count --limit 10\n"
      "  zarnik results --search holiday --sort name --reverse\n"
      "  zarnik results --json > groups.json");
  results->add_flag("--json", options.json,
                    "Print the export document, with identifiers, on stdout");
  results
      ->add_option(
          "--filter", options.filters,
          "Show only the groups under this criterion (repeat for several): all, cleaned, empty, "
          "empty-exact, empty-similar, selected, all-duplicates, applications, archives, "
          "documents, "
          "audio, images, folders, video, other, all-similars, similar-applications, "
          "similar-images, "
          "similar-audio")
      ->type_name("CRITERION")
      ->check(checkCriterion)
      ->take_all();
  results
      ->add_option(
          "--sort", options.sort,
          "Order the groups by size (largest first), name (from A), count (most copies first) or "
          "selected (most copies proposed for removal first)")
      ->type_name("KEY")
      ->check(CLI::IsMember({"size", "name", "count", "selected"}));
  results->add_flag("--reverse", options.reverse, "Order the other way round");
  results
      ->add_option("--search", options.search,
                   "Show only the copies whose name or path contains TEXT")
      ->type_name("TEXT");
  results->add_option("--limit", options.limit, "Show at most N groups")
      ->type_name("N")
      ->check(CLI::PositiveNumber);
}

int runResults(const ResultsOptions& options) {
  auto service = std::make_shared<ScanningService>();
  auto session = restoreUserSession(service);
  if (!session) return 1;
  auto results = reviewedResults(*session);
  if (!results) return 1;
  const bool listsEverything = options.filters.empty() && options.search.empty() &&
                               options.sort.empty() && !options.reverse && !options.limit;
  if (listsEverything && !options.json) {
    // Printed as the groups are read, so that the first lines of a large result come at once.
    ResultsModel model;
    if (auto printed = printStoredResults(*results, &model); printed.hasError()) {
      printError(printed.error().oneLine());
      return 1;
    }
    printSummary(options, model);
  } else {
    auto loaded = loadResults(*results);
    if (loaded.hasError()) {
      printError(loaded.error().oneLine());
      return 1;
    }
    const auto shown = loaded.value().model.filter(queryFor(options));
    if (options.json) {
      printJSON(options, loaded.value(), shown);
    } else {
      printText(options, *results, loaded.value(), shown);
    }
  }
  updateUserStatisticsAnnouncingAchievements(
      [&options](StatisticianStore& statistics) {
        statistics.add("numberOfLaunches", 1);
        if (!options.filters.empty()) statistics.setTruth("filterUsed", true);
        if (!options.search.empty()) statistics.setTruth("searchUsed", true);
      },
      !options.json);
  return 0;
}

void addSelectCommand(CLI::App& app, SelectOptions& options) {
  CLI::App* select = app.add_subcommand(
      "select",
      "Change which copies of a stored group are proposed for removal, or undo such a change");
  select->footer(
      "Examples:\n"
      "  zarnik select --group 3 --strategy oldest     in group 3, the older copies go\n"
      "  zarnik select --deselect 12 14                keep copies #12 and #14\n"
      "  zarnik select --undo");
  select->add_option("--group", options.group, "The group to change (needed with --strategy)")
      ->type_name("ID")
      ->check(checkIdentifier);
  select
      ->add_option("--strategy", options.strategy,
                   "Propose copies by a rule: automatic, none, newest (the newer copies go, the "
                   "oldest stays), "
                   "oldest (the older copies go), random")
      ->check(CLI::IsMember({"automatic", "none", "newest", "oldest", "random"}));
  select->add_option("--select", options.select, "Propose these copies for removal")
      ->type_name("ID")
      ->check(checkIdentifier)
      ->allow_extra_args(true);
  select->add_option("--deselect", options.deselect, "Keep these copies")
      ->type_name("ID")
      ->check(checkIdentifier)
      ->allow_extra_args(true);
  select->add_flag("--undo", options.undo, "Undo the last selection change");
  select->add_flag("--redo", options.redo, "Redo the last undone change");
  select->add_flag("--force", options.force,
                   "Apply a change that brings a warning (such as removing every copy)");
}

int runSelect(const SelectOptions& options) {
  const int actions = (options.strategy.empty() ? 0 : 1) + (options.select.empty() ? 0 : 1) +
                      (options.deselect.empty() ? 0 : 1) + (options.undo ? 1 : 0) +
                      (options.redo ? 1 : 0);
  if (actions != 1) {
    printError("give one of --strategy, --select, --deselect, --undo or --redo");
    return 2;
  }
  if (!options.strategy.empty() && !options.group) {
    printError("--strategy needs --group ID");
    return 2;
  }
  const auto sessionLock = lockUserSessionForChanges("zarnik select");
  if (!sessionLock) return 1;
  auto service = std::make_shared<ScanningService>();
  auto session = restoreUserSession(service);
  if (!session) return 1;
  auto results = resultsForChanging(*session);
  if (!results) return 1;

  auto changed = options.undo ? results->undo(options.force).wait()
                 : options.redo
                     ? results->redo(options.force).wait()
                     : results->changeSelection(options.group, requestFor(options)).wait();
  if (changed.hasError()) {
    printError(changed.error().oneLine());
    return 1;
  }
  const auto& change = changed.value();
  printWarnings(change.proposal);
  if (!change.proposal.canApply) {
    printError("nothing changed; add --force to apply the change anyway");
    return 1;
  }
  if (!change.logItem) {
    fmt::print("Group {}: nothing to change.\n", change.equivalenceIdentifier);
    return 0;
  }
  const auto& item = *change.logItem;
  const char* verb = options.undo ? "Undid" : options.redo ? "Redid" : "Changed";
  fmt::print("{} the selection of group {}: newly proposed {}; newly kept {}.\n\n", verb,
             change.equivalenceIdentifier, idList(item.newlySelected()),
             idList(item.newlyDeselected()));
  printGroup(*results, change.equivalenceIdentifier);
  if (!options.undo && !options.redo) offerRulesMadeReady(*results);
  updateUserStatisticsAnnouncingAchievements([](StatisticianStore& statistics) {
    statistics.add("numberOfLaunches", 1);
    statistics.setTruth("selectionChangedByHand", true);
  });
  return 0;
}

}  // namespace zarnik::cli
