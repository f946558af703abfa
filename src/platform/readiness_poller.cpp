#include "platform/readiness_poller.h"

#include <limits>
#include <sys/epoll.h>
#include <sys/eventfd.h>

namespace zarnik {
namespace {

// The wake-up descriptor's key; tokens handed out by callers never reach it.
constexpr ReadinessPoller::Key kWakeUpKey = std::numeric_limits<ReadinessPoller::Key>::max();

Result<void> control(int epoll, int operation, int fd, std::uint32_t events,
                     ReadinessPoller::Key key) {
  epoll_event event{};
  event.events = events;
  event.data.u64 = key;
  if (::epoll_ctl(epoll, operation, fd, &event) != 0) return Error::posix(errno, "epoll");
  return success();
}

}  // namespace

Result<ReadinessPoller> ReadinessPoller::make() {
  UniqueFd epoll(::epoll_create1(EPOLL_CLOEXEC));
  if (!epoll.isValid()) return Error::posix(errno, "epoll");
  UniqueFd wakeUp(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
  if (!wakeUp.isValid()) return Error::posix(errno, "eventfd");
  // Level-triggered: a wake-up stays visible until the waiting thread has drained it.
  ZK_TRY(control(epoll.get(), EPOLL_CTL_ADD, wakeUp.get(), EPOLLIN, kWakeUpKey));
  return ReadinessPoller(std::move(epoll), std::move(wakeUp));
}

Result<void> ReadinessPoller::add(int fd, Key key) {
  return control(epoll_.get(), EPOLL_CTL_ADD, fd, EPOLLIN | EPOLLONESHOT, key);
}

Result<void> ReadinessPoller::rearm(int fd, Key key) {
  return control(epoll_.get(), EPOLL_CTL_MOD, fd, EPOLLIN | EPOLLONESHOT, key);
}

void ReadinessPoller::remove(int fd) { ::epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, fd, nullptr); }

Result<std::vector<ReadinessPoller::Key>> ReadinessPoller::wait() {
  epoll_event events[32];
  const int count = ::epoll_wait(epoll_.get(), events, 32, -1);
  if (count < 0) {
    if (errno == EINTR) return std::vector<Key>{};
    return Error::posix(errno, "epoll");
  }
  std::vector<Key> ready;
  ready.reserve(count);
  for (int i = 0; i < count; ++i) {
    // epoll_event is packed on x86-64: its key is copied out, never bound by reference.
    const std::uint64_t key = events[i].data.u64;
    if (key == kWakeUpKey) {
      drainWakeUps();
    } else {
      ready.push_back(key);
    }
  }
  return ready;
}

void ReadinessPoller::wake() {
  const std::uint64_t one = 1;
  // A full counter already means "wake up"; nothing else can fail on an eventfd we own.
  [[maybe_unused]] const ssize_t written = ::write(wakeUp_.get(), &one, sizeof(one));
}

void ReadinessPoller::drainWakeUps() {
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t got = ::read(wakeUp_.get(), &count, sizeof(count));
}

}  // namespace zarnik
