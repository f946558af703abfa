// PrivateSessionBus: a session bus of the test's own (a dbus-daemon child, as dbus-run-session
// starts), made the process's session bus through DBUS_SESSION_BUS_ADDRESS while it lives. Works
// as root and on machines without any session bus.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>

namespace zarnik::testing {

class PrivateSessionBus {
 public:
  // Nothing when dbus-daemon is not installed or does not start (the reason in `whyNot`).
  static std::unique_ptr<PrivateSessionBus> start(std::string* whyNot = nullptr);
  ~PrivateSessionBus();
  PrivateSessionBus(const PrivateSessionBus&) = delete;
  PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

  [[nodiscard]] const std::string& address() const { return address_; }

 private:
  PrivateSessionBus(pid_t daemon, std::string address, std::optional<std::string> previous);
  pid_t daemon_;
  std::string address_;
  std::optional<std::string> previousAddress_;
};

// Sets an environment variable (or unsets it, with nothing) for as long as the object lives.
class ScopedEnvironment {
 public:
  ScopedEnvironment(std::string name, std::optional<std::string> value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

}  // namespace zarnik::testing
