// `zarnik monitor`: the duplicates monitor. `run` watches in the foreground (the user service
// runs it so); `add`, `remove`, `pause` and `resume` change what it is asked to do, whether it
// runs or not; `status` tells what it does and found; `review` puts its groups under review for
// `results`, `select`, `clean` and `revert`; `enable` and `disable` manage the user service;
// `ignore`, `unignore`, `clean` and `put-back` act on one copy it found.
#pragma once

#include "cli/monitor_copy_commands.h"
#include "cli/monitor_service_command.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <string>
#include <vector>

namespace zarnik::cli {

class MonitorCommand {
 public:
  explicit MonitorCommand(CLI::App& app);
  [[nodiscard]] bool wasChosen() const { return command_->parsed(); }
  // 0 done, 1 failed (told on stderr), 2 usage error.
  int run() const;

 private:
  int runInForeground() const;
  int changeLocations(bool adding) const;
  int setPaused(bool paused) const;
  int printStatus() const;
  int review() const;

  CLI::App* command_;
  CLI::App* run_;
  CLI::App* add_;
  CLI::App* remove_;
  CLI::App* pause_;
  CLI::App* resume_;
  CLI::App* status_;
  CLI::App* review_;
  std::unique_ptr<MonitorServiceCommands> serviceCommands_;
  std::unique_ptr<MonitorCopyCommands> copyCommands_;
  std::vector<std::string> paths_;
  bool json_ = false;
};

}  // namespace zarnik::cli
