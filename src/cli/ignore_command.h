// `zarnik ignore`: the ignore list, folders and files by path, extensions, and names matching a
// regular expression, left out of every scan.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace zarnik::cli {

class IgnoreCommand {
 public:
  explicit IgnoreCommand(CLI::App& app);
  [[nodiscard]] bool wasChosen() const { return command_->parsed(); }
  // 0 done, 1 the list could not be changed or an item to remove was not in it, 2 usage error.
  int run() const;

 private:
  CLI::App* command_;
  CLI::App* add_;
  CLI::App* remove_;
  CLI::App* list_;
  std::vector<std::string> paths_;
  std::vector<std::string> extensions_;
  std::vector<std::string> names_;
  bool json_ = false;
};

}  // namespace zarnik::cli
