// What a person can do with one copy the monitor found, by its path: `ignore` it (no news of it,
// and out of the monitor's review) or `unignore` it, `clean` it as `zarnik clean` would, and
// `put-back` a copy cleaned so. The `monitor` command itself is made elsewhere; these join it.
//
// Ignoring is a request in the monitor's settings file, which a running monitor follows at once
// and a stopped one reads when it starts. Cleaning and putting back work on the monitor's
// findings under review, where the records that bring a copy back are kept.
#pragma once

#include "cli/clean_command.h"

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace zarnik::cli {

class MonitorCopyCommands {
 public:
  explicit MonitorCopyCommands(CLI::App* monitorCommand);
  [[nodiscard]] bool wasChosen() const;
  // 0 done, 1 failed (told on stderr), 2 usage error.
  int run() const;

 private:
  int setIgnored(bool ignored) const;
  int clean() const;
  int putBack() const;

  CLI::App* ignore_;
  CLI::App* unignore_;
  CLI::App* clean_;
  CLI::App* putBack_;
  std::vector<std::string> paths_;
  CleanOptions cleanOptions_;
};

}  // namespace zarnik::cli
