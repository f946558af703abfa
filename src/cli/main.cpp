// zarnik: the command-line front end.
#include "cli/clean_command.h"
#include "cli/compare_command.h"
#include "cli/config_command.h"
#include "cli/ignore_command.h"
#include "cli/monitor_command.h"
#include "cli/results_command.h"
#include "cli/rules_command.h"
#include "cli/scan_command.h"
#include "cli/shell_completion.h"
#include "cli/stats_command.h"
#include "cli/version_text.h"
#include "foundation/logger.h"
#include "platform/interrupt_watcher.h"
#include "platform/process_memory.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  // Before any thread starts, so that every thread inherits the blocked mask.
  zarnik::blockInterruptSignals();
  // A megabyte for all threads together: a scan's phases free blocks on one thread that
  // another needs, and the default caches held 4 to 8 MB of them at the end of a large scan.
  zarnik::limitThreadCaches(size_t{1} << 20);
  // Standard output holds results only; timing lines stay in the log unless a command asks.
  zarnik::Logger::shared().setConsole(nullptr);

  CLI::App app{"Zarnik finds duplicate files, similar images and audio, and duplicate folders."};
  app.set_version_flag("--version", zarnik::cli::versionText,
                       "Print the version and the libraries it was built with");
  app.get_formatter()->label("SUBCOMMAND", "COMMAND");
  app.footer(
      "Each command explains itself: zarnik COMMAND --help. Example: zarnik scan ~/Pictures");
  app.require_subcommand(0, 1);
  zarnik::cli::ScanOptions scanOptions;
  zarnik::cli::addScanCommand(app, scanOptions);
  zarnik::cli::CompareOptions compareOptions;
  zarnik::cli::addCompareCommand(app, compareOptions);
  zarnik::cli::ResultsOptions resultsOptions;
  zarnik::cli::addResultsCommand(app, resultsOptions);
  zarnik::cli::SelectOptions selectOptions;
  zarnik::cli::addSelectCommand(app, selectOptions);
  zarnik::cli::CleanOptions cleanOptions;
  zarnik::cli::addCleanCommand(app, cleanOptions);
  zarnik::cli::RevertOptions revertOptions;
  zarnik::cli::addRevertCommand(app, revertOptions);
  const zarnik::cli::ConfigCommand configCommand(app);
  const zarnik::cli::IgnoreCommand ignoreCommand(app);
  const zarnik::cli::RulesCommand rulesCommand(app);
  const zarnik::cli::MonitorCommand monitorCommand(app);
  const zarnik::cli::StatsCommand statsCommand(app);
  std::string completionFolder;
  zarnik::cli::addWriteCompletionsCommand(app, completionFolder);
  // Listed under "Commands" in --help; the hidden ones stay in no group.
  for (CLI::App* command : app.get_subcommands(
           [](CLI::App* command) { return command->get_group() == "Subcommands"; })) {
    command->group("Commands");
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int status = app.exit(error);
    return status == 0 ? 0 : 2;
  }
  if (app.got_subcommand("scan")) {
    const int status = zarnik::cli::runScan(scanOptions);
    zarnik::Logger::shared().flush();
    return status;
  }
  if (app.got_subcommand("compare")) return zarnik::cli::runCompare(compareOptions);
  if (app.got_subcommand("results")) return zarnik::cli::runResults(resultsOptions);
  if (app.got_subcommand("select")) return zarnik::cli::runSelect(selectOptions);
  if (app.got_subcommand("clean")) return zarnik::cli::runClean(cleanOptions);
  if (app.got_subcommand("revert")) return zarnik::cli::runRevert(revertOptions);
  if (app.got_subcommand(zarnik::cli::kWriteCompletionsCommand)) {
    return zarnik::cli::writeCompletions(app, completionFolder);
  }
  if (configCommand.wasChosen()) return configCommand.run();
  if (ignoreCommand.wasChosen()) return ignoreCommand.run();
  if (rulesCommand.wasChosen()) return rulesCommand.run();
  if (monitorCommand.wasChosen()) {
    const int status = monitorCommand.run();
    zarnik::Logger::shared().flush();
    return status;
  }
  if (statsCommand.wasChosen()) return statsCommand.run();
  std::fputs(app.help().c_str(), stdout);
  return 0;
}
