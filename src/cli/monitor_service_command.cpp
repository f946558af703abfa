#include "cli/monitor_service_command.h"

#include "platform/install_layout.h"
#include "platform/user_service.h"

#include <fmt/format.h>

namespace zarnik::cli {
namespace {

constexpr const char* kNoServiceManager =
    "No user service manager (systemd --user) is running; run 'zarnik monitor run' in a terminal "
    "or at login instead.";

ServiceCommandOutcome failure(const Error& error) {
  if (error.domain == kUserServiceErrorDomain &&
      error.code == static_cast<int>(UserServiceErrorCode::noServiceManager))
    return {1, kNoServiceManager};
  return {1, error.oneLine()};
}

}  // namespace

ServiceCommandOutcome enableMonitorService(const std::string& programPath) {
  auto manager = UserServiceManager::connect();
  if (manager.hasError()) return failure(manager.error());
  const UserUnitFile unit = monitorServiceUnitFile(programPath);
  if (auto installed = manager.value()->install(unit); installed.hasError())
    return failure(installed.error());
  return {0, fmt::format("The duplicates monitor runs now and starts at every login ({}).",
                         unit.path())};
}

ServiceCommandOutcome disableMonitorService(const std::string& programPath) {
  auto manager = UserServiceManager::connect();
  if (manager.hasError()) return failure(manager.error());
  const UserUnitFile unit = monitorServiceUnitFile(programPath);
  if (auto removed = manager.value()->uninstall(unit); removed.hasError())
    return failure(removed.error());
  return {0, "The duplicates monitor is stopped and no longer starts at login."};
}

MonitorServiceCommands::MonitorServiceCommands(CLI::App* monitorCommand) {
  enable_ = monitorCommand->add_subcommand(
      "enable", "Run the duplicates monitor in the background now and at every login");
  enable_->footer(
      "Installs the systemd user service zarnik-monitor.service, which runs 'zarnik monitor run'\n"
      "and is restarted if it fails.\n"
      "\n"
      "Example:\n"
      "  zarnik monitor enable");
  disable_ = monitorCommand->add_subcommand(
      "disable", "Stop the duplicates monitor and no longer start it at login");
  disable_->footer(
      "Stops and removes the systemd user service zarnik-monitor.service; what the monitor found\n"
      "is kept.\n"
      "\n"
      "Example:\n"
      "  zarnik monitor disable");
}

int MonitorServiceCommands::run() const {
  const auto& layout = installLayout();
  if (layout.hasError()) {
    fmt::print(stderr, "zarnik: {}\n", layout.error().oneLine());
    return 1;
  }
  const std::string program = layout.value().programFolder + "/zarnik";
  const ServiceCommandOutcome outcome =
      enable_->parsed() ? enableMonitorService(program) : disableMonitorService(program);
  if (outcome.exitCode == 0) {
    fmt::print("{}\n", outcome.message);
  } else {
    fmt::print(stderr, "zarnik: {}\n", outcome.message);
  }
  return outcome.exitCode;
}

}  // namespace zarnik::cli
