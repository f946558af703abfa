#include "platform/user_service.h"

#include "platform/file_reading.h"
#include "platform/xdg_directories.h"

#include <cerrno>
#include <cstring>
#include <systemd/sd-bus.h>
#include <unistd.h>

namespace zarnik {
namespace {

constexpr const char* kManagerName = "org.freedesktop.systemd1";
constexpr const char* kManagerPath = "/org/freedesktop/systemd1";
constexpr const char* kManagerInterface = "org.freedesktop.systemd1.Manager";

Error serviceError(UserServiceErrorCode code, std::string description, std::string underlying) {
  Error error;
  error.domain = std::string(kUserServiceErrorDomain);
  error.code = static_cast<int>(code);
  error.description = std::move(description);
  error.underlying = std::move(underlying);
  return error;
}

Error noServiceManager(std::string underlying) {
  return serviceError(UserServiceErrorCode::noServiceManager, "No user service manager is running",
                      std::move(underlying));
}

// Frees the bus error whatever the outcome; a failure becomes an Error naming the request.
Result<void> answer(const char* request, int result, sd_bus_error& error) {
  if (result >= 0) {
    sd_bus_error_free(&error);
    return success();
  }
  std::string cause = error.message != nullptr ? error.message : std::strerror(-result);
  sd_bus_error_free(&error);
  return serviceError(UserServiceErrorCode::managerRefused,
                      std::string("The user service manager refused to ") + request,
                      std::move(cause));
}

Result<bool> managerIsOnBus(sd_bus* bus) {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  const int r =
      sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                         "org.freedesktop.DBus", "NameHasOwner", &error, &reply, "s", kManagerName);
  if (r < 0) {
    std::string cause = error.message != nullptr ? error.message : std::strerror(-r);
    sd_bus_error_free(&error);
    return noServiceManager(std::move(cause));
  }
  int hasOwner = 0;
  const int read = sd_bus_message_read(reply, "b", &hasOwner);
  sd_bus_message_unref(reply);
  if (read < 0) return noServiceManager(std::strerror(-read));
  return hasOwner != 0;
}

Result<void> removeUnitFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return Error::posix(errno, path);
  return success();
}

}  // namespace

std::string unitCommandWord(const std::string& path) {
  std::string word;
  bool needsQuotes = false;
  for (char c : path) {
    if (c == '%') {
      word += "%%";
      continue;
    }
    if (c == '"' || c == '\\') {
      word += '\\';
      needsQuotes = true;
    }
    if (c == ' ' || c == '\t' || c == '\'') needsQuotes = true;
    word += c;
  }
  return needsQuotes ? "\"" + word + "\"" : word;
}

UserUnitFile monitorServiceUnitFile(const std::string& programPath) {
  UserUnitFile unit;
  unit.name = "zarnik-monitor.service";
  unit.folder = xdg::configHome() + "/systemd/user";
  unit.text =
      "# The duplicates monitor: watches the monitored folders and reports new duplicates while "
      "the\n"
      "# user is logged in. Written by `zarnik monitor enable`; `zarnik monitor disable` removes "
      "it.\n"
      "[Unit]\n"
      "Description=Zarnik duplicates monitor\n"
      "Documentation=man:zarnik(1)\n"
      "\n"
      "[Service]\n"
      "Type=simple\n"
      "ExecStart=" +
      unitCommandWord(programPath) +
      " monitor run\n"
      "Restart=on-failure\n"
      "RestartSec=30\n"
      "Nice=10\n"
      "IOSchedulingClass=idle\n"
      "\n"
      "[Install]\n"
      "WantedBy=default.target\n";
  return unit;
}

Result<std::unique_ptr<UserServiceManager>> UserServiceManager::connect() {
  sd_bus* bus = nullptr;
  if (int r = sd_bus_open_user(&bus); r < 0) return noServiceManager(std::strerror(-r));
  std::unique_ptr<UserServiceManager> manager(new UserServiceManager(bus));
  ZK_ASSIGN_OR_RETURN(const bool present, managerIsOnBus(bus));
  if (!present) return noServiceManager("org.freedesktop.systemd1 is not on the user bus");
  return manager;
}

UserServiceManager::~UserServiceManager() { sd_bus_flush_close_unref(bus_); }

Result<void> UserServiceManager::install(const UserUnitFile& unit) {
  ZK_TRY(xdg::makeDirectories(unit.folder));
  ZK_TRY(writeFileAtomically(unit.path(), unit.text));
  auto started = [&]() -> Result<void> {
    ZK_TRY(reload());
    ZK_TRY(enable(unit.name));
    return start(unit.name);
  }();
  if (started.hasError()) {
    (void)disable(unit.name);
    (void)removeUnitFile(unit.path());
    (void)reload();
  }
  return started;
}

Result<void> UserServiceManager::uninstall(const UserUnitFile& unit) {
  ZK_TRY(stop(unit.name));
  ZK_TRY(disable(unit.name));
  ZK_TRY(removeUnitFile(unit.path()));
  return reload();
}

Result<void> UserServiceManager::reload() {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  const int r = sd_bus_call_method(bus_, kManagerName, kManagerPath, kManagerInterface, "Reload",
                                   &error, nullptr, "");
  return answer("reload its units", r, error);
}

Result<void> UserServiceManager::enable(const std::string& name) {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  // Not for this boot only (runtime false), replacing links another unit left (force true).
  const int r =
      sd_bus_call_method(bus_, kManagerName, kManagerPath, kManagerInterface, "EnableUnitFiles",
                         &error, nullptr, "asbb", 1, name.c_str(), 0, 1);
  return answer("enable the monitor's unit", r, error);
}

Result<void> UserServiceManager::disable(const std::string& name) {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  const int r = sd_bus_call_method(bus_, kManagerName, kManagerPath, kManagerInterface,
                                   "DisableUnitFiles", &error, nullptr, "asb", 1, name.c_str(), 0);
  return answer("disable the monitor's unit", r, error);
}

Result<void> UserServiceManager::start(const std::string& name) {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  const int r = sd_bus_call_method(bus_, kManagerName, kManagerPath, kManagerInterface, "StartUnit",
                                   &error, nullptr, "ss", name.c_str(), "replace");
  return answer("start the monitor", r, error);
}

Result<void> UserServiceManager::stop(const std::string& name) {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  const int r = sd_bus_call_method(bus_, kManagerName, kManagerPath, kManagerInterface, "StopUnit",
                                   &error, nullptr, "ss", name.c_str(), "replace");
  // A unit that was never loaded has nothing to stop.
  if (r < 0 && sd_bus_error_has_name(&error, "org.freedesktop.systemd1.NoSuchUnit")) {
    sd_bus_error_free(&error);
    return success();
  }
  return answer("stop the monitor", r, error);
}

}  // namespace zarnik
