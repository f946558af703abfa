// Tab completion for bash, zsh and fish, written from the command definitions themselves so that
// it cannot drift from them: the build runs the hidden `zarnik __write-completions FOLDER`, which
// walks every visible command and option of the program and writes one script per shell.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace zarnik::cli {

// What is completed after an option or as a command's operand.
enum class CompletedValue { nothing, files, folders, choices };

struct CompletedOption {
  std::vector<std::string> names;  // "-q", "--quiet"
  std::string description;
  bool takesValue = false;
  bool repeatable = false;
  CompletedValue value = CompletedValue::nothing;
  std::vector<std::string> choices;
};

struct CompletedCommand {
  std::string name;
  std::string description;
  std::vector<CompletedOption> options;
  CompletedValue operands = CompletedValue::nothing;  // what the command's positional arguments are
};

// The program's own options (as the command named "") and every visible command, in the order
// they were defined. Hidden commands and options (in no help group) are left out.
[[nodiscard]] std::vector<CompletedCommand> completedCommands(const CLI::App& app);

[[nodiscard]] std::string bashCompletion(const std::vector<CompletedCommand>& commands);
[[nodiscard]] std::string zshCompletion(const std::vector<CompletedCommand>& commands);
[[nodiscard]] std::string fishCompletion(const std::vector<CompletedCommand>& commands);

inline constexpr const char* kWriteCompletionsCommand = "__write-completions";

// Adds the hidden command that writes zarnik.bash, _zarnik and zarnik.fish into `folder`.
void addWriteCompletionsCommand(CLI::App& app, std::string& folder);
// The exit status: 0 written, 1 a file could not be written (the reason is printed).
int writeCompletions(const CLI::App& app, const std::string& folder);

}  // namespace zarnik::cli
