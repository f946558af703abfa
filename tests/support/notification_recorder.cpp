#include "support/notification_recorder.h"

#include <systemd/sd-bus.h>

namespace zarnik::testing {
namespace {

constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kInterface = "org.freedesktop.Notifications";

int readHintNames(sd_bus_message* message, std::vector<std::string>& names) {
  int r = sd_bus_message_enter_container(message, 'a', "{sv}");
  if (r < 0) return r;
  while ((r = sd_bus_message_enter_container(message, 'e', "sv")) > 0) {
    const char* name = nullptr;
    if ((r = sd_bus_message_read(message, "s", &name)) < 0) return r;
    names.emplace_back(name);
    if ((r = sd_bus_message_skip(message, "v")) < 0) return r;
    if ((r = sd_bus_message_exit_container(message)) < 0) return r;
  }
  if (r < 0) return r;
  return sd_bus_message_exit_container(message);
}

}  // namespace

std::unique_ptr<NotificationRecorder> NotificationRecorder::start() {
  sd_bus* bus = nullptr;
  if (sd_bus_open_user(&bus) < 0) return nullptr;
  std::unique_ptr<NotificationRecorder> recorder(new NotificationRecorder(bus));

  static const sd_bus_vtable kVtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD(
          "Notify", "susssasa{sv}i", "u",
          [](sd_bus_message* message, void* self, sd_bus_error*) -> int {
            RecordedNotification notification;
            const char* strings[4] = {};
            int r = sd_bus_message_read(message, "susss", &strings[0], &notification.replacesId,
                                        &strings[1], &strings[2], &strings[3]);
            if (r < 0) return r;
            notification.appName = strings[0];
            notification.icon = strings[1];
            notification.summary = strings[2];
            notification.body = strings[3];
            char** actions = nullptr;
            if ((r = sd_bus_message_read_strv(message, &actions)) < 0) return r;
            for (char** a = actions; a != nullptr && *a != nullptr; ++a) {
              notification.actions.emplace_back(*a);
              free(*a);
            }
            free(actions);
            if ((r = readHintNames(message, notification.hintNames)) < 0) return r;
            if ((r = sd_bus_message_read(message, "i", &notification.timeout)) < 0) return r;
            auto* recorder = static_cast<NotificationRecorder*>(self);
            {
              std::lock_guard lock(recorder->mutex_);
              notification.id =
                  notification.replacesId != 0 ? notification.replacesId : ++recorder->lastId_;
            }
            const std::uint32_t id = notification.id;
            recorder->record(std::move(notification));
            return sd_bus_reply_method_return(message, "u", id);
          },
          SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_METHOD(
          "GetCapabilities", "", "as",
          [](sd_bus_message* message, void*, sd_bus_error*) -> int {
            return sd_bus_reply_method_return(message, "as", 2, "actions", "body");
          },
          SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_SIGNAL("ActionInvoked", "us", 0),
      SD_BUS_SIGNAL("NotificationClosed", "uu", 0),
      SD_BUS_VTABLE_END};
  if (sd_bus_add_object_vtable(bus, &recorder->object_, kPath, kInterface, kVtable,
                               recorder.get()) < 0)
    return nullptr;
  if (sd_bus_request_name(bus, "org.freedesktop.Notifications", 0) < 0) return nullptr;

  static const sd_bus_vtable kFileManagerVtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD(
          "ShowItems", "ass", "",
          [](sd_bus_message* message, void* self, sd_bus_error*) -> int {
            char** uris = nullptr;
            if (int r = sd_bus_message_read_strv(message, &uris); r < 0) return r;
            auto* recorder = static_cast<NotificationRecorder*>(self);
            {
              std::lock_guard lock(recorder->mutex_);
              for (char** u = uris; u != nullptr && *u != nullptr; ++u) {
                recorder->shownItems_.emplace_back(*u);
                free(*u);
              }
            }
            free(uris);
            return sd_bus_reply_method_return(message, "");
          },
          SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_VTABLE_END};
  if (sd_bus_add_object_vtable(bus, &recorder->fileManager_, "/org/freedesktop/FileManager1",
                               "org.freedesktop.FileManager1", kFileManagerVtable,
                               recorder.get()) < 0)
    return nullptr;
  if (sd_bus_request_name(bus, "org.freedesktop.FileManager1", 0) < 0) return nullptr;
  recorder->server_ = std::thread([raw = recorder.get()] { raw->serve(); });
  return recorder;
}

NotificationRecorder::~NotificationRecorder() {
  stopping_ = true;
  if (server_.joinable()) server_.join();
  sd_bus_slot_unref(object_);
  sd_bus_slot_unref(fileManager_);
  sd_bus_flush_close_unref(bus_);
}

void NotificationRecorder::serve() {
  while (!stopping_) {
    std::vector<std::function<void(sd_bus*)>> emissions;
    {
      std::lock_guard lock(mutex_);
      emissions.swap(emissions_);
    }
    for (auto& emit : emissions) emit(bus_);
    if (!emissions.empty()) sd_bus_flush(bus_);
    if (sd_bus_process(bus_, nullptr) > 0) continue;
    sd_bus_wait(bus_, 20'000);  // short, so that stopping and emissions are seen soon
  }
}

void NotificationRecorder::record(RecordedNotification notification) {
  {
    std::lock_guard lock(mutex_);
    received_.push_back(std::move(notification));
  }
  changed_.notify_all();
}

std::vector<RecordedNotification> NotificationRecorder::received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

bool NotificationRecorder::waitForCount(size_t count, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return received_.size() >= count; });
}

std::vector<std::string> NotificationRecorder::shownItems() const {
  std::lock_guard lock(mutex_);
  return shownItems_;
}

void NotificationRecorder::post(std::function<void(sd_bus*)> emission) {
  std::lock_guard lock(mutex_);
  emissions_.push_back(std::move(emission));
}

void NotificationRecorder::invokeAction(std::uint32_t id, const std::string& key) {
  post([id, key](sd_bus* bus) {
    sd_bus_emit_signal(bus, kPath, kInterface, "ActionInvoked", "us", id, key.c_str());
  });
}

void NotificationRecorder::close(std::uint32_t id, std::uint32_t reason) {
  post([id, reason](sd_bus* bus) {
    sd_bus_emit_signal(bus, kPath, kInterface, "NotificationClosed", "uu", id, reason);
  });
}

}  // namespace zarnik::testing
