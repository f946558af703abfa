#include "foundation/notification_dispatcher.h"

#include <vector>

namespace zarnik {

ObservationToken& ObservationToken::operator=(ObservationToken&& other) noexcept {
  if (this != &other) {
    cancel();
    dispatcher_ = std::move(other.dispatcher_);
    id_ = other.id_;
    other.id_ = 0;
  }
  return *this;
}

void ObservationToken::cancel() {
  if (id_ == 0) return;
  if (auto dispatcher = dispatcher_.lock()) dispatcher->remove(id_);
  id_ = 0;
}

ObservationToken NotificationDispatcher::addObserver(std::string name, Handler handler) {
  std::lock_guard lock(mutex_);
  const std::uint64_t id = nextId_++;
  observers_.emplace(id, std::make_pair(std::move(name), std::make_shared<Handler>(std::move(handler))));
  return ObservationToken(weak_from_this(), id);
}

void NotificationDispatcher::post(const Notification& notification) {
  // Handlers run outside the lock so that they may observe or post again.
  std::vector<std::shared_ptr<Handler>> handlers;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [id, entry] : observers_) {
      if (entry.first.empty() || entry.first == notification.name) handlers.push_back(entry.second);
    }
  }
  for (const auto& handler : handlers) (*handler)(notification);
}

void NotificationDispatcher::remove(std::uint64_t id) {
  std::lock_guard lock(mutex_);
  observers_.erase(id);
}

}  // namespace zarnik
