// NotificationRecorder: a notification server of the tests' own. It owns
// org.freedesktop.Notifications on the session bus (a PrivateSessionBus), records every Notify
// call, answers with increasing ids, and emits ActionInvoked and NotificationClosed on request.
// It is the file manager too (org.freedesktop.FileManager1), recording the items it is asked to
// show.
// It serves the bus on a thread of its own, so that a client in the test's thread can wait for
// its answers.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct sd_bus;
struct sd_bus_slot;

namespace zarnik::testing {

struct RecordedNotification {
  std::uint32_t id = 0;
  std::string appName;
  std::uint32_t replacesId = 0;
  std::string icon;
  std::string summary;
  std::string body;
  std::vector<std::string> actions;  // keys and labels, alternating, as sent
  std::vector<std::string> hintNames;
  std::int32_t timeout = 0;
};

class NotificationRecorder {
 public:
  // Nothing when the name cannot be taken or there is no session bus.
  static std::unique_ptr<NotificationRecorder> start();
  ~NotificationRecorder();
  NotificationRecorder(const NotificationRecorder&) = delete;
  NotificationRecorder& operator=(const NotificationRecorder&) = delete;

  [[nodiscard]] std::vector<RecordedNotification> received() const;
  [[nodiscard]] std::vector<std::string> shownItems() const;
  // True once `count` notifications were received, false after `timeout`.
  bool waitForCount(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5));

  void invokeAction(std::uint32_t id, const std::string& key);
  void close(std::uint32_t id, std::uint32_t reason = 2);

 private:
  explicit NotificationRecorder(sd_bus* bus) : bus_(bus) {}
  void serve();
  void record(RecordedNotification notification);
  void post(std::function<void(sd_bus*)> emission);

  sd_bus* bus_;
  sd_bus_slot* object_ = nullptr;
  sd_bus_slot* fileManager_ = nullptr;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<RecordedNotification> received_;
  std::vector<std::string> shownItems_;
  std::vector<std::function<void(sd_bus*)>> emissions_;  // run on the serving thread
  std::uint32_t lastId_ = 0;
  std::thread server_;
};

}  // namespace zarnik::testing
