// `zarnik rules`: the folders whose copies are always or never proposed for removal, and the
// smart selection rules, kept for every scan; the smart rules suggested by the changes made by
// hand.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace zarnik::cli {

class RulesCommand {
 public:
  explicit RulesCommand(CLI::App& app);
  [[nodiscard]] bool wasChosen() const { return command_->parsed(); }
  // 0 done, 1 the rules could not be changed or a rule to remove was not there, 2 usage error.
  int run() const;

 private:
  struct PathRules {
    CLI::App* command = nullptr;
    CLI::App* add = nullptr;
    CLI::App* remove = nullptr;
  };
  PathRules addPathRules(const std::string& name, const std::string& description,
                         const std::string& example);

  CLI::App* command_;
  PathRules always_;
  PathRules never_;
  CLI::App* smart_;
  CLI::App* smartAdd_;
  CLI::App* smartRemove_;
  CLI::App* list_;
  CLI::App* suggest_;
  CLI::App* suggestAccept_;
  CLI::App* suggestDecline_;
  int suggestion_ = 0;
  std::vector<std::string> folders_;
  std::string rule_;
  std::string argument_;
  bool json_ = false;
};

}  // namespace zarnik::cli
