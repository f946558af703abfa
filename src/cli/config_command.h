// `zarnik config`: the stored settings in the manner of git config (list, get, set, reset), and
// the scan rules exported to and imported from their JSON form.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace zarnik::cli {

class ConfigCommand {
 public:
  explicit ConfigCommand(CLI::App& app);
  [[nodiscard]] bool wasChosen() const { return command_->parsed(); }
  // 0 done, 1 the settings could not be read or written, 2 usage error (nothing written).
  int run() const;

 private:
  CLI::App* command_;
  CLI::App* list_;
  CLI::App* get_;
  CLI::App* set_;
  CLI::App* reset_;
  CLI::App* exportRules_;
  CLI::App* importRules_;
  bool json_ = false;
  std::string key_;
  std::string value_;
  std::string file_;
};

}  // namespace zarnik::cli
