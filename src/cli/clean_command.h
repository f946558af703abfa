// `zarnik clean` removes the selected copies of the stored results; `zarnik revert` brings
// cleaned copies back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace zarnik::cli {

struct CleanOptions {
  bool dryRun = false;
  bool trash = false;
  bool remove = false;
  std::optional<std::string> moveTo;
  bool hardlink = false;
  bool yes = false;
  bool force = false;
  bool keepEmptyFolders = false;
  bool fake = false;
  std::vector<std::string> volumeOptions;  // "MOUNT=trash|delete|move-to:DIR"
};

struct RevertOptions {
  bool all = false;
  std::vector<std::int64_t> identifiers;
};

void addCleanCommand(CLI::App& app, CleanOptions& options);
int runClean(const CleanOptions& options);
void addRevertCommand(CLI::App& app, RevertOptions& options);
int runRevert(const RevertOptions& options);

}  // namespace zarnik::cli
