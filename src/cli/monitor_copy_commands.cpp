#include "cli/monitor_copy_commands.h"

#include "base/path_components.h"
#include "cli/session_lock.h"
#include "cli/user_session.h"
#include "foundation/url_resolver.h"
#include "monitor/monitor_requests.h"
#include "monitor/monitor_review.h"
#include "monitor/monitor_status.h"
#include "platform/file_reading.h"

#include <fmt/format.h>

#include <set>

namespace zarnik::cli {
namespace {

std::string shortPath(const std::string& path) {
  return OVURLResolver::shared().abbreviatedPath(path);
}

// The absolute path a person means: links resolved; for a file that is gone, its folder's.
std::string meantPath(const std::string& path) {
  if (auto resolved = resolvedPath(path); resolved.hasValue()) return resolved.value();
  const auto slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (auto resolved = resolvedPath(folder.empty() ? "/" : folder); resolved.hasValue())
    return resolved.value() == "/" ? "/" + name : resolved.value() + "/" + name;
  return path;
}

std::set<std::string> meantPaths(const std::vector<std::string>& paths) {
  std::set<std::string> meant;
  for (const auto& path : paths) meant.insert(meantPath(path));
  return meant;
}

bool isInWatchedFolder(const std::string& path, const MonitorRequests& requests) {
  return std::any_of(requests.locations.begin(), requests.locations.end(),
                     [&](const std::string& folder) { return isPathAtOrBelow(path, folder); });
}

// Each path the monitor does not know, told in one line; true when there was none.
bool allFound(const std::set<std::string>& wanted, const std::set<std::string>& found,
              std::string_view why) {
  bool all = true;
  for (const auto& path : wanted) {
    if (found.contains(path)) continue;
    printError(fmt::format("{}: {}", shortPath(path), why));
    all = false;
  }
  return all;
}

// The monitor's findings under review, for one command, with its lock held by the caller.
std::shared_ptr<DuplicatesDetectionSession> monitorFindings() {
  return restoreSession(DuplicatesDetectionSpec::monitorReview(nullptr));
}

// The identifiers of the copies at `paths` that a cleaning of the monitor's findings removed.
std::map<std::string, std::int64_t> cleanedCopies(DuplicatesDetectionResults& results,
                                                  const std::set<std::string>& paths) {
  std::map<std::string, std::int64_t> cleaned;
  (void)results
      .forEachEquivalence([&](const ZKEquivalence& group) {
        for (const auto& copy : group.duplicates) {
          const auto node = copy.node();
          if (copy.cleanID && node && paths.contains(node->path()))
            cleaned[node->path()] = copy.identifier;
        }
        return true;
      })
      .wait();
  return cleaned;
}

}  // namespace

MonitorCopyCommands::MonitorCopyCommands(CLI::App* monitorCommand) {
  ignore_ = monitorCommand->add_subcommand(
      "ignore", "No news of these copies any more, and leave them out of the monitor's review");
  ignore_->add_option("PATH", paths_, "Files in the watched folders")->required();
  ignore_->footer("Example:\n  zarnik monitor ignore ~/Downloads/report.pdf");
  unignore_ = monitorCommand->add_subcommand("unignore", "Tell about these copies again");
  unignore_->add_option("PATH", paths_, "Files ignored before")->required();
  unignore_->footer("Example:\n  zarnik monitor unignore ~/Downloads/report.pdf");
  clean_ = monitorCommand->add_subcommand(
      "clean",
      "Clean these copies the monitor found, keeping another copy of each (to the trash by "
      "default)");
  clean_->add_option("PATH", paths_, "Copies the monitor found")->required();
  addCleaningWays(clean_, cleanOptions_);
  clean_->footer(
      "The copy each group keeps is compared with the one cleaned, as `zarnik clean` does;\n"
      "`zarnik monitor put-back PATH` brings a cleaned copy back.\n"
      "Examples:\n  zarnik monitor clean ~/Downloads/'report (copy).pdf'\n"
      "  zarnik monitor clean --delete --yes ~/Downloads/setup-2.iso");
  putBack_ = monitorCommand->add_subcommand(
      "put-back", "Bring back copies cleaned with `zarnik monitor clean` or from its review");
  putBack_->add_option("PATH", paths_, "Where the copies were")->required();
  putBack_->footer("Example:\n  zarnik monitor put-back ~/Downloads/'report (copy).pdf'");
}

bool MonitorCopyCommands::wasChosen() const {
  return ignore_->parsed() || unignore_->parsed() || clean_->parsed() || putBack_->parsed();
}

int MonitorCopyCommands::run() const {
  if (ignore_->parsed()) return setIgnored(true);
  if (unignore_->parsed()) return setIgnored(false);
  if (clean_->parsed()) return clean();
  if (putBack_->parsed()) return putBack();
  return 2;
}

int MonitorCopyCommands::setIgnored(bool ignored) const {
  auto requests = MonitorRequests::loadDefault();
  if (requests.hasError()) {
    printError(requests.error().oneLine());
    return 1;
  }
  auto& ignoredCopies = requests.value().ignoredCopies;
  int status = 0;
  for (const auto& given : paths_) {
    const std::string path = meantPath(given);
    if (!ignored) {
      if (ignoredCopies.erase(path) == 0) {
        printError(fmt::format("{}: not ignored", shortPath(path)));
        status = 1;
        continue;
      }
      fmt::print("{} is told about again.\n", shortPath(path));
      continue;
    }
    if (!pathExists(path)) {
      printError(fmt::format("{}: no such file", given));
      status = 1;
    } else if (!isInWatchedFolder(path, requests.value())) {
      printError(fmt::format(
          "{}: not in a folder the monitor watches (zarnik monitor status lists them)", given));
      status = 1;
    } else if (ignoredCopies.insert(path).second) {
      fmt::print("{} is ignored: no news of it, and it stays out of the monitor's review.\n",
                 shortPath(path));
    } else {
      fmt::print("{} was ignored already.\n", shortPath(path));
    }
  }
  if (auto saved = requests.value().save(MonitorRequests::defaultPath()); saved.hasError()) {
    printError(saved.error().oneLine());
    return 1;
  }
  return status;
}

int MonitorCopyCommands::clean() const {
  const auto lock = lockMonitorFindingsForChanges("zarnik monitor clean");
  if (!lock) return 1;
  if (!pathExists(monitorStorePath())) {
    printError("the monitor has found nothing yet");
    return 1;
  }
  const auto wanted = meantPaths(paths_);
  MonitorReviewOptions options;
  options.makeCurrent = false;
  options.proposedCopies = wanted;
  auto prepared = prepareMonitorReview(monitorStorePath(), options);
  if (prepared.hasError()) {
    printError(prepared.error().oneLine());
    return 1;
  }
  if (!allFound(wanted, prepared.value().proposedCopiesFound,
                "not among the duplicates the monitor found (zarnik monitor review lists them)"))
    return 1;
  for (const auto& path : prepared.value().proposedWithTheirWholeGroup) {
    printError(fmt::format(
        "{}: every copy of its group is named, so none would be kept; name all but the copy to "
        "keep",
        shortPath(path)));
  }
  if (!prepared.value().proposedWithTheirWholeGroup.empty()) return 1;
  auto session = monitorFindings();
  if (!session) return 1;
  const int status = cleanProposedCopies(*session, cleanOptions_);
  if (status == 0 && !cleanOptions_.dryRun)
    fmt::print("`zarnik monitor put-back PATH` brings a copy back.\n");
  return status;
}

int MonitorCopyCommands::putBack() const {
  const auto lock = lockMonitorFindingsForChanges("zarnik monitor put-back");
  if (!lock) return 1;
  const auto wanted = meantPaths(paths_);
  if (!pathExists(DuplicatesDetectionSpec::monitorReview(nullptr).urlOfStateDB())) {
    allFound(wanted, {}, "no cleaning of the monitor's findings removed it");
    return 1;
  }
  auto session = monitorFindings();
  if (!session) return 1;
  auto results = reviewedResults(*session);
  if (!results) return 1;
  const auto cleaned = cleanedCopies(*results, wanted);
  std::set<std::string> found;
  RevertOptions options;
  for (const auto& [path, identifier] : cleaned) {
    found.insert(path);
    options.identifiers.push_back(identifier);
  }
  if (!allFound(wanted, found, "no cleaning of the monitor's findings removed it")) return 1;
  return revertCleanedCopies(*session, options);
}

}  // namespace zarnik::cli
