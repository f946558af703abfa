#include "cli/clean_command.h"

#include "base/byte_path.h"
#include "cleaning/cleaning_service.h"
#include "cli/cleaning_words.h"
#include "cli/session_lock.h"
#include "cli/user_preferences.h"
#include "cli/user_session.h"
#include "cli/user_statistics.h"
#include "foundation/byte_count_formatter.h"
#include "platform/file_reading.h"
#include "platform/interrupt_watcher.h"
#include "platform/terminal.h"

#include <climits>
#include <fmt/format.h>

#include <cstdio>
#include <iostream>
#include <map>
#include <mutex>
#include <set>

namespace zarnik::cli {
namespace {

// "trash", "delete" or "move-to:DIR".
Result<FileCleaningOption> parsedOption(const std::string& text) {
  if (text == "trash") return FileCleaningOption{FileCleaningOption::Kind::moveToTrash, {}};
  if (text == "delete") return FileCleaningOption{FileCleaningOption::Kind::removePermanently, {}};
  if (text.rfind("move-to:", 0) == 0) {
    ZK_ASSIGN_OR_RETURN(auto folder,
                        checkedDestinationFolder(text.substr(8), "--volume …=move-to:"));
    return FileCleaningOption{FileCleaningOption::Kind::moveToFolder, std::move(folder)};
  }
  return Error::generic("expected MOUNT=trash, MOUNT=delete or MOUNT=move-to:DIR");
}

std::string absolute(const std::string& path) { return resolvedPath(path).valueOr(path); }

// The stored cleaning rules with this run's flags over them.
Result<CleaningRules> rulesFor(const CleanOptions& options, CleaningRules rules) {
  auto& option = rules.cleaningOption;
  if (options.trash) option = FileCleaningOption{};
  if (options.remove || options.hardlink)
    option = FileCleaningOption{FileCleaningOption::Kind::removePermanently, {}};
  if (options.moveTo) {
    ZK_ASSIGN_OR_RETURN(auto folder, checkedDestinationFolder(*options.moveTo, "--move-to"));
    option = FileCleaningOption{FileCleaningOption::Kind::moveToFolder, std::move(folder)};
  }
  for (const auto& text : options.volumeOptions) {
    const auto equals = text.find('=');
    if (equals == std::string::npos || equals == 0) {
      return Error::generic(fmt::format(
          "--volume {}: expected MOUNT=trash, MOUNT=delete or MOUNT=move-to:DIR", text));
    }
    auto parsed = parsedOption(text.substr(equals + 1));
    if (parsed.hasError())
      return Error::generic(fmt::format("--volume {}: {}", text, parsed.error().oneLine()));
    rules.overriddenCleaningOptionByVolumePath[absolute(text.substr(0, equals))] = parsed.value();
  }
  if (options.trash || options.remove || options.moveTo)
    rules.shouldTryToReplaceRemovedDuplicatesWithHardLinkToOriginal = false;
  if (options.hardlink) rules.shouldTryToReplaceRemovedDuplicatesWithHardLinkToOriginal = true;
  if (options.keepEmptyFolders) rules.removeEmptyDirectories = false;
  if (options.fake) rules.isFakeRemove = true;
  return rules;
}

// "3 duplicates (1.2 MB) and 1 similar (300 KB)", or "nothing".
std::string countsText(std::int64_t duplicates, ByteCount duplicatesSize, std::int64_t similars,
                       ByteCount similarsSize) {
  std::string text;
  const auto add = [&](std::int64_t count, ByteCount size, const char* kind) {
    if (count == 0) return;
    if (!text.empty()) text += " and ";
    text += fmt::format("{} {}{} ({})", count, kind, count == 1 ? "" : "s", formatByteCount(size));
  };
  add(duplicates, duplicatesSize, "duplicate");
  add(similars, similarsSize, "similar");
  return text.empty() ? std::string("nothing") : text;
}

void printSummary(const std::string& done, const CleaningStatistics& statistics) {
  fmt::print(
      "{}: {}.", done,
      countsText(statistics.numberOfSucceededDuplicates, statistics.sizeOfSucceededDuplicates,
                 statistics.numberOfSucceededSimilars, statistics.sizeOfSucceededSimilars));
  if (statistics.numberOfFailedDuplicates + statistics.numberOfFailedSimilars > 0) {
    fmt::print(" Failed: {}.",
               countsText(statistics.numberOfFailedDuplicates, statistics.sizeOfFailedDuplicates,
                          statistics.numberOfFailedSimilars, statistics.sizeOfFailedSimilars));
  }
  fmt::print("\n");
}

// "Cleaning 3, moved to the trash: 2 duplicates (4 KB)." when every copy went one way; else the
// totals, then each way's copies.
void printCleaningSummary(std::int64_t cleanID, const CleaningStatistics& statistics,
                          const WayCounts& done) {
  if (done.numberOfWays() <= 1) {
    const std::string way = done.onlyWay();
    printSummary(way.empty() ? fmt::format("Cleaning {}", cleanID)
                             : fmt::format("Cleaning {}, {}", cleanID, way),
                 statistics);
    return;
  }
  printSummary(fmt::format("Cleaning {}", cleanID), statistics);
  fmt::print("Of the copies cleaned, {}.\n", done.list());
}

bool confirmed(const WayCounts& planned) {
  fmt::print(stderr, "{}. Continue? [y/N] ", planned.sentence("will be"));
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return answer == "y" || answer == "Y" || answer == "yes";
}

// The kind of every stored group: copies of exact groups alone are replaced by hard links.
std::map<std::int64_t, EquivalenceKind> kindsOfGroups(DuplicatesDetectionResults& results) {
  std::map<std::int64_t, EquivalenceKind> kinds;
  (void)results
      .forEachEquivalence([&kinds](const ZKEquivalence& group) {
        kinds[group.uniqueIdentifier] = group.privateEquivalenceKind;
        return true;
      })
      .wait();
  return kinds;
}

// How the planned copies will go, way by way, from the rules and each copy's volume.
WayCounts plannedWays(const CleaningPlan& plan, const CleaningRules& rules,
                      DuplicatesDetectionResults& results) {
  const auto mounts = readMountTable();
  std::map<std::int64_t, EquivalenceKind> kinds;
  if (rules.shouldTryToReplaceRemovedDuplicatesWithHardLinkToOriginal)
    kinds = kindsOfGroups(results);
  WayCounts ways;
  for (const auto& item : plan.items) {
    const auto kind = kinds.find(item.equivalenceID);
    ways.add(plannedWay(rules, kind == kinds.end() ? EquivalenceKind::exactHash : kind->second,
                        item.path, mounts),
             item.size);
  }
  return ways;
}

// Waits for a task, cancelling it on the first Ctrl-C (what is done stays done and recorded).
template <typename Task>
void waitCancellingOnInterrupt(const std::shared_ptr<Task>& task) {
  auto watcher = std::make_shared<InterruptWatcher>();
  task->completionFuture().onComplete(Executor::immediate(),
                                      [watcher](const auto&) { watcher->notifyDone(); });
  watcher->waitUntilDone([&](int count) {
    if (count == 1) {
      fmt::print(stderr,
                 "\nzarnik: stopping: the copy in hand is finished, or left in place if it was "
                 "still being checked "
                 "(Ctrl-C again quits at once)\n");
      task->cancel();
    } else {
      std::_Exit(130);
    }
  });
}

// Whether the user agreed (or needs not be asked); prints what is planned.
bool planAccepted(const CleaningPlan& plan, const CleanOptions& options, const WayCounts& ways) {
  for (std::int64_t group : plan.groupsLeftWhole) {
    fmt::print(stderr,
               "zarnik: group {} is left alone: every copy is selected (--force cleans it too)\n",
               group);
  }
  if (options.dryRun) {
    for (const auto& item : plan.items)
      fmt::print("would clean #{} {}\n", item.duplicateID, displayPath(item.path));
    fmt::print("{}.\n", ways.sentence("would be"));
    return false;
  }
  if (options.yes) return true;
  if (!isTerminal(StandardStream::input)) {
    printError("cleaning needs confirmation: add --yes");
    return false;
  }
  if (!confirmed(ways)) {
    fmt::print("Nothing was changed.\n");
    return false;
  }
  return true;
}

// Deleting is offered instead only where the trash itself could not be used.
void adviseOnTrashlessVolumes(const std::vector<CleaningNoteEmitted>& remarkable) {
  const auto mounts = readMountTable();
  std::set<std::string> told;
  for (const auto& item : remarkable) {
    if (!failedForWantOfATrash(item.note, item.path)) continue;
    const auto volume = mountPointForPath(mounts, item.path);
    if (!volume || !told.insert(*volume).second) continue;
    fmt::print(
        "The trash cannot be used on {}: clean again with --volume {}=delete or =move-to:DIR.\n",
        displayPath(*volume), displayPath(*volume));
  }
}

}  // namespace

void addCleaningWays(CLI::App* command, CleanOptions& options) {
  command->add_flag("--dry-run", options.dryRun, "Print what would be done and change nothing");
  auto* trash =
      command->add_flag("--trash", options.trash, "Move the copies to the trash (the default)");
  auto* remove = command->add_flag("--delete", options.remove, "Remove the copies permanently");
  auto* move = command
                   ->add_option("--move-to", options.moveTo,
                                "Move the copies into this folder (an absolute path)")
                   ->type_name("DIR");
  auto* link = command->add_flag("--hardlink", options.hardlink,
                                 "Replace the copies by hard links to the kept ones");
  trash->excludes(remove)->excludes(move)->excludes(link);
  remove->excludes(move)->excludes(link);
  move->excludes(link);
  command->add_flag("-y,--yes", options.yes, "Do not ask for confirmation");
}

void addCleanCommand(CLI::App& app, CleanOptions& options) {
  CLI::App* clean = app.add_subcommand("clean", "Remove the copies selected in the stored results");
  clean->footer(
      "Examples:\n"
      "  zarnik clean --dry-run                        show what would be removed\n"
      "  zarnik clean                                  move the selected copies to the trash\n"
      "  zarnik clean --move-to ~/Duplicates --volume /media/usb=delete");
  addCleaningWays(clean, options);
  clean
      ->add_option("--volume", options.volumeOptions,
                   "Another way for the copies on one volume: MOUNT=trash, MOUNT=delete or "
                   "MOUNT=move-to:DIR")
      ->type_name("MOUNT=HOW");
  clean->add_flag("--fake", options.fake,
                  "Go through the cleaning without touching any file (0.3 s a copy)");
  clean->add_flag("--force", options.force, "Also clean groups whose every copy is selected");
  clean->add_flag("--keep-empty-folders", options.keepEmptyFolders,
                  "Leave folders that cleaning empties (they are removed inside the scanned "
                  "folders by default)");
}

int runClean(const CleanOptions& options) {
  // A dry run only reads: it never waits for another command.
  std::optional<FileLock> sessionLock;
  if (!options.dryRun && !(sessionLock = lockUserSessionForChanges("zarnik clean"))) return 1;
  auto session = restoreUserSession(std::make_shared<ScanningService>());
  if (!session) return 1;
  return cleanProposedCopies(*session, options);
}

int cleanProposedCopies(DuplicatesDetectionSession& session, const CleanOptions& options) {
  auto preferences = openUserPreferences();
  auto rules = rulesFor(
      options, preferences ? preferences->extendedPreferences().cleaningRules : CleaningRules{});
  if (rules.hasError()) {
    printError(rules.error().oneLine());
    return 2;
  }
  auto results = options.dryRun ? reviewedResults(session) : resultsForChanging(session);
  if (!results) return 1;
  // A fake cleaning cut off before it forgot its notes must not keep its copies from this one.
  if (!options.dryRun) (void)results->forgetTrialCleanings().wait();
  auto plan = results->planCleaning(options.force).wait();
  if (plan.hasError()) {
    printError(plan.error().oneLine());
    return 1;
  }
  if (plan.value().items.empty()) {
    fmt::print("Nothing is selected for removal.\n");
    return 0;
  }
  if (!planAccepted(plan.value(), options, plannedWays(plan.value(), rules.value(), *results))) {
    return options.dryRun ? 0 : 1;
  }

  auto request = results->cleaningRequest(rules.value(), options.force).wait();
  if (request.hasError()) {
    printError(request.error().oneLine());
    return 1;
  }
  auto task = CleaningTask::make(std::move(request.value()));
  std::mutex failuresMutex;
  std::vector<CleaningNoteEmitted> remarkable;  // failed, or done with a remark
  WayCounts done;
  const bool showProgress = isTerminal(StandardStream::error);
  task->reports().onUpdate(Executor::immediate(), [&](const CleaningReport& report) {
    if (const auto* progress = std::get_if<CleaningProgress>(&report)) {
      if (showProgress) {
        fmt::print(stderr, "\rCleaning {}/{} ({:.0f} %)",
                   progress->numberOfSuccededItems + progress->numberOfFailedItems,
                   progress->numberOfItems, 100 * progress->sizeBasedFractionCompleted());
      }
    } else {
      const auto& emitted = std::get<CleaningNoteEmitted>(report);
      std::lock_guard lock(failuresMutex);
      if (emitted.note.isSuccessful()) done.add(doneWay(emitted.note), emitted.size);
      if (emitted.note.error || emitted.note.note) remarkable.push_back(emitted);
    }
  });
  CleaningService service;
  service.perform(task);
  waitCancellingOnInterrupt(task);
  auto cleaned = task->completionFuture().wait();
  if (showProgress) fmt::print(stderr, "\r\033[K");
  if (cleaned.hasError()) {
    printError(cleaned.error().oneLine());
    return 1;
  }
  // A fake cleaning touched nothing: its copies stay to be cleaned for real.
  if (options.fake) (void)results->forgetTrialCleanings().wait();
  const CleaningResult& result = cleaned.value();
  std::lock_guard lock(failuresMutex);
  printCleaningSummary(task->cleanID(), result.statistics, done);
  for (const auto& item : remarkable) {
    if (item.note.error)
      fmt::print("  failed  #{} {}\n", item.duplicateID, item.note.error->oneLine());
    if (item.note.note)
      fmt::print("  note    #{} {}: {}\n", item.duplicateID, displayPath(item.path),
                 *item.note.note);
  }
  adviseOnTrashlessVolumes(remarkable);
  if (auto model = loadResultsModel(*results)) printReviewFigures(*model, /*afterCleaning=*/true);
  updateUserStatisticsAnnouncingAchievements(cleaningChange(result, options.fake));
  if (result.didCancel) {
    const auto untouched = result.progress.numberOfItems - result.progress.numberOfSuccededItems -
                           result.progress.numberOfFailedItems;
    fmt::print("Stopped: {} of {} cop{} not handled, left in place.\n", untouched,
               result.progress.numberOfItems, result.progress.numberOfItems == 1 ? "y" : "ies");
    return 130;
  }
  return result.progress.numberOfFailedItems > 0 ? 1 : 0;
}

void addRevertCommand(CLI::App& app, RevertOptions& options) {
  CLI::App* revert = app.add_subcommand("revert", "Bring cleaned copies back where they were");
  revert->footer(
      "Examples:\n  zarnik revert --all\n  zarnik revert 12 14                           bring "
      "back copies #12 and #14");
  revert->add_flag("--all", options.all, "Every cleaned copy");
  revert->add_option("ids", options.identifiers, "The copies to bring back (#ID in the results)")
      ->type_name("ID");
}

int runRevert(const RevertOptions& options) {
  if (options.all == !options.identifiers.empty()) {
    printError("give --all or the identifiers of the copies");
    return 2;
  }
  const auto sessionLock = lockUserSessionForChanges("zarnik revert");
  if (!sessionLock) return 1;
  auto session = restoreUserSession(std::make_shared<ScanningService>());
  if (!session) return 1;
  return revertCleanedCopies(*session, options);
}

int revertCleanedCopies(DuplicatesDetectionSession& session, const RevertOptions& options) {
  auto results = resultsForChanging(session);
  if (!results) return 1;
  auto task = RevertingTask::make(
      {results->storeAccess(), {options.identifiers.begin(), options.identifiers.end()}});
  CleaningService service;
  service.perform(task);
  waitCancellingOnInterrupt(task);
  auto reverted = task->completionFuture().wait();
  if (reverted.hasError()) {
    printError(reverted.error().oneLine());
    return 1;
  }
  if (reverted.value().items.empty()) {
    fmt::print("Nothing was cleaned{}.\n", options.all ? "" : " among those copies");
    return options.all ? 0 : 1;
  }
  CleaningStatistics statistics;
  for (const auto& item : reverted.value().items)
    statistics.count(!item.error, item.isSimilar, item.size);
  printSummary("Brought back", statistics);
  updateUserStatisticsAnnouncingAchievements(revertChange(statistics));
  for (const auto& item : reverted.value().items) {
    if (item.error) fmt::print("  failed  #{} {}\n", item.duplicateID, item.error->oneLine());
  }
  return reverted.value().failedDuplicateIDs.empty() ? 0 : 1;
}

}  // namespace zarnik::cli
