#include "cli/clean_command.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <iostream>

#include <fmt/format.h>

#include "base/byte_path.h"
#include "cli/user_session.h"
#include "foundation/byte_count_formatter.h"

namespace zarnik::cli {
namespace {

CleaningRequest requestFor(const CleanOptions& options) {
  CleaningRequest request;
  auto& option = request.rules.cleaningOption;
  if (options.remove || options.hardlink) option.kind = FileCleaningOption::Kind::removePermanently;
  if (!options.moveTo.empty()) {
    char resolved[PATH_MAX];
    option.kind = FileCleaningOption::Kind::moveToFolder;
    option.folder = ::realpath(options.moveTo.c_str(), resolved) != nullptr ? resolved : options.moveTo;
  }
  request.rules.shouldTryToReplaceRemovedDuplicatesWithHardLinkToOriginal = options.hardlink;
  request.rules.removeEmptyDirectories = !options.keepEmptyFolders;
  request.removesEveryCopyOfAGroup = options.force;
  return request;
}

std::string whatHappens(const CleaningRequest& request) {
  if (request.rules.shouldTryToReplaceRemovedDuplicatesWithHardLinkToOriginal) {
    return "replaced by hard links to the kept copies";
  }
  switch (request.rules.cleaningOption.kind) {
    case FileCleaningOption::Kind::moveToTrash: return "moved to the trash";
    case FileCleaningOption::Kind::removePermanently: return "removed permanently";
    case FileCleaningOption::Kind::moveToFolder: return "moved to " + displayPath(request.rules.cleaningOption.folder);
  }
  return "removed";
}

// Counts and sizes of the copies that went and of those that failed, duplicates and similars apart.
void printSummary(const std::vector<CleaningItemReport>& items, const std::string& done) {
  size_t counts[2][2] = {};
  ByteCount sizes[2][2] = {};
  for (const auto& item : items) {
    const int failed = item.error ? 1 : 0;
    const int similar = item.isSimilar ? 1 : 0;
    ++counts[failed][similar];
    sizes[failed][similar] += item.size;
  }
  const auto kinds = [&](int failed) {
    std::string text;
    for (int similar = 0; similar < 2; ++similar) {
      if (counts[failed][similar] == 0) continue;
      if (!text.empty()) text += " and ";
      text += fmt::format("{} {}{} ({})", counts[failed][similar], similar ? "similar" : "duplicate",
                          counts[failed][similar] == 1 ? "" : "s", formatByteCount(sizes[failed][similar]));
    }
    return text.empty() ? std::string("nothing") : text;
  };
  fmt::print("{}: {}.", done, kinds(0));
  if (counts[1][0] + counts[1][1] > 0) fmt::print(" Failed: {}.", kinds(1));
  fmt::print("\n");
  for (const auto& item : items) {
    if (item.error) fmt::print("  failed  #{} {}: {}\n", item.identifier, displayPath(item.path), item.error->oneLine());
    if (item.note) fmt::print("  note    #{} {}: {}\n", item.identifier, displayPath(item.path), *item.note);
  }
}

bool confirmed(size_t count, ByteCount size, const std::string& what) {
  fmt::print(stderr, "{} cop{} ({}) will be {}. Continue? [y/N] ", count, count == 1 ? "y" : "ies",
             formatByteCount(size), what);
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return answer == "y" || answer == "Y" || answer == "yes";
}

}  // namespace

void addCleanCommand(CLI::App& app, CleanOptions& options) {
  CLI::App* clean = app.add_subcommand("clean", "Remove the copies selected in the stored results");
  clean->add_flag("--dry-run", options.dryRun, "Print what would be done and change nothing");
  auto* trash = clean->add_flag("--trash", options.trash, "Move the copies to the trash (the default)");
  auto* remove = clean->add_flag("--delete", options.remove, "Remove the copies permanently");
  auto* move = clean->add_option("--move-to", options.moveTo, "Move the copies into this folder")->type_name("DIR");
  auto* link = clean->add_flag("--hardlink", options.hardlink, "Replace the copies by hard links to the kept ones");
  trash->excludes(remove)->excludes(move)->excludes(link);
  remove->excludes(move)->excludes(link);
  move->excludes(link);
  clean->add_flag("-y,--yes", options.yes, "Do not ask for confirmation");
  clean->add_flag("--force", options.force, "Also clean groups whose every copy is selected");
  clean->add_flag("--keep-empty-folders", options.keepEmptyFolders,
                  "Leave folders that cleaning empties (they are removed inside the scanned folders by default)");
}

int runClean(const CleanOptions& options) {
  auto session = restoreUserSession(std::make_shared<ScanningService>());
  if (!session) return 1;
  auto results = reviewedResults(*session);
  if (!results) return 1;
  CleaningRequest request = requestFor(options);
  request.dryRun = true;
  auto planned = results->clean(request).wait();
  if (planned.hasError()) {
    printError(planned.error().oneLine());
    return 1;
  }
  for (std::int64_t group : planned.value().groupsLeftWhole) {
    fmt::print(stderr, "zarnik: group {} is left alone: every copy is selected (--force cleans it too)\n", group);
  }
  ByteCount size = 0;
  for (const auto& item : planned.value().items) size += item.size;
  const std::string what = whatHappens(request);
  if (planned.value().items.empty()) {
    fmt::print("Nothing is selected for removal.\n");
    return 0;
  }
  if (options.dryRun) {
    for (const auto& item : planned.value().items) fmt::print("would clean #{} {}\n", item.identifier, displayPath(item.path));
    fmt::print("{} copies ({}) would be {}.\n", planned.value().items.size(), formatByteCount(size), what);
    return 0;
  }
  if (!options.yes) {
    if (::isatty(STDIN_FILENO) == 0) {
      printError("cleaning needs confirmation: add --yes");
      return 1;
    }
    if (!confirmed(planned.value().items.size(), size, what)) {
      fmt::print("Nothing was changed.\n");
      return 1;
    }
  }
  request.dryRun = false;
  const bool showProgress = ::isatty(STDERR_FILENO) != 0;
  auto cleaned = results
                     ->clean(request,
                             [showProgress](size_t done, size_t total) {
                               if (showProgress) fmt::print(stderr, "\rCleaning {}/{}", done, total);
                             })
                     .wait();
  if (showProgress) fmt::print(stderr, "\r\033[K");
  if (cleaned.hasError()) {
    printError(cleaned.error().oneLine());
    return 1;
  }
  printSummary(cleaned.value().items, fmt::format("Cleaning {}, {}", cleaned.value().cleanID, what));
  const bool anyFailed = std::any_of(cleaned.value().items.begin(), cleaned.value().items.end(),
                                     [](const auto& item) { return item.error.has_value(); });
  return anyFailed ? 1 : 0;
}

void addRevertCommand(CLI::App& app, RevertOptions& options) {
  CLI::App* revert = app.add_subcommand("revert", "Bring cleaned copies back where they were");
  revert->add_flag("--all", options.all, "Every cleaned copy");
  revert->add_option("ids", options.identifiers, "The copies to bring back (#ID in the results)");
}

int runRevert(const RevertOptions& options) {
  if (options.all == !options.identifiers.empty()) {
    printError("give --all or the identifiers of the copies");
    return 2;
  }
  auto session = restoreUserSession(std::make_shared<ScanningService>());
  if (!session) return 1;
  auto results = reviewedResults(*session);
  if (!results) return 1;
  auto reverted = results->revert({options.identifiers.begin(), options.identifiers.end()}).wait();
  if (reverted.hasError()) {
    printError(reverted.error().oneLine());
    return 1;
  }
  if (reverted.value().items.empty()) {
    fmt::print("Nothing was cleaned{}.\n", options.all ? "" : " among those copies");
    return options.all ? 0 : 1;
  }
  printSummary(reverted.value().items, "Brought back");
  const bool anyFailed = std::any_of(reverted.value().items.begin(), reverted.value().items.end(),
                                     [](const auto& item) { return item.error.has_value(); });
  return anyFailed ? 1 : 0;
}

}  // namespace zarnik::cli
