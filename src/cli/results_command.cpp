#include "cli/results_command.h"

#include "cli/results_printer.h"
#include "cli/session_lock.h"
#include "cli/user_session.h"
#include "scanning/stored_detection_result.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace zarnik::cli {
namespace {

// The export document with each group's and member's identifier and the group's selection.
Result<void> printJSON(DuplicatesDetectionResults& results) {
  std::vector<std::pair<exported::Equivalence, Json>> groups;
  auto visited = results
                     .forEachEquivalence([&groups](const ZKEquivalence& stored) {
                       std::vector<std::int64_t> identifiers;
                       auto equivalence = exported::exportedEquivalence(stored, &identifiers);
                       Json json = equivalence.encode();
                       json["identifier"] = stored.uniqueIdentifier;
                       json["selection"] = std::string(
                           strategyName(stored.currentSelectionConfiguration
                                            ? stored.currentSelectionConfiguration->strategy
                                            : SelectionStrategy::none));
                       auto& members = json["duplicates"];
                       for (size_t i = 0; i < identifiers.size() && i < members.size(); ++i) {
                         members[i]["identifier"] = identifiers[i];
                         const auto& selection = stored.currentSelectionConfiguration;
                         if (selection && selection->isOriginal(identifiers[i]))
                           members[i]["original"] = true;
                       }
                       groups.emplace_back(std::move(equivalence), std::move(json));
                       return true;
                     })
                     .wait();
  if (visited.hasError()) return visited.error();
  std::sort(groups.begin(), groups.end(),
            [](const auto& a, const auto& b) { return exported::precedes(a.first, b.first); });
  Json list = Json::array();
  for (auto& group : groups) list.push_back(std::move(group.second));
  std::fputs(dumpJson(Json{{"equivalences", std::move(list)}}, 2).c_str(), stdout);
  std::fputc('\n', stdout);
  return success();
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
  results->footer("Examples:\n  zarnik results\n  zarnik results --json > groups.json");
  results->add_flag("--json", options.json,
                    "Print the export document, with identifiers, on stdout");
}

int runResults(const ResultsOptions& options) {
  auto service = std::make_shared<ScanningService>();
  auto session = restoreUserSession(service);
  if (!session) return 1;
  auto results = reviewedResults(*session);
  if (!results) return 1;
  auto printed = options.json
                     ? printJSON(*results)
                     : printStoredResults(*results).andThen([](std::int64_t) { return success(); });
  if (printed.hasError()) {
    printError(printed.error().oneLine());
    return 1;
  }
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
  return 0;
}

}  // namespace zarnik::cli
