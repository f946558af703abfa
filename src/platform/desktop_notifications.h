// Desktop notifications over the session bus (org.freedesktop.Notifications, through sd-bus).
//
// DesktopNotificationSender is what the monitor's notification manager talks to; the sd-bus
// client DesktopNotifications is the real one, tests also give their own.
//
// The owner makes its calls on one serial queue and runs processPending() whenever
// fileDescriptor() becomes readable (the owner wires the descriptor to the I/O event loop),
// possibly on another queue: the bus is used under a lock, for a reader that dispatched the answer
// to a call in flight would leave that call waiting until it times out. The owner's event handler
// runs inside processPending(), outside the lock, once per ActionInvoked or NotificationClosed
// signal about a notification this client showed.
#pragma once

#include "base/result.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

struct sd_bus;
struct sd_bus_slot;
struct sd_bus_message;

namespace zarnik {

inline constexpr std::string_view kDesktopNotificationsErrorDomain = "DesktopNotifications";

enum class DesktopNotificationsErrorCode : int {
  noSessionBus = -1,  // no session bus to connect to
  noServer = -2,      // nothing owns org.freedesktop.Notifications, or it did not answer
  refused = -3,       // the server answered with an error
};

enum class NotificationUrgency : std::uint8_t { low = 0, normal = 1, critical = 2 };

struct DesktopNotification {
  std::string summary;
  std::string body;  // servers may read it as markup: escape it (escapeNotificationMarkup)
  std::vector<std::pair<std::string, std::string>> actions;  // key, label; "default" is a click
  std::uint32_t replacesId = 0;                              // 0: a new notification
  std::int32_t timeoutMilliseconds = -1;  // -1: the server decides, 0: until closed
  NotificationUrgency urgency = NotificationUrgency::normal;
};

struct NotificationEvent {
  enum class Kind { actionInvoked, closed };
  Kind kind = Kind::closed;
  std::uint32_t id = 0;
  std::string actionKey;          // for actionInvoked
  std::uint32_t closeReason = 0;  // for closed: 1 expired, 2 dismissed, 3 closed by a call
};

using NotificationEventHandler = std::function<void(const NotificationEvent&)>;

class DesktopNotificationSender {
 public:
  virtual ~DesktopNotificationSender() = default;
  // The id the server gave the notification. Events that came in meanwhile are kept, not handed
  // over: the caller first notes what it showed, then calls processPending().
  [[nodiscard]] virtual Result<std::uint32_t> show(const DesktopNotification& notification) = 0;
  virtual void setEventHandler(NotificationEventHandler handler) = 0;
  // Hands every event received so far to the handler; never blocks.
  virtual void processPending() = 0;
  // Opens the file manager on the item's folder with the item selected.
  [[nodiscard]] virtual Result<void> showInFileManager(const std::string& path) = 0;
};

// "file:///home/ann/My%20Music/a.mp3": every byte but letters, digits, "-._~/" percent-encoded.
[[nodiscard]] std::string fileUri(std::string_view path);

// "&", "<" and ">" as entities, so that a file named "a<b>.txt" is shown as it is named.
[[nodiscard]] std::string escapeNotificationMarkup(std::string_view text);

class DesktopNotifications final : public DesktopNotificationSender {
 public:
  static constexpr const char* kApplicationName = "Zarnik";
  // The installed icon's name; the desktop-entry hint names the same application.
  static constexpr const char* kIconName = "com.orvane.zarnik";

  // Connects to the session bus ($DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus) and
  // subscribes to the server's signals. Does not ask whether a server runs: show() tells.
  [[nodiscard]] static Result<std::unique_ptr<DesktopNotifications>> connect();
  ~DesktopNotifications() override;
  DesktopNotifications(const DesktopNotifications&) = delete;
  DesktopNotifications& operator=(const DesktopNotifications&) = delete;

  // Waits at most `kCallTimeoutSeconds` for the server's answer.
  [[nodiscard]] Result<std::uint32_t> show(const DesktopNotification& notification) override;
  void setEventHandler(NotificationEventHandler handler) override { handler_ = std::move(handler); }
  // Through org.freedesktop.FileManager1 (ShowItems), which file managers offer on the bus.
  [[nodiscard]] Result<void> showInFileManager(const std::string& path) override;

  // Readable when the bus has something for us; stays owned by this object.
  [[nodiscard]] int fileDescriptor() const;
  // Reads what the bus has for us and hands the events to the handler; never blocks.
  void processPending() override;

  static constexpr double kCallTimeoutSeconds = 3.0;

 private:
  explicit DesktopNotifications(sd_bus* bus) : bus_(bus) {}
  [[nodiscard]] Result<void> subscribe();
  void receive(sd_bus_message* message);
  void readQueued();  // into received_, without handing anything over

  std::mutex busMutex_;  // over bus_, shownIds_ and received_
  sd_bus* bus_ = nullptr;
  sd_bus_slot* actionSlot_ = nullptr;
  sd_bus_slot* closedSlot_ = nullptr;
  NotificationEventHandler handler_;
  std::set<std::uint32_t> shownIds_;         // ours and not yet closed: the bus carries others' too
  std::vector<NotificationEvent> received_;  // gathered while sd-bus dispatches
};

}  // namespace zarnik
