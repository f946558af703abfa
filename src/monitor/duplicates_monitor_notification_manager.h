// DuplicatesMonitorNotificationManager: decides, after each save of the monitor's store, whether
// the person is told of the new duplicates, and tells them with a desktop notification.
//
// Decision: nothing when there is no new duplicate or notifications are off; without a threshold
// every such batch is told; with one, only when the last notification is older than its time
// interval and the batch exceeds both its count and its size. One new duplicate gets its own
// notification (name, folder, "Review" and "Show in folder"); more get one that counts them.
//
// A notification that cannot be shown (no server answers) is kept and tried again
// `kDeferredNotificationInterval` seconds later, a new attempt replacing a pending one; a newer
// batch replaces an older one waiting, since each batch counts every duplicate not yet told.
// The failure is logged once until a notification gets through again. Without a session bus at
// all (no sender) the failure is logged once and nothing is kept.
//
// Actions: "Review" runs the review command, "Show in folder" asks the file manager to select
// the duplicate; either marks the notification's duplicates as viewed.
//
// Threading: every member posts to the manager's serial queue, which also owns the sender: the
// sender's descriptor is watched by the I/O event loop with that queue as executor, calling the
// sender's processPending(). The callbacks run on that queue.
#pragma once

#include "base/date.h"
#include "foundation/delayed_work_item.h"
#include "foundation/serial_queue.h"
#include "monitor/recent_duplicates_info.h"
#include "platform/desktop_notifications.h"
#include "platform/xdg_directories.h"
#include "preferences/preferences_controller.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zarnik {

// The two settings the decision reads, from memory: no file is read for a decision.
class DuplicatesNotificationSettings {
 public:
  virtual ~DuplicatesNotificationSettings() = default;
  [[nodiscard]] virtual bool isDuplicatesNotificationEnabled() const = 0;
  [[nodiscard]] virtual Date lastDuplicatesNotificationDate() const = 0;
  virtual void setLastDuplicatesNotificationDate(Date date) = 0;
};

// Over the preferences: reads the controller's storage, writes through the controller (used on
// the notification manager's queue only).
class PreferencesNotificationSettings final : public DuplicatesNotificationSettings {
 public:
  explicit PreferencesNotificationSettings(PreferencesController& controller)
      : controller_(controller) {}
  [[nodiscard]] bool isDuplicatesNotificationEnabled() const override;
  [[nodiscard]] Date lastDuplicatesNotificationDate() const override;
  void setLastDuplicatesNotificationDate(Date date) override;

 private:
  PreferencesController& controller_;
};

class DuplicatesMonitorNotificationManager
    : public std::enable_shared_from_this<DuplicatesMonitorNotificationManager> {
 public:
  struct Threshold {
    std::int64_t duplicatesSize = 0;  // bytes
    std::int64_t duplicatesCount = 0;
    double timeInterval = 0;  // seconds
  };
  enum class Kind { singleDuplicate, multipleDuplicates, newLocations };

  static constexpr double kDeferredNotificationInterval = 5.0;
  static constexpr const char* kReviewAction = "review";
  static constexpr const char* kRevealAction = "reveal";

  struct Setup {
    std::shared_ptr<DesktopNotificationSender> sender;  // nothing: no session bus
    std::shared_ptr<DuplicatesNotificationSettings> settings;
    std::optional<Threshold> threshold;
    Clock* clock = &Clock::system();
    std::function<Date()> currentDate = dateNow;
    // Marks the duplicates of a shown notification as notified, and those of one acted on as
    // viewed (the store's status changes).
    std::function<void(const std::vector<std::int64_t>&)> markNotified;
    std::function<void(const std::vector<std::int64_t>&)> markViewed;
    // Runs for the review action; empty: only logged (see defaultReviewCommand).
    std::vector<std::string> reviewCommand;
    std::string homeFolder = xdg::homeDirectory();  // shown as "~"
    std::shared_ptr<SerialQueue> queue = SerialQueue::make("DuplicatesMonitorNotificationManager");
  };

  static std::shared_ptr<DuplicatesMonitorNotificationManager> make(Setup setup);

  // After each save of the store, with its new summary.
  void recentDuplicatesChanged(const RecentDuplicatesInfo& info);
  // Locations the person asked the monitor to watch (shouldNotifyUser).
  void locationsAdded(std::vector<std::string> paths);
  [[nodiscard]] const std::shared_ptr<SerialQueue>& queue() const { return setup_.queue; }

  // The decision, on its own.
  [[nodiscard]] static bool shouldNotify(const RecentDuplicatesInfo& info, bool enabled,
                                         const std::optional<Threshold>& threshold,
                                         Date lastNotification, Date now);
  // What is shown for a batch of duplicates and for new locations.
  [[nodiscard]] static DesktopNotification duplicatesNotification(const RecentDuplicatesInfo& info,
                                                                  const std::string& homeFolder);
  [[nodiscard]] static DesktopNotification locationsNotification(
      const std::vector<std::string>& paths, const std::string& homeFolder);

 private:
  // A notification waiting to be shown.
  struct Pending {
    Kind kind = Kind::multipleDuplicates;
    RecentDuplicatesInfo duplicates;
    std::vector<std::string> locations;
  };
  // A notification on screen, for its actions.
  struct Shown {
    Kind kind = Kind::multipleDuplicates;
    std::vector<std::int64_t> ids;
    std::string path;  // a single duplicate's
  };

  explicit DuplicatesMonitorNotificationManager(Setup setup) : setup_(std::move(setup)) {}
  // On the queue.
  void present(Pending pending);
  bool tryToShow(const Pending& pending);
  void defer(Pending pending);
  void retryDeferred();
  void logFailureOnce(const Error& error);
  void handle(const NotificationEvent& event);
  void review(const Shown& shown);
  void reveal(const Shown& shown);

  Setup setup_;
  std::vector<Pending> deferred_;
  std::shared_ptr<DelayedWorkItem> retry_;
  std::map<std::uint32_t, Shown> shown_;
  std::optional<std::uint32_t> duplicatesOnScreen_;  // replaced by the next batch
  bool failureLogged_ = false;
};

// The command that opens the review: the window on the monitor's groups (zarnik-gui
// --monitor-review) when it is installed beside this program or found in $PATH; otherwise a
// terminal running `zarnik monitor review` through the installed scan-in-terminal helper, with
// xdg-terminal-exec or x-terminal-emulator; empty when none of them is there.
[[nodiscard]] std::vector<std::string> defaultReviewCommand();

// "~/Music" for a path inside the home folder, the path itself otherwise.
[[nodiscard]] std::string abbreviatedHomePath(const std::string& path,
                                              const std::string& homeFolder);

}  // namespace zarnik
