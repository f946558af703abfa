#include "cli/monitor_command.h"

#include "cli/results_command.h"
#include "cli/session_lock.h"
#include "cli/user_preferences.h"
#include "cli/user_session.h"
#include "foundation/byte_count_formatter.h"
#include "foundation/io_event_loop.h"
#include "foundation/logger.h"
#include "foundation/url_resolver.h"
#include "monitor/duplicates_monitor_manager.h"
#include "monitor/duplicates_monitor_state_storage.h"
#include "monitor/monitor_requests.h"
#include "monitor/monitor_review.h"
#include "monitor/monitor_status.h"
#include "platform/desktop_notifications.h"
#include "platform/file_lock.h"
#include "platform/file_reading.h"
#include "platform/interrupt_watcher.h"
#include "platform/resource_values.h"

#include <fmt/format.h>

namespace zarnik::cli {
namespace {

std::string shortPath(const std::string& path) {
  return OVURLResolver::shared().abbreviatedPath(path);
}

std::string plural(std::int64_t count, std::string_view one, std::string_view many) {
  return fmt::format("{} {}", count, count == 1 ? one : many);
}

std::optional<MonitorStatus> runningMonitorStatus() { return MonitorStatus::readRunning(); }

void printRecent(const RecentDuplicatesInfo& recent) {
  if (recent.totalCount == 0) {
    fmt::print("No new duplicates found lately.\n");
    return;
  }
  fmt::print("Recent duplicates: {} new ({}), {} not yet looked at, {} in all ({}).\n",
             recent.newCount, formatByteCount(recent.newSize), recent.notViewedCount,
             recent.totalCount, formatByteCount(recent.totalSize));
  for (const auto& duplicate : recent.latest) {
    fmt::print("  {}  {}, found {}{}\n", duplicate.abbreviatedPath, formatByteCount(duplicate.size),
               iso8601(duplicate.foundDate), duplicate.isIgnored ? " (ignored)" : "");
  }
  fmt::print(
      "Review them with `zarnik monitor review`, or act on one with `zarnik monitor clean PATH` "
      "or `zarnik monitor ignore PATH`.\n");
}

Json statusJSON(const std::optional<MonitorStatus>& running, const MonitorRequests& requests) {
  Json json = running ? running->encode() : Json{{"state", "off"}};
  json["running"] = running.has_value();
  json["paused"] = requests.paused;
  json["requestedLocations"] = requests.locations;
  return json;
}

// The session bus for notifications, its messages read on their own queue; nothing, told once,
// when there is no bus: the monitor works all the same.
std::shared_ptr<DesktopNotifications> connectNotifications(
    std::optional<IoEventLoop::Token>& token) {
  auto connected = DesktopNotifications::connect();
  if (connected.hasError()) {
    printError("desktop notifications are not available: " + connected.error().oneLine() +
               "; new duplicates are told by `zarnik monitor status`");
    return nullptr;
  }
  std::shared_ptr<DesktopNotifications> notifications = std::move(connected).value();
  auto queue = SerialQueue::make("duplicates-monitor.notifications", QualityOfService::utility);
  token = IoEventLoop::shared().watch(notifications->fileDescriptor(), queue,
                                      [weak = std::weak_ptr(notifications)] {
                                        if (auto bus = weak.lock()) bus->processPending();
                                      });
  return notifications;
}

}  // namespace

MonitorCommand::MonitorCommand(CLI::App& app) {
  command_ =
      app.add_subcommand("monitor", "Watch folders and report new duplicates as they appear");
  command_->require_subcommand(1);
  command_->footer(
      "The monitor watches the folders you add, finds a copy as soon as it is made, and tells you\n"
      "with a desktop notification. Start it with `zarnik monitor enable` (a user service) or run "
      "it\n"
      "in a terminal with `zarnik monitor run`.\n"
      "Examples:\n"
      "  zarnik monitor add ~/Downloads ~/Pictures\n"
      "  zarnik monitor enable\n"
      "  zarnik monitor status\n"
      "  zarnik monitor review");
  run_ = command_->add_subcommand("run", "Run the monitor in the foreground until interrupted");
  run_->add_option("PATH", paths_, "Folders to watch besides those added before");
  run_->footer("Examples:\n  zarnik monitor run\n  zarnik monitor run ~/Downloads");
  add_ = command_->add_subcommand("add", "Watch these folders too");
  add_->add_option("PATH", paths_, "Folders")->required();
  add_->footer("Example:\n  zarnik monitor add ~/Downloads");
  remove_ = command_->add_subcommand("remove", "Stop watching these folders");
  remove_->add_option("PATH", paths_, "Folders")->required();
  remove_->footer("Example:\n  zarnik monitor remove ~/Downloads");
  pause_ = command_->add_subcommand("pause", "Pause watching until resumed");
  pause_->footer("Example:\n  zarnik monitor pause");
  resume_ = command_->add_subcommand("resume", "Resume watching");
  resume_->footer("Example:\n  zarnik monitor resume");
  status_ =
      command_->add_subcommand("status", "Tell what the monitor does and what it found lately");
  status_->add_flag("--json", json_, "Print the status as JSON");
  status_->footer("Examples:\n  zarnik monitor status\n  zarnik monitor status --json");
  review_ = command_->add_subcommand(
      "review",
      "Review the monitor's groups: print them, and let select, clean and revert work on them");
  review_->add_flag("--json", json_, "Print the export document, with identifiers, on stdout");
  serviceCommands_ = std::make_unique<MonitorServiceCommands>(command_);
  copyCommands_ = std::make_unique<MonitorCopyCommands>(command_);
  review_->footer(
      "The groups stay under review until the next `zarnik scan`.\n"
      "Examples:\n  zarnik monitor review\n  zarnik select --group 3 --strategy keep-newest\n  "
      "zarnik clean");
}

int MonitorCommand::run() const {
  if (serviceCommands_->wasChosen()) return serviceCommands_->run();
  if (copyCommands_->wasChosen()) return copyCommands_->run();
  if (run_->parsed()) return runInForeground();
  if (add_->parsed()) return changeLocations(true);
  if (remove_->parsed()) return changeLocations(false);
  if (pause_->parsed()) return setPaused(true);
  if (resume_->parsed()) return setPaused(false);
  if (status_->parsed()) return printStatus();
  if (review_->parsed()) return review();
  return 2;
}

int MonitorCommand::runInForeground() const {
  auto lock = FileLock::tryLock(MonitorStatus::lockPath(), "zarnik monitor run");
  if (lock.hasError()) {
    printError(lock.error().oneLine());
    return 1;
  }
  if (!lock.value()) {
    const auto holder = FileLock::holderOf(MonitorStatus::lockPath());
    printError(holder && holder->pid
                   ? fmt::format("a monitor is already running (process {})", *holder->pid)
                   : std::string("a monitor is already running"));
    return 1;
  }
  std::vector<std::string> locations;
  for (const auto& path : paths_) {
    auto resolved = resolvedPath(path);
    if (resolved.hasError()) {
      printError(resolved.error().oneLine());
      return 1;
    }
    locations.push_back(resolved.value());
  }

  auto crashGuard = DuplicatesMonitorCrashHandler::make(
      std::make_unique<SettingsCrashGuardCounterStore>(openUserPreferences()),
      DuplicatesMonitorCrashHandler::Places::standard());
  std::optional<std::string> resetMessage;
  if (auto launch = crashGuard->handleLaunch().wait();
      launch.hasValue() && !launch.value().message.empty()) {
    resetMessage = launch.value().message;
    printError(*resetMessage);
  }

  std::optional<IoEventLoop::Token> busToken;
  auto setup = DuplicatesMonitorManagerSetup::standard();
  setup.openPreferences = [] {
    return std::shared_ptr<PreferencesController>(openUserPreferences());
  };
  setup.crashHandler = crashGuard;
  setup.notifications = connectNotifications(busToken);
  setup.cache = DigestCache::openOrDisabled({DigestCache::defaultPath()});
  auto manager = DuplicatesMonitorManager::make(setup);
  if (manager.hasError()) {
    printError(manager.error().oneLine());
    return 1;
  }
  // Told on stderr, which a user service writes to the journal, and in the status.
  if (resetMessage) manager.value()->setNotice(resetMessage);
  if (auto started = manager.value()->start(locations); started.hasError()) {
    printError(started.error().oneLine());
    return 1;
  }
  // The folders asked for; the store takes them on the workflow's queue a moment later.
  auto requested = MonitorRequests::loadDefault();
  const auto watched = requested.hasValue() ? requested.value().locations.size() : 0;
  fmt::print(stderr, "zarnik: the monitor watches {}; Ctrl-C stops it.\n",
             plural(static_cast<std::int64_t>(watched), "folder", "folders"));
  if (watched == 0)
    fmt::print(stderr,
               "zarnik: add folders with `zarnik monitor add FOLDER`; the monitor follows.\n");

  InterruptWatcher interrupts;
  interrupts.waitUntilDone([&interrupts](int) { interrupts.notifyDone(); });
  manager.value()->stop();
  if (busToken) IoEventLoop::shared().unwatch(*busToken);
  crashGuard->handleCleanExit();
  Logger::shared().flush();
  return 0;
}

int MonitorCommand::changeLocations(bool adding) const {
  auto requests = MonitorRequests::loadDefault();
  if (requests.hasError()) {
    printError(requests.error().oneLine());
    return 1;
  }
  int status = 0;
  for (const auto& path : paths_) {
    auto resolved = resolvedPath(path);
    if (adding) {
      if (resolved.hasError()) {
        printError(resolved.error().oneLine());
        status = 1;
        continue;
      }
      auto values = readResourceValues(resolved.value());
      if (values.hasError() || values.value().fileResourceType != FileResourceType::directory) {
        printError(Error::generic("Not a folder; give the folder to watch.", path).oneLine());
        status = 1;
        continue;
      }
      const bool added = requests.value().add(resolved.value());
      fmt::print("{} {}\n", added ? "Watching" : "Already watching", shortPath(resolved.value()));
      continue;
    }
    // A folder that is gone can still be removed by the path it was added as.
    const std::string known = resolved.hasValue() ? resolved.value() : path;
    if (requests.value().remove(known)) {
      fmt::print("No longer watching {}\n", shortPath(known));
    } else {
      printError(fmt::format("{}: not watched (zarnik monitor status lists the folders)", path));
      status = 1;
    }
  }
  if (auto saved = requests.value().save(MonitorRequests::defaultPath()); saved.hasError()) {
    printError(saved.error().oneLine());
    return 1;
  }
  if (!runningMonitorStatus())
    fmt::print("The monitor is not running; it will watch them when it starts.\n");
  return status;
}

int MonitorCommand::setPaused(bool paused) const {
  auto requests = MonitorRequests::loadDefault();
  if (requests.hasError()) {
    printError(requests.error().oneLine());
    return 1;
  }
  requests.value().paused = paused;
  if (auto saved = requests.value().save(MonitorRequests::defaultPath()); saved.hasError()) {
    printError(saved.error().oneLine());
    return 1;
  }
  const bool running = runningMonitorStatus().has_value();
  if (paused) {
    std::fputs(
        running ? "The monitor is paused; `zarnik monitor resume` resumes it.\n"
                : "The monitor will stay paused when it starts, until `zarnik monitor resume`.\n",
        stdout);
  } else {
    std::fputs(
        running ? "The monitor watches again.\n" : "The monitor will watch when it starts.\n",
        stdout);
  }
  return 0;
}

int MonitorCommand::printStatus() const {
  auto requests = MonitorRequests::loadDefault();
  if (requests.hasError()) {
    printError(requests.error().oneLine());
    return 1;
  }
  const auto running = runningMonitorStatus();
  if (json_) {
    fmt::print("{}\n", dumpJson(statusJSON(running, requests.value()), 2));
    return 0;
  }
  if (!running) {
    fmt::print(
        "The monitor is not running. Start it with `zarnik monitor enable`, or `zarnik monitor "
        "run` in a terminal.\n");
  } else {
    fmt::print("The monitor is running (process {}): {}.\n", running->processId, running->state);
    if (running->notice) fmt::print("{}\n", *running->notice);
  }
  const auto& locations = requests.value().locations;
  if (locations.empty()) {
    fmt::print("No folders to watch; add some with `zarnik monitor add FOLDER`.\n");
    return 0;
  }
  fmt::print("Folders to watch:");
  for (const auto& location : locations) fmt::print(" {}", shortPath(location));
  fmt::print("\n");
  if (!running) return 0;
  fmt::print("Watching {}", plural(running->watchedFolders, "folder", "folders"));
  if (running->watchBudgetReached)
    fmt::print(
        " (all it may: {} watches, four fifths of what fs.inotify.max_user_watches leaves free; "
        "the folders left out are those changed least lately, with the fewest files and "
        "duplicates)",
        running->watchBudget);
  fmt::print(", {} known", plural(running->itemsKnown, "file", "files"));
  if (running->itemLimitReached)
    fmt::print(
        " (the limit of {} is reached: `zarnik config set "
        "mixedPreferences.duplicatesMonitorNodeLimit N`)",
        running->itemLimit);
  if (running->groups == 0) {
    fmt::print(".\nNo duplicates among them.\n");
  } else {
    fmt::print(".\n{} of duplicates with {}.\n", plural(running->groups, "group", "groups"),
               plural(running->duplicates, "copy", "copies"));
  }
  printRecent(running->recent);
  return 0;
}

int MonitorCommand::review() const {
  const auto lock = lockMonitorFindingsForChanges("zarnik monitor review");
  if (!lock) return 1;
  if (!pathExists(monitorStorePath())) {
    fmt::print(
        "The monitor has found nothing yet. Add folders with `zarnik monitor add FOLDER` and start "
        "it "
        "with `zarnik monitor enable`.\n");
    return 0;
  }
  auto prepared = prepareMonitorReview(monitorStorePath());
  if (prepared.hasError()) {
    printError(prepared.error().oneLine());
    return 1;
  }
  if (prepared.value().groups == 0 && !json_) {
    const auto requests = MonitorRequests::loadDefault();
    const bool ignoresSome = requests.hasValue() && !requests.value().ignoredCopies.empty();
    fmt::print("The monitor has found no duplicates yet{}.\n",
               ignoresSome ? " besides the copies you ignore (zarnik monitor unignore PATH)" : "");
    return 0;
  }
  if (!json_) fmt::print("The monitor's groups are under review until the next scan.\n");
  ResultsOptions options;
  options.json = json_;
  return runResults(options);
}

}  // namespace zarnik::cli
