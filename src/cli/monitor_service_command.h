// `zarnik monitor enable` and `zarnik monitor disable`: the duplicates monitor as a systemd user
// service (zarnik-monitor.service, running `zarnik monitor run`), installed and started, or
// stopped and removed. The `monitor` command itself is made elsewhere; these join it.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace zarnik::cli {

// What a service command did: its exit status (0 done, 1 failed) and one line for the person.
struct ServiceCommandOutcome {
  int exitCode = 0;
  std::string message;
};

// `programPath`: the absolute path the unit runs.
[[nodiscard]] ServiceCommandOutcome enableMonitorService(const std::string& programPath);
[[nodiscard]] ServiceCommandOutcome disableMonitorService(const std::string& programPath);

class MonitorServiceCommands {
 public:
  explicit MonitorServiceCommands(CLI::App* monitorCommand);
  [[nodiscard]] bool wasChosen() const { return enable_->parsed() || disable_->parsed(); }
  // Prints the outcome (stdout when done, stderr when not) and returns its exit status.
  int run() const;

 private:
  CLI::App* enable_;
  CLI::App* disable_;
};

}  // namespace zarnik::cli
