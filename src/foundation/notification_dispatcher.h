// NotificationDispatcher: named notifications delivered synchronously to observers, on the
// thread that posts. An observation lasts as long as its token.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "base/json.h"

namespace zarnik {

struct Notification {
  std::string name;
  const void* object = nullptr;  // the sender
  Json userInfo;
};

class NotificationDispatcher;

// Removes its observation when destroyed.
class ObservationToken {
 public:
  ObservationToken() = default;
  ObservationToken(std::weak_ptr<NotificationDispatcher> dispatcher, std::uint64_t id)
      : dispatcher_(std::move(dispatcher)), id_(id) {}
  ObservationToken(ObservationToken&& other) noexcept { *this = std::move(other); }
  ObservationToken& operator=(ObservationToken&& other) noexcept;
  ObservationToken(const ObservationToken&) = delete;
  ObservationToken& operator=(const ObservationToken&) = delete;
  ~ObservationToken() { cancel(); }
  void cancel();

 private:
  std::weak_ptr<NotificationDispatcher> dispatcher_;
  std::uint64_t id_ = 0;
};

class NotificationDispatcher : public std::enable_shared_from_this<NotificationDispatcher> {
 public:
  using Handler = std::function<void(const Notification&)>;

  static std::shared_ptr<NotificationDispatcher> make() {
    return std::shared_ptr<NotificationDispatcher>(new NotificationDispatcher());
  }
  // An empty name observes every notification.
  [[nodiscard]] ObservationToken addObserver(std::string name, Handler handler);
  void post(const Notification& notification);

 private:
  NotificationDispatcher() = default;
  friend class ObservationToken;
  void remove(std::uint64_t id);

  std::mutex mutex_;
  std::uint64_t nextId_ = 1;
  std::map<std::uint64_t, std::pair<std::string, std::shared_ptr<Handler>>> observers_;
};

}  // namespace zarnik
