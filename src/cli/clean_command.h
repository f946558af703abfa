// `zarnik clean` removes the selected copies of the stored results; `zarnik revert` brings
// cleaned copies back.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zarnik {
class DuplicatesDetectionSession;
}

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

// The cleaning and reverting steps of both commands, on a session restored and locked by the
// caller (`zarnik monitor clean` and `put-back` use them on the monitor's findings).
int cleanProposedCopies(DuplicatesDetectionSession& session, const CleanOptions& options);
int revertCleanedCopies(DuplicatesDetectionSession& session, const RevertOptions& options);

// --dry-run, the ways a copy goes (--trash, --delete, --move-to, --hardlink) and --yes.
void addCleaningWays(CLI::App* command, CleanOptions& options);
void addCleanCommand(CLI::App& app, CleanOptions& options);
int runClean(const CleanOptions& options);
void addRevertCommand(CLI::App& app, RevertOptions& options);
int runRevert(const RevertOptions& options);

}  // namespace zarnik::cli
