// `zarnik stats`: the lifetime statistics (scanned, found and cleaned bytes; scans, cleanings,
// launches) and the figures of the results under review per criterion; `zarnik stats
// achievements`: every achievement, accomplished or not, the completion and the rank held.
#pragma once

#include <CLI/CLI.hpp>

namespace zarnik::cli {

class StatsCommand {
 public:
  explicit StatsCommand(CLI::App& app);
  [[nodiscard]] bool wasChosen() const { return command_->parsed(); }
  // 0 done, 1 the achievements could not be loaded.
  int run() const;

 private:
  CLI::App* command_;
  CLI::App* achievements_;
  bool json_ = false;
  bool achievementsJSON_ = false;
};

}  // namespace zarnik::cli
