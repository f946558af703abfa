#include "support/private_session_bus.h"

#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zarnik::testing {
namespace {

std::optional<std::string> environmentValue(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

void setEnvironment(const std::string& name, const std::optional<std::string>& value) {
  if (value) {
    ::setenv(name.c_str(), value->c_str(), 1);
  } else {
    ::unsetenv(name.c_str());
  }
}

// The daemon prints its address and a line feed once it listens.
std::string readAddressLine(int fd) {
  std::string line;
  char c = 0;
  pollfd waiting{fd, POLLIN, 0};
  while (::poll(&waiting, 1, 5000) > 0 && ::read(fd, &c, 1) == 1 && c != '\n') line += c;
  return line;
}

}  // namespace

ScopedEnvironment::ScopedEnvironment(std::string name, std::optional<std::string> value)
    : name_(std::move(name)), previous_(environmentValue(name_)) {
  setEnvironment(name_, value);
}

ScopedEnvironment::~ScopedEnvironment() { setEnvironment(name_, previous_); }

std::unique_ptr<PrivateSessionBus> PrivateSessionBus::start(std::string* whyNot) {
  const char* daemonPath = "/usr/bin/dbus-daemon";
  if (::access(daemonPath, X_OK) != 0) {
    if (whyNot) *whyNot = "dbus-daemon is not installed (package dbus-daemon)";
    return nullptr;
  }
  int output[2];
  if (::pipe(output) != 0) return nullptr;
  const pid_t daemon = ::fork();
  if (daemon == 0) {
    ::dup2(output[1], STDOUT_FILENO);
    // Its complaints as a non-system daemon (the file limit it may not raise) are no test's.
    const int quiet = ::open("/dev/null", O_WRONLY);
    if (quiet >= 0) ::dup2(quiet, STDERR_FILENO);
    ::close(output[0]);
    ::close(output[1]);
    ::execl(daemonPath, daemonPath, "--session", "--nofork", "--nopidfile", "--print-address",
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(output[1]);
  const std::string address = daemon > 0 ? readAddressLine(output[0]) : std::string();
  ::close(output[0]);
  if (address.empty()) {
    if (daemon > 0) {
      ::kill(daemon, SIGTERM);
      ::waitpid(daemon, nullptr, 0);
    }
    if (whyNot) *whyNot = "dbus-daemon --session did not start";
    return nullptr;
  }
  auto previous = environmentValue("DBUS_SESSION_BUS_ADDRESS");
  ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
  return std::unique_ptr<PrivateSessionBus>(
      new PrivateSessionBus(daemon, address, std::move(previous)));
}

PrivateSessionBus::PrivateSessionBus(pid_t daemon, std::string address,
                                     std::optional<std::string> previous)
    : daemon_(daemon), address_(std::move(address)), previousAddress_(std::move(previous)) {}

PrivateSessionBus::~PrivateSessionBus() {
  setEnvironment("DBUS_SESSION_BUS_ADDRESS", previousAddress_);
  ::kill(daemon_, SIGTERM);
  ::waitpid(daemon_, nullptr, 0);
}

}  // namespace zarnik::testing
