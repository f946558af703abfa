// The duplicates monitor as a systemd user service: the unit file written into the user's unit
// folder ($XDG_CONFIG_HOME/systemd/user), and the user's service manager asked over the user bus
// (org.freedesktop.systemd1.Manager: Reload, EnableUnitFiles, StartUnit and their opposites)
// to take it up or let it go. No systemctl is run.
//
// Every call blocks until systemd answers; they are made by a command, not by a service.
#pragma once

#include "base/result.h"

#include <memory>
#include <string>

struct sd_bus;

namespace zarnik {

inline constexpr std::string_view kUserServiceErrorDomain = "UserService";

enum class UserServiceErrorCode : int {
  noServiceManager = -1,  // no user bus, or no systemd on it
  managerRefused = -2,    // systemd answered a request with an error
};

struct UserUnitFile {
  std::string name;    // "zarnik-monitor.service"
  std::string folder;  // the user's unit folder
  std::string text;

  [[nodiscard]] std::string path() const { return folder + "/" + name; }
};

// The monitor's unit, running `programPath monitor run`, in $XDG_CONFIG_HOME/systemd/user.
[[nodiscard]] UserUnitFile monitorServiceUnitFile(const std::string& programPath);

// A program path as the first word of ExecStart: quoted when it holds spaces, quotes or
// backslashes, with "%" doubled (systemd reads it as a specifier).
[[nodiscard]] std::string unitCommandWord(const std::string& path);

class UserServiceManager {
 public:
  // An error with code noServiceManager when there is no user bus or systemd is not on it.
  [[nodiscard]] static Result<std::unique_ptr<UserServiceManager>> connect();
  ~UserServiceManager();
  UserServiceManager(const UserServiceManager&) = delete;
  UserServiceManager& operator=(const UserServiceManager&) = delete;

  // Writes the file, then reloads, enables and starts the unit; on a failure the file is removed
  // again and the unit disabled, so that nothing half-made stays.
  [[nodiscard]] Result<void> install(const UserUnitFile& unit);
  // Stops and disables the unit and removes the file (a unit already stopped or missing is no
  // failure).
  [[nodiscard]] Result<void> uninstall(const UserUnitFile& unit);

 private:
  explicit UserServiceManager(sd_bus* bus) : bus_(bus) {}
  [[nodiscard]] Result<void> reload();
  [[nodiscard]] Result<void> enable(const std::string& name);
  [[nodiscard]] Result<void> disable(const std::string& name);
  [[nodiscard]] Result<void> start(const std::string& name);
  [[nodiscard]] Result<void> stop(const std::string& name);

  sd_bus* bus_ = nullptr;
};

}  // namespace zarnik
