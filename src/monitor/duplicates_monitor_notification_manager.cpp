#include "monitor/duplicates_monitor_notification_manager.h"

#include "base/byte_path.h"
#include "foundation/byte_count_formatter.h"
#include "foundation/logger.h"
#include "platform/install_layout.h"
#include "platform/process_launcher.h"

#include <fmt/format.h>

#include <algorithm>

namespace zarnik {
namespace {

constexpr const char* kAuthor = "DuplicatesMonitorNotificationManager";

void log(std::string_view function, const std::string& message) {
  Logger::shared().log(kAuthor, function, message);
}

std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The notification's text is UTF-8 on the bus: undecodable bytes are shown escaped.
std::string shown(const std::string& bytes) { return escapeNotificationMarkup(displayPath(bytes)); }

}  // namespace

bool PreferencesNotificationSettings::isDuplicatesNotificationEnabled() const {
  const Json value =
      controller_.storage().mixedPreferences()->valueForKey("isDuplicatesNotificationEnabled");
  return !value.is_boolean() || value.get<bool>();
}

Date PreferencesNotificationSettings::lastDuplicatesNotificationDate() const {
  const Json value =
      controller_.storage().mixedPreferences()->valueForKey("lastDuplicatesNotificationDate");
  if (!value.is_number()) return Date::min();
  return dateFromSecondsSince1970(value.get<double>());
}

void PreferencesNotificationSettings::setLastDuplicatesNotificationDate(Date date) {
  auto changed = controller_.change([date](PreferencesStorage& storage) -> Result<void> {
    storage.mixedPreferences()->setValueForKey("lastDuplicatesNotificationDate",
                                               Json(secondsSince1970(date)));
    return success();
  });
  if (changed.hasError()) log("setLastDuplicatesNotificationDate", changed.error().oneLine());
}

std::string abbreviatedHomePath(const std::string& path, const std::string& homeFolder) {
  if (homeFolder.empty() || homeFolder == "/") return path;
  if (path == homeFolder) return "~";
  if (path.size() > homeFolder.size() && path.compare(0, homeFolder.size(), homeFolder) == 0 &&
      path[homeFolder.size()] == '/')
    return "~" + path.substr(homeFolder.size());
  return path;
}

std::vector<std::string> defaultReviewCommand() {
  const auto& layout = installLayout();
  if (layout.hasError()) return {};
  auto window = findProgram(layout.value().programFolder + "/zarnik-gui");
  if (!window) window = findProgram("zarnik-gui");
  if (window) return {*window, "--monitor-review"};
  const auto helper = findProgram(layout.value().modulePath("scan-in-terminal"));
  if (!helper) return {};
  if (auto terminal = findProgram("xdg-terminal-exec"))
    return {*terminal, *helper, "--monitor-review"};
  if (auto terminal = findProgram("x-terminal-emulator"))
    return {*terminal, "-e", *helper, "--monitor-review"};
  return {};
}

std::shared_ptr<DuplicatesMonitorNotificationManager> DuplicatesMonitorNotificationManager::make(
    Setup setup) {
  std::shared_ptr<DuplicatesMonitorNotificationManager> manager(
      new DuplicatesMonitorNotificationManager(std::move(setup)));
  if (manager->setup_.sender) {
    std::weak_ptr<DuplicatesMonitorNotificationManager> weak = manager;
    // The sender calls from inside processPending, which runs on the manager's queue.
    manager->setup_.sender->setEventHandler([weak](const NotificationEvent& event) {
      if (auto self = weak.lock()) self->handle(event);
    });
  }
  return manager;
}

bool DuplicatesMonitorNotificationManager::shouldNotify(const RecentDuplicatesInfo& info,
                                                        bool enabled,
                                                        const std::optional<Threshold>& threshold,
                                                        Date lastNotification, Date now) {
  if (info.newCount < 1 || !enabled) return false;
  if (!threshold) return true;
  // Compared as dates: the time since "the distant past" does not fit in nanoseconds.
  const auto interval = std::chrono::duration_cast<Date::duration>(
      std::chrono::duration<double>(threshold->timeInterval));
  return lastNotification < now - interval && info.newCount > threshold->duplicatesCount &&
         info.newSize > threshold->duplicatesSize;
}

DesktopNotification DuplicatesMonitorNotificationManager::duplicatesNotification(
    const RecentDuplicatesInfo& info, const std::string& homeFolder) {
  DesktopNotification notification;
  if (info.newCount == 1 && !info.newDuplicates.empty()) {
    const RecentDuplicate& duplicate = info.newDuplicates.front();
    const std::string name = duplicate.name.empty() ? nameOf(duplicate.path) : duplicate.name;
    notification.summary = "New duplicate: " + displayPath(name);
    notification.body =
        fmt::format("{}, in {}", formatByteCount(duplicate.size),
                    shown(abbreviatedHomePath(folderOf(duplicate.path), homeFolder)));
    notification.actions = {
        {"default", "Review"}, {kReviewAction, "Review"}, {kRevealAction, "Show in folder"}};
    return notification;
  }
  notification.summary = fmt::format("{} new duplicate{}, {}", info.newCount,
                                     info.newCount == 1 ? "" : "s", formatByteCount(info.newSize));
  std::vector<std::string> names;
  for (const auto& duplicate : info.newDuplicates) {
    if (names.size() == 3) break;
    names.push_back(shown(duplicate.name.empty() ? nameOf(duplicate.path) : duplicate.name));
  }
  std::string list = fmt::format("{}", fmt::join(names, ", "));
  if (info.newCount > static_cast<std::int64_t>(names.size())) list += ", …";
  notification.body = list.empty() ? "Review them to choose the copies to keep."
                                   : list + "\nReview them to choose the copies to keep.";
  notification.actions = {{"default", "Review"}, {kReviewAction, "Review"}};
  return notification;
}

DesktopNotification DuplicatesMonitorNotificationManager::locationsNotification(
    const std::vector<std::string>& paths, const std::string& homeFolder) {
  DesktopNotification notification;
  notification.summary =
      paths.size() == 1
          ? std::string("The duplicates monitor watches a new folder")
          : fmt::format("The duplicates monitor watches {} new folders", paths.size());
  std::vector<std::string> shownPaths;
  shownPaths.reserve(paths.size());
  for (const auto& path : paths) shownPaths.push_back(shown(abbreviatedHomePath(path, homeFolder)));
  notification.body = fmt::format("{}\nNew copies made there are reported as they appear.",
                                  fmt::join(shownPaths, "\n"));
  notification.urgency = NotificationUrgency::low;
  return notification;
}

void DuplicatesMonitorNotificationManager::recentDuplicatesChanged(
    const RecentDuplicatesInfo& info) {
  setup_.queue->async([self = shared_from_this(), info] {
    const auto& settings = *self->setup_.settings;
    if (!shouldNotify(info, settings.isDuplicatesNotificationEnabled(), self->setup_.threshold,
                      settings.lastDuplicatesNotificationDate(), self->setup_.currentDate()))
      return;
    Pending pending;
    pending.kind = info.newCount == 1 ? Kind::singleDuplicate : Kind::multipleDuplicates;
    pending.duplicates = info;
    self->present(std::move(pending));
  });
}

void DuplicatesMonitorNotificationManager::locationsAdded(std::vector<std::string> paths) {
  if (paths.empty()) return;
  setup_.queue->async([self = shared_from_this(), paths = std::move(paths)] {
    Pending pending;
    pending.kind = Kind::newLocations;
    pending.locations = paths;
    self->present(std::move(pending));
  });
}

void DuplicatesMonitorNotificationManager::present(Pending pending) {
  // While others wait, this one waits behind them, so that they are shown in order.
  if (!deferred_.empty() || !tryToShow(pending)) defer(std::move(pending));
}

bool DuplicatesMonitorNotificationManager::tryToShow(const Pending& pending) {
  if (!setup_.sender) {
    if (!failureLogged_)
      log("present", "No session bus: the duplicates monitor shows no notifications");
    failureLogged_ = true;
    return true;  // nothing to wait for: there is no bus to come back
  }
  const bool isDuplicates = pending.kind != Kind::newLocations;
  DesktopNotification notification =
      isDuplicates ? duplicatesNotification(pending.duplicates, setup_.homeFolder)
                   : locationsNotification(pending.locations, setup_.homeFolder);
  if (isDuplicates && duplicatesOnScreen_) notification.replacesId = *duplicatesOnScreen_;
  auto id = setup_.sender->show(notification);
  // Actions taken on it while the server answered are handed over after it is noted below.
  setup_.queue->async([sender = setup_.sender] { sender->processPending(); });
  if (id.hasError()) {
    logFailureOnce(id.error());
    return false;
  }
  if (failureLogged_) log("present", "Notifications are shown again");
  failureLogged_ = false;
  if (!isDuplicates) return true;

  Shown shown;
  shown.kind = pending.kind;
  shown.ids = pending.duplicates.newIDs;
  if (!pending.duplicates.newDuplicates.empty())
    shown.path = pending.duplicates.newDuplicates.front().path;
  shown_[id.value()] = std::move(shown);
  duplicatesOnScreen_ = id.value();
  setup_.settings->setLastDuplicatesNotificationDate(setup_.currentDate());
  if (setup_.markNotified) setup_.markNotified(pending.duplicates.newIDs);
  return true;
}

void DuplicatesMonitorNotificationManager::defer(Pending pending) {
  // Each batch counts every duplicate not told yet: the newest makes older ones needless.
  if (pending.kind != Kind::newLocations) {
    std::erase_if(deferred_, [](const Pending& p) { return p.kind != Kind::newLocations; });
  }
  deferred_.push_back(std::move(pending));
  if (retry_) retry_->cancel();
  std::weak_ptr<DuplicatesMonitorNotificationManager> weak = shared_from_this();
  retry_ =
      DelayedWorkItem::schedule(*setup_.clock, kDeferredNotificationInterval, setup_.queue, [weak] {
        if (auto self = weak.lock()) self->retryDeferred();
      });
}

void DuplicatesMonitorNotificationManager::retryDeferred() {
  retry_.reset();
  auto waiting = std::exchange(deferred_, {});
  for (size_t i = 0; i < waiting.size(); ++i) {
    if (tryToShow(waiting[i])) continue;
    // The server is still away: keep this one and the rest, in order, for the next attempt.
    for (size_t j = i; j < waiting.size(); ++j) defer(std::move(waiting[j]));
    return;
  }
}

void DuplicatesMonitorNotificationManager::logFailureOnce(const Error& error) {
  if (failureLogged_) return;
  failureLogged_ = true;
  log("present", error.oneLine() + "; notifications wait until a notification server answers");
}

void DuplicatesMonitorNotificationManager::handle(const NotificationEvent& event) {
  setup_.queue->assertOnQueue();
  auto it = shown_.find(event.id);
  if (it == shown_.end()) return;
  if (event.kind == NotificationEvent::Kind::closed) {
    if (duplicatesOnScreen_ == event.id) duplicatesOnScreen_.reset();
    shown_.erase(it);
    return;
  }
  const Shown shown = it->second;
  if (event.actionKey == kRevealAction) {
    reveal(shown);
  } else if (event.actionKey == kReviewAction || event.actionKey == "default") {
    review(shown);
  } else {
    return;
  }
  if (setup_.markViewed) setup_.markViewed(shown.ids);
}

void DuplicatesMonitorNotificationManager::review(const Shown&) {
  if (setup_.reviewCommand.empty()) {
    log("review", "No terminal to open the review in; 'zarnik monitor review' shows the groups");
    return;
  }
  if (auto launched = launchDetached(setup_.reviewCommand); launched.hasError())
    log("review", "The review could not be opened: " + launched.error().oneLine());
}

void DuplicatesMonitorNotificationManager::reveal(const Shown& shown) {
  if (shown.path.empty()) return;
  auto selected = setup_.sender->showInFileManager(shown.path);
  if (selected.hasValue()) return;
  // Without a file manager on the bus, the folder opens in whatever program opens folders.
  if (auto launched = launchDetached({"xdg-open", folderOf(shown.path)}); launched.hasError())
    log("reveal", "The folder could not be shown: " + selected.error().oneLine() + "; " +
                      launched.error().oneLine());
}

}  // namespace zarnik
