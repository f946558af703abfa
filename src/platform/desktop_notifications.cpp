#include "platform/desktop_notifications.h"

#include <cctype>
#include <cstring>
#include <string>
#include <systemd/sd-bus.h>

namespace zarnik {
namespace {

constexpr const char* kServerName = "org.freedesktop.Notifications";
constexpr const char* kServerPath = "/org/freedesktop/Notifications";
constexpr const char* kServerInterface = "org.freedesktop.Notifications";
constexpr const char* kDesktopEntry = "com.orvane.zarnik";

Error notificationsError(DesktopNotificationsErrorCode code, std::string description,
                         std::string underlying = {}) {
  Error error;
  error.domain = std::string(kDesktopNotificationsErrorDomain);
  error.code = static_cast<int>(code);
  error.description = std::move(description);
  error.underlying = std::move(underlying);
  return error;
}

Error appendFailure(int result) {
  return notificationsError(DesktopNotificationsErrorCode::refused,
                            "The notification could not be put in a message",
                            std::strerror(-result));
}

// The bus's own answers when nobody owns the name or the owner stays silent.
bool meansNoServer(const sd_bus_error& error, int result) {
  if (result == -ETIMEDOUT || result == -ECONNRESET || result == -ENOTCONN) return true;
  if (error.name == nullptr) return false;
  for (const char* name :
       {"org.freedesktop.DBus.Error.ServiceUnknown", "org.freedesktop.DBus.Error.NameHasNoOwner",
        "org.freedesktop.DBus.Error.NoReply", "org.freedesktop.DBus.Error.Spawn.ServiceNotFound",
        "org.freedesktop.DBus.Error.Spawn.ChildExited"}) {
    if (std::strcmp(error.name, name) == 0) return true;
  }
  return false;
}

Result<void> appendActions(sd_bus_message* message, const DesktopNotification& notification) {
  // The protocol's action list alternates keys and labels.
  std::vector<const char*> flat;
  for (const auto& [key, label] : notification.actions) {
    flat.push_back(key.c_str());
    flat.push_back(label.c_str());
  }
  flat.push_back(nullptr);
  if (int r = sd_bus_message_append_strv(message, const_cast<char**>(flat.data())); r < 0)
    return appendFailure(r);
  return success();
}

Result<void> appendHints(sd_bus_message* message, const DesktopNotification& notification) {
  const auto urgency = static_cast<std::uint8_t>(notification.urgency);
  if (int r = sd_bus_message_append(message, "a{sv}", 2, "urgency", "y", urgency, "desktop-entry",
                                    "s", kDesktopEntry);
      r < 0)
    return appendFailure(r);
  return success();
}

}  // namespace

std::string fileUri(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  for (char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) != 0 || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
      uri += c;
    } else {
      uri += '%';
      uri += kHex[byte >> 4];
      uri += kHex[byte & 0xF];
    }
  }
  return uri;
}

std::string escapeNotificationMarkup(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

Result<std::unique_ptr<DesktopNotifications>> DesktopNotifications::connect() {
  sd_bus* bus = nullptr;
  if (int r = sd_bus_open_user(&bus); r < 0) {
    return notificationsError(DesktopNotificationsErrorCode::noSessionBus,
                              "No session bus to show notifications on", std::strerror(-r));
  }
  std::unique_ptr<DesktopNotifications> client(new DesktopNotifications(bus));
  ZK_TRY(client->subscribe());
  return client;
}

DesktopNotifications::~DesktopNotifications() {
  sd_bus_slot_unref(actionSlot_);
  sd_bus_slot_unref(closedSlot_);
  sd_bus_flush_close_unref(bus_);
}

Result<void> DesktopNotifications::subscribe() {
  // The sender is left open: a well-known name in a match is not resolved by every bus, and the
  // ids we showed tell our notifications from other programs'.
  for (auto [member, slot] :
       {std::pair{"ActionInvoked", &actionSlot_}, std::pair{"NotificationClosed", &closedSlot_}}) {
    auto onSignal = [](sd_bus_message* message, void* self, sd_bus_error*) {
      static_cast<DesktopNotifications*>(self)->receive(message);
      return 0;
    };
    if (int r = sd_bus_match_signal(bus_, slot, nullptr, kServerPath, kServerInterface, member,
                                    onSignal, this);
        r < 0) {
      return notificationsError(DesktopNotificationsErrorCode::noSessionBus,
                                "No session bus to show notifications on", std::strerror(-r));
    }
  }
  return success();
}

Result<std::uint32_t> DesktopNotifications::show(const DesktopNotification& notification) {
  std::lock_guard lock(busMutex_);
  sd_bus_message* message = nullptr;
  if (int r = sd_bus_message_new_method_call(bus_, &message, kServerName, kServerPath,
                                             kServerInterface, "Notify");
      r < 0) {
    return notificationsError(DesktopNotificationsErrorCode::noSessionBus,
                              "The session bus connection is lost", std::strerror(-r));
  }
  struct MessageReleaser {
    sd_bus_message* m;
    ~MessageReleaser() { sd_bus_message_unref(m); }
  } releaseMessage{message};

  if (int r =
          sd_bus_message_append(message, "susss", kApplicationName, notification.replacesId,
                                kIconName, notification.summary.c_str(), notification.body.c_str());
      r < 0)
    return appendFailure(r);
  ZK_TRY(appendActions(message, notification));
  ZK_TRY(appendHints(message, notification));
  if (int r = sd_bus_message_append(message, "i", notification.timeoutMilliseconds); r < 0)
    return appendFailure(r);

  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  const auto timeout = static_cast<std::uint64_t>(kCallTimeoutSeconds * 1'000'000);
  const int called = sd_bus_call(bus_, message, timeout, &error, &reply);
  if (called < 0) {
    readQueued();
    const std::string cause =
        error.message != nullptr ? error.message : std::string(std::strerror(-called));
    const bool noServer = meansNoServer(error, called);
    sd_bus_error_free(&error);
    if (noServer) {
      return notificationsError(DesktopNotificationsErrorCode::noServer,
                                "No notification server answers on the session bus", cause);
    }
    return notificationsError(DesktopNotificationsErrorCode::refused,
                              "The notification server refused the notification", cause);
  }
  std::uint32_t id = 0;
  const int read = sd_bus_message_read(reply, "u", &id);
  sd_bus_message_unref(reply);
  if (read < 0) {
    readQueued();
    return notificationsError(DesktopNotificationsErrorCode::refused,
                              "The notification server gave an unreadable answer",
                              std::strerror(-read));
  }
  shownIds_.insert(id);
  // Signals that arrived while waiting sit in sd-bus's queue, where the descriptor no longer
  // shows them; read now that the id is known (the server may act on it at once), handed over
  // by the next processPending().
  readQueued();
  return id;
}

Result<void> DesktopNotifications::showInFileManager(const std::string& path) {
  std::lock_guard lock(busMutex_);
  sd_bus_message* message = nullptr;
  if (int r = sd_bus_message_new_method_call(bus_, &message, "org.freedesktop.FileManager1",
                                             "/org/freedesktop/FileManager1",
                                             "org.freedesktop.FileManager1", "ShowItems");
      r < 0) {
    return notificationsError(DesktopNotificationsErrorCode::noSessionBus,
                              "The session bus connection is lost", std::strerror(-r));
  }
  const std::string uri = fileUri(path);
  const int appended = sd_bus_message_append(message, "ass", 1, uri.c_str(), "");
  sd_bus_error error = SD_BUS_ERROR_NULL;
  const auto timeout = static_cast<std::uint64_t>(kCallTimeoutSeconds * 1'000'000);
  const int called = appended < 0 ? appended : sd_bus_call(bus_, message, timeout, &error, nullptr);
  sd_bus_message_unref(message);
  readQueued();
  if (called >= 0) return success();
  std::string cause = error.message != nullptr ? error.message : std::strerror(-called);
  sd_bus_error_free(&error);
  return notificationsError(DesktopNotificationsErrorCode::noServer,
                            "No file manager answers on the session bus", std::move(cause))
      .withPath(path);
}

int DesktopNotifications::fileDescriptor() const { return sd_bus_get_fd(bus_); }

void DesktopNotifications::readQueued() {
  while (sd_bus_process(bus_, nullptr) > 0) {
  }
}

void DesktopNotifications::processPending() {
  std::vector<NotificationEvent> events;
  {
    std::lock_guard lock(busMutex_);
    readQueued();
    events = std::exchange(received_, {});
  }
  // Handlers run after sd-bus has finished dispatching, so that they may show notifications.
  for (const auto& event : events) {
    if (handler_) handler_(event);
  }
}

void DesktopNotifications::receive(sd_bus_message* message) {
  NotificationEvent event;
  if (sd_bus_message_is_signal(message, kServerInterface, "ActionInvoked") > 0) {
    const char* key = nullptr;
    if (sd_bus_message_read(message, "us", &event.id, &key) < 0) return;
    event.kind = NotificationEvent::Kind::actionInvoked;
    event.actionKey = key != nullptr ? key : "";
    if (!shownIds_.contains(event.id)) return;
  } else {
    if (sd_bus_message_read(message, "uu", &event.id, &event.closeReason) < 0) return;
    event.kind = NotificationEvent::Kind::closed;
    if (shownIds_.erase(event.id) == 0) return;
  }
  received_.push_back(std::move(event));
}

}  // namespace zarnik
