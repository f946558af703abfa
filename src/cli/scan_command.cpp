#include "cli/scan_command.h"

#include "base/byte_path.h"
#include "base/path_components.h"
#include "cli/progress_reporter.h"
#include "cli/results_printer.h"
#include "cli/session_lock.h"
#include "cli/user_preferences.h"
#include "cli/user_session.h"
#include "cli/user_statistics.h"
#include "enumeration/media_library_locations.h"
#include "file_model/match_kinds.h"
#include "foundation/byte_count_formatter.h"
#include "foundation/logger.h"
#include "matching/digest_cache.h"
#include "platform/file_reading.h"
#include "platform/folder_listing.h"
#include "platform/interrupt_watcher.h"
#include "platform/resource_values.h"
#include "platform/sqlite_database.h"
#include "platform/terminal.h"
#include "scanning/scanning_task.h"

#include <climits>
#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace zarnik::cli {
namespace {

// The stored scan rules with this run's flags over them: kind flags choose the kinds (the stored
// switches decide without any), --min-size the threshold; --exclude and --exclude-ext add to the
// ignore list for this run.
std::shared_ptr<ExtendedScanRules> rulesFor(const ScanOptions& options,
                                            const OVURLResolver& resolver,
                                            const Preferences& stored) {
  auto rules = std::static_pointer_cast<ExtendedScanRules>(stored.scanRules->copy());
  const bool anyKind = options.exact || options.audioContent || options.folders || options.apps ||
                       options.similarImages || options.similarAudio;
  if (anyKind || options.all) {
    const bool all = options.all;
    const MatchKinds kinds{all || options.exact,         all || options.audioContent,
                           all || options.folders,       all || options.apps,
                           all || options.similarImages, all || options.similarAudio};
    kinds.applyTo(*rules);
  }
  if (options.minSize == "auto") {
    rules->setSizeThresholdOption(SizeThresholdOption::automatic());
  } else if (!options.minSize.empty()) {
    rules->setSizeThresholdOption(
        SizeThresholdOption::size(parseByteCount(options.minSize).value_or(0)));
  }
  auto byPath = rules->exclusionRulesByPath();
  for (const auto& path : options.excludedPaths) {
    const std::string absolute = resolvedPath(path).valueOr(path);
    byPath[resolver.abbreviatedPath(absolute, true)] =
        ExclusionRule::ignoring(ContainerMembershipMode::regular);
  }
  rules->setExclusionRulesByPath(byPath);
  auto byExtension = rules->exclusionRulesByPathExtension();
  for (auto extension : options.excludedExtensions) {
    if (!extension.empty() && extension.front() == '.') extension.erase(0, 1);
    byExtension[extension] = ExclusionRule::ignoring(ContainerMembershipMode::regular);
  }
  rules->setExclusionRulesByPathExtension(byExtension);
  return rules;
}

// The folders to scan, resolved; each path that cannot be scanned is reported.
// Selection folders as absolute paths; one that does not exist (yet) is taken as written.
std::vector<std::string> absolutePaths(const std::vector<std::string>& paths) {
  std::vector<std::string> absolute;
  absolute.reserve(paths.size());
  for (const auto& path : paths) {
    absolute.push_back(resolvedPath(path).valueOr(path));
  }
  return absolute;
}

std::vector<LocationSpecification> locationsFor(const ScanOptions& options,
                                                const OVURLResolver& resolver) {
  std::vector<LocationSpecification> locations;
  for (const auto& path : options.paths) {
    auto resolvedOrError = resolvedPath(path);
    if (resolvedOrError.hasError()) {
      printError(resolvedOrError.error().oneLine());
      continue;
    }
    const std::string& resolved = resolvedOrError.value();
    auto values = readResourceValues(resolved);
    if (values.hasError()) {
      printError(values.error().oneLine());
      continue;
    }
    if (values.value().fileResourceType != FileResourceType::directory) {
      printError(Error::generic("Not a folder; give the folder that holds it.", path).oneLine());
      continue;
    }
    // A folder that cannot be listed would give an empty scan that looks like a clean one.
    if (!values.value().isReadable || !values.value().isExecutable) {
      printError(Error::posix(EACCES, path).oneLine());
      continue;
    }
    auto location = ScanLocation::make(resolved, resolver);
    if (!location) {
      printError(Error::generic("Cannot be read.", path).oneLine());
      continue;
    }
    locations.push_back({location, {}});
  }
  return locations;
}

// The libraries asked for: each path given, and for a bare option the libraries found for this
// user. Each one that cannot be used is reported; the scan goes on without it.
std::vector<MediaLibraryLocation> mediaLibrariesFor(const ScanOptions& options) {
  std::vector<MediaLibraryLocation> libraries;
  const auto add = [&libraries](MediaLibraryLocation library) {
    if (std::find(libraries.begin(), libraries.end(), library) == libraries.end())
      libraries.push_back(std::move(library));
  };
  const auto collect = [&](const std::vector<std::string>& given, bool isMusic) {
    for (const auto& path : given) {
      if (path.empty()) {
        const auto found = isMusic ? musicLibrariesOfCurrentUser() : photoLibrariesOfCurrentUser();
        if (found.empty())
          printError(isMusic ? "no music library was found for you"
                             : "no photo library was found for you");
        for (const auto& library : found) add(library);
        continue;
      }
      const std::string absolute = resolvedPath(path).valueOr(path);
      auto library = isMusic ? musicLibraryAt(absolute) : photoLibraryAt(absolute);
      if (library.hasError()) {
        printError(library.error().withPath(path).oneLine());
        // The option takes an optional path: "--music-library ~/Music" names a library, not a
        // folder to scan.
        if (const auto kind = folderEntryKindOf(absolute);
            kind.hasValue() && kind.value() == FolderEntryKind::folder) {
          printError(fmt::format("to scan the folder {} itself, name it before {}", path,
                                 isMusic ? "--music-library" : "--photo-library"));
        }
        continue;
      }
      add(library.value());
    }
  };
  collect(options.musicLibraries, true);
  collect(options.photoLibraries, false);
  return libraries;
}

}  // namespace

void addScanCommand(CLI::App& app, ScanOptions& options) {
  CLI::App* scan =
      app.add_subcommand("scan", "Scan folders for duplicates and print the groups found");
  scan->footer(
      "Exact duplicates are files of the same size with the same SHA-1 digest of sampled content: "
      "up to\n"
      "four 1 MiB chunks spread over the file (files up to 4 MiB are read whole). Copies that "
      "differ\n"
      "only between the chunks are grouped too: zarnik clean compares every copy byte for byte "
      "with the\n"
      "kept one before removing it, and --verify compares them during the scan.\n"
      "The stored settings choose the kinds, the size threshold, the ignore list and the "
      "selection\n"
      "rules (zarnik config, zarnik ignore, zarnik rules); flags change them for this scan "
      "only.\n\n"
      "Examples:\n"
      "  zarnik scan                                   your home folder, every kind of duplicate\n"
      "  zarnik scan --similar-images ~/Pictures       similar pictures in one folder\n"
      "  zarnik scan --exact --json /media/usb > groups.json");
  scan->add_option("paths", options.paths, "Folders to scan (default: your home folder)")
      ->type_name("FOLDER");
  scan->add_flag("--json", options.json, "Print the export document of the groups found on stdout");
  scan->add_option("--min-size", options.minSize,
                   "Hide groups whose copies are smaller than SIZE: bytes (1000000) or with a "
                   "unit (500KB, 1.5MB, 2GiB), or auto (the smallest, which together weigh "
                   "little); without it, the stored setting scanRules.sizeThresholdOption")
      ->type_name("SIZE|auto")
      ->check([](const std::string& value) -> std::string {
        if (value == "auto" || parseByteCount(value)) return {};
        if (!value.empty() && value.find_first_not_of("0123456789") == std::string::npos)
          return fmt::format("{} is too large; give at most {} bytes, or auto", value, INT64_MAX);
        return fmt::format(
            "{} is not a size; give bytes (1000000), a size with a unit (500KB, 1.5MB, 2GiB) "
            "or auto",
            value);
      });
  scan->add_flag("--exact", options.exact, "Look for files with the same content");
  scan->add_flag("--audio-content", options.audioContent,
                 "Look for identical audio under different tags");
  scan->add_flag("--folders", options.folders, "Look for duplicate folders");
  scan->add_flag("--apps", options.apps, "Look for duplicate application bundles");
  scan->add_flag("--similar-images", options.similarImages, "Look for similar images");
  scan->add_flag("--similar-audio", options.similarAudio, "Look for similar audio tracks");
  scan->add_flag("--all", options.all,
                 "Look for every kind (without kind flags, the stored settings choose)");
  scan->add_flag("--include-hidden", options.includeHidden,
                 "Also match hidden items (names starting with a dot)");
  scan->add_flag("--verify", options.verify,
                 "Compare the copies of each group byte for byte during the scan, not only the "
                 "sampled digest");
  scan->add_flag(
      "--no-cache", options.noCache,
      "Read every file again instead of using what earlier scans learnt of unchanged files");
  scan->add_flag("-q,--quiet", options.quiet, "No progress line");
  scan->add_flag("-v,--verbose", options.verbose,
                 "Also print how long each stage took (on standard error)");
  scan->add_option("--exclude", options.excludedPaths, "Leave this folder or file out (repeatable)")
      ->type_name("PATH")
      ->allow_extra_args(false);
  scan->add_option("--always-select", options.alwaysSelectPaths,
                   "Always propose the copies inside this folder for removal (repeatable)")
      ->type_name("DIR")
      ->allow_extra_args(false);
  scan->add_option("--never-select", options.neverSelectPaths,
                   "Never propose the copies inside this folder (repeatable)")
      ->type_name("DIR")
      ->allow_extra_args(false);
  scan->add_flag("--select-random-among-equal", options.selectRandomAmongEqual,
                 "Where nothing tells copies apart, still propose all but one for removal");
  scan->add_option("--exclude-ext", options.excludedExtensions,
                   "Leave files with this extension out (repeatable)")
      ->type_name("EXT")
      ->allow_extra_args(false);
  scan->add_option("--music-library", options.musicLibraries,
                   "Also scan a music library item by item: Rhythmbox's rhythmdb.xml, the XML list "
                   "of a library\n"
                   "copied from another computer, or the folder holding one (without PATH: the "
                   "libraries found for you)")
      ->type_name("[PATH]")
      ->expected(0, 1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  scan->add_option(
          "--photo-library", options.photoLibraries,
          "Also scan a photo library item by item: Shotwell's photo.db, a library folder copied\n"
          "from another computer, or the folder holding one (without PATH: the libraries found for "
          "you)")
      ->type_name("[PATH]")
      ->expected(0, 1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

// Freeing a large scan's nodes and groups one by one took a third of a second at 200,000 files,
// after the output was written; the system takes the whole address space back at once. The
// store is closed first, so that its log is folded in and removed as at any orderly end. Builds
// with address sanitizing tear down as usual, so that their leak check still sees everything.
int exitWithoutTeardown(int status) {
#if defined(__SANITIZE_ADDRESS__)
  return status;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return status;
#endif
#endif
  SqliteDatabase::closeAllBeforeExit();
  Logger::shared().flush();
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(status);
}

namespace {

// What the exact groups' digests stand for, said once under the summary.
void printExactnessNote(const ScanningServiceResult& scanned) {
  size_t sampled = 0;
  size_t exact = 0;
  for (const auto& result : scanned.detectionResults) {
    if (result.equivalence.equivalenceKind != EquivalenceKind::exactHash) continue;
    ++exact;
    if (!result.verified) ++sampled;
  }
  if (sampled == 0) {
    if (exact > 0)
      fmt::print(
          "Every group of exact duplicates was checked over the whole content of its files.\n");
    return;
  }
  fmt::print(
      "{} of exact duplicates {} the same size and the same sampled content; zarnik clean compares "
      "every copy "
      "byte for byte before removing it (--verify compares them now).\n",
      sampled == 1 ? "1 group" : fmt::format("{} groups", sampled), sampled == 1 ? "has" : "have");
}

}  // namespace

int runScan(const ScanOptions& options) {
  const OVURLResolver& resolver = OVURLResolver::shared();
  ScanOptions withPaths = options;
  if (withPaths.paths.empty()) withPaths.paths.push_back(resolver.homeURL());
  auto specifications = locationsFor(withPaths, resolver);
  const auto mediaLibraries = mediaLibrariesFor(options);
  if (specifications.empty()) {
    printError("nothing could be scanned");
    return 1;
  }
  // Held until the program ends, so that the groups are stored by this scan alone; taken before
  // the scan begins, so that a busy session costs no scanning. Where no lock file can be made,
  // no store can be either: the scan goes on without keeping its results.
  auto service = std::make_shared<ScanningService>();
  // A scan's results are the person's own: reviewing the monitor's findings ends here.
  if (auto back = DuplicatesDetectionSpec::setReviewingMonitorFindings(false); back.hasError())
    printError(back.error().oneLine());
  auto sessionLock =
      lockSessionForChanges(DuplicatesDetectionSpec::standard(service), "zarnik scan");
  if (sessionLock.hasValue() && !sessionLock.value()) return 1;
  if (sessionLock.hasError()) printError(sessionLock.error().oneLine());
  // What earlier scans learnt of unchanged files is used again; a damaged cache is replaced. It
  // is read while the settings and the stored session are: its table of small files takes as
  // long as both.
  auto openingCache = options.noCache
                          ? makeSucceededFuture(DigestCache::disabled())
                          : makeFuture(Executor::primary(), [] {
                              return DigestCache::openOrDisabled({DigestCache::defaultPath()});
                            });
  // Without readable preferences the scan goes on with the settings a user starts with.
  auto preferences = openUserPreferences();
  const Preferences stored = preferences
                                 ? preferences->extendedPreferences()
                                 : buildExtendedPreferences(PreferencesStorage(), {}, resolver);
  ExtendedAutoselectionRules autoselectionRules = stored.autoselectionRules;
  for (auto& path : absolutePaths(options.alwaysSelectPaths))
    autoselectionRules.alwaysSelectPaths.push_back(std::move(path));
  for (auto& path : absolutePaths(options.neverSelectPaths))
    autoselectionRules.neverSelectPaths.push_back(std::move(path));
  autoselectionRules.selectRandomAmongEqual =
      autoselectionRules.selectRandomAmongEqual || options.selectRandomAmongEqual;

  auto session = sessionLock.hasValue() ? restoreUserSession(service) : nullptr;
  if (!session) {
    printError("the results of this scan will not be kept");
    session = DuplicatesDetectionSession::restore(DuplicatesDetectionSpec::inMemory(service))
                  .wait()
                  .value();
  }

  const std::shared_ptr<DigestCache> digestCache = openingCache.wait().value();

  ProgressReporter progress(!options.quiet && isTerminal(StandardStream::error));
  // Stage timings are always logged; they reach the terminal only when asked for, above the
  // progress line and never on standard output, which holds the results.
  struct TimingLines {
    TimingLines(bool shown, ProgressReporter& progress) {
      if (shown)
        Logger::shared().setConsoleSink(
            [&progress](std::string_view line) { progress.printLine(std::string(line)); });
    }
    ~TimingLines() {
      Logger::shared().setConsoleSink(nullptr);
    }  // the progress line goes with this frame
    TimingLines(const TimingLines&) = delete;
    TimingLines& operator=(const TimingLines&) = delete;
  } timingLines(options.verbose, progress);
  Result<std::shared_ptr<DuplicatesDetection>> started = Error::generic("not started");
  std::shared_ptr<DuplicatesDetectionResults> results;
  session->queue()->sync([&] {
    std::vector<ScanLocationViewModel> models;
    models.reserve(specifications.size());
    for (const auto& specification : specifications)
      models.push_back({specification.scanLocation, {}, {}, {}});
    session->replaceScanLocations(std::move(models));
    started = session->startDetection(
        rulesFor(options, resolver, stored), autoselectionRules, options.includeHidden,
        [&progress, &options, &digestCache, &mediaLibraries, &session](ScanningTask& task) {
          // Stored groups are listed from memory, without being read back.
          if (const auto& sessionResults = session->results())
            sessionResults->setKeepsStoredGroups(
                options.json ? 0 : DuplicatesDetectionResults::kMostKeptCopies);
          task.setVerifiesContents(options.verify);
          task.setMediaLibraries(mediaLibraries);
          task.setDigestCache(digestCache);
          task.setErrorHandler([&progress](const Error& error) {
            progress.printLine("zarnik: " + error.oneLine());
          });
          task.status().onUpdate(
              Executor::immediate(),
              [&progress](const ConstantScanningStatus& status) { progress.show(status); });
        });
    results = session->results();
  });
  if (started.hasError()) {
    printError(started.error().oneLine());
    return 1;
  }
  const auto detection = started.value();

  // Shared with the completion callback, so that its descriptors stay open until the callback
  // has written to them, even when the main thread is done first.
  auto watcher = std::make_shared<InterruptWatcher>();
  detection->outcome().onComplete(
      Executor::immediate(),
      [watcher](const Result<DuplicatesDetectionOutcome>&) { watcher->notifyDone(); });
  bool interrupted = false;
  watcher->waitUntilDone([&](int count) {
    if (count == 1) {
      interrupted = true;
      progress.printLine(
          "zarnik: stopping; the groups found so far follow (Ctrl-C again quits at once)");
      detection->stop(/*keepResults=*/true);
    } else {
      progress.clear();
      std::_Exit(130);
    }
  });
  auto scanned = detection->scanned().wait();
  (void)digestCache->flush().wait();  // the program ends without tearing down
  // The status stream ends after the result: wait for it so that no progress line is drawn
  // after the output.
  (void)detection->task()->status().completion().wait();
  progress.clear();
  // The export is written while the results are being stored.
  if (scanned.hasValue() && options.json) {
    writeExportDocument(stdout, scanned.value()->detectionResults);
    std::fputc('\n', stdout);
  }
  auto outcome = detection->outcome().wait();
  session->queue()->sync([&] {
    if (auto stored = session->storeStateNow(); stored.hasError())
      printError(stored.error().oneLine());
  });
  if (outcome.hasError()) {
    printError(outcome.error().oneLine());
    return outcome.error().isCancellation() ? 130 : 1;
  }
  if (preferences && !interrupted) {
    // The date scan reminders count from.
    auto noted = preferences->change([](PreferencesStorage& storage) -> Result<void> {
      storage.mixedPreferences()->setLastScanDate(dateNow());
      return success();
    });
    if (noted.hasError()) printError(noted.error().oneLine());
    printPreferencesNotices(*preferences);
  }
  if (!options.json) {
    ResultsModel model;
    auto kept = results->takeStoredGroups().wait();
    if (kept.hasValue() && !kept.value()->empty()) {
      printGroups(*kept.value(), results->state(), &model);
    } else if (auto printed = printStoredResults(*results, &model); printed.hasError()) {
      printError(printed.error().oneLine());
      return 1;
    }
    printReviewFigures(model, /*afterCleaning=*/false);
    if (scanned.hasValue()) printExactnessNote(*scanned.value());
  }
  if (scanned.hasValue() && !interrupted)
    updateUserStatisticsAnnouncingAchievements(
        finishedScanChange(*scanned.value(), absolutePaths(withPaths.paths)), !options.json);
  return exitWithoutTeardown(interrupted ? 130 : 0);
}

}  // namespace zarnik::cli
