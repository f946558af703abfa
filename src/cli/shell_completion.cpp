#include "cli/shell_completion.h"

#include "cli/user_session.h"

#include <fmt/format.h>

#include <algorithm>
#include <fstream>

namespace zarnik::cli {
namespace {

// What an option's value is, told by the type name shown in --help ("DIR", "FILE", "ID") and the
// set of values it accepts ("TEXT:{automatic,none,newest}").
void classifyValue(const std::string& typeName, CompletedValue& value,
                   std::vector<std::string>& choices) {
  const auto open = typeName.find(":{");
  if (open != std::string::npos && typeName.back() == '}') {
    const std::string list = typeName.substr(open + 2, typeName.size() - open - 3);
    for (size_t start = 0; start <= list.size();) {
      const auto comma = list.find(',', start);
      const auto end = comma == std::string::npos ? list.size() : comma;
      if (end > start) choices.push_back(list.substr(start, end - start));
      start = end + 1;
    }
    value = CompletedValue::choices;
    return;
  }
  const std::string base = typeName.substr(0, typeName.find(':'));
  if (base == "DIR" || base == "FOLDER") {
    value = CompletedValue::folders;
  } else if (base == "FILE" || base == "PATH" || base == "TEXT") {
    value = CompletedValue::files;
  } else {
    value = CompletedValue::nothing;
  }
}

// The options of `app` and of the commands nested in it (`zarnik ignore add --ext`), each once.
void addOptionsOf(const CLI::App& app, CompletedCommand& command) {
  for (const CLI::Option* option : app.get_options()) {
    if (option->get_group().empty()) continue;
    if (option->get_positional() && !option->nonpositional()) {
      std::vector<std::string> ignored;
      classifyValue(option->get_type_name(), command.operands, ignored);
      continue;
    }
    CompletedOption completed;
    for (const auto& shortName : option->get_snames()) completed.names.push_back("-" + shortName);
    for (const auto& longName : option->get_lnames()) completed.names.push_back("--" + longName);
    completed.description = option->get_description();
    completed.takesValue = option->get_expected_max() > 0;
    completed.repeatable = completed.takesValue && option->get_expected_max() > 1;
    if (completed.takesValue)
      classifyValue(option->get_type_name(), completed.value, completed.choices);
    const bool known =
        std::any_of(command.options.begin(), command.options.end(),
                    [&](const CompletedOption& other) { return other.names == completed.names; });
    if (!known) command.options.push_back(std::move(completed));
  }
}

CompletedCommand commandOf(const CLI::App& app, const std::string& name) {
  CompletedCommand command{name, app.get_description(), {}, CompletedValue::nothing};
  addOptionsOf(app, command);
  // A command's own commands (`zarnik ignore add --ext`); the program's are commands of their own.
  if (name.empty()) return command;
  for (const CLI::App* nested : app.get_subcommands([](const CLI::App*) { return true; })) {
    addOptionsOf(*nested, command);
    for (const CLI::App* deeper : nested->get_subcommands([](const CLI::App*) { return true; })) {
      addOptionsOf(*deeper, command);
    }
  }
  return command;
}

std::string joined(const std::vector<std::string>& words, const std::string& separator = " ") {
  std::string text;
  for (const auto& word : words) text += (text.empty() ? "" : separator) + word;
  return text;
}

// Inside single quotes for a POSIX shell (bash and zsh): a quote closes, escapes one and reopens.
std::string singleQuotedForShell(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Inside single quotes for fish, where a backslash escapes a quote or a backslash.
std::string singleQuotedForFish(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "'";
}

// zsh gives brackets and colons a meaning inside _arguments and _describe specifications.
std::string escapedForZsh(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == '[' || c == ']' || c == ':' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

constexpr const char* kHeader =
    "completion for zarnik, written by the program from its own command definitions";

std::string bashValueCompletion(CompletedValue value, const std::vector<std::string>& choices) {
  switch (value) {
    case CompletedValue::files:
      return "_filedir";
    case CompletedValue::folders:
      return "_filedir -d";
    case CompletedValue::choices:
      return "COMPREPLY=($(compgen -W " + singleQuotedForShell(joined(choices)) + " -- \"$cur\"))";
    case CompletedValue::nothing:
      break;
  }
  return ":";
}

std::string bashCommandCase(const CompletedCommand& command) {
  std::vector<std::string> optionNames;
  std::string valueCases;
  for (const auto& option : command.options) {
    optionNames.insert(optionNames.end(), option.names.begin(), option.names.end());
    if (!option.takesValue) continue;
    valueCases += fmt::format("        {}) {}; return ;;\n", joined(option.names, "|"),
                              bashValueCompletion(option.value, option.choices));
  }
  std::string text = fmt::format("    {})\n", command.name.empty() ? "''" : command.name);
  if (!valueCases.empty()) text += "      case \"$prev\" in\n" + valueCases + "      esac\n";
  text += fmt::format(
      "      if [[ \"$cur\" == -* ]]; then\n        COMPREPLY=($(compgen -W {} -- \"$cur\"))\n",
      singleQuotedForShell(joined(optionNames)));
  text += fmt::format("      else\n        {}\n      fi ;;\n",
                      bashValueCompletion(command.operands, {}));
  return text;
}

std::string zshOptionSpec(const CompletedOption& option) {
  std::string exclusion;
  if (option.names.size() > 1) exclusion = "(" + joined(option.names) + ")";
  const std::string names =
      option.names.size() > 1 ? "{" + joined(option.names, ",") + "}" : option.names.front();
  const std::string repeat = option.repeatable ? "*" : "";
  std::string value;
  if (option.takesValue) {
    switch (option.value) {
      case CompletedValue::files:
        value = ":file:_files";
        break;
      case CompletedValue::folders:
        value = ":folder:_files -/";
        break;
      case CompletedValue::choices:
        value = ":value:(" + joined(option.choices) + ")";
        break;
      case CompletedValue::nothing:
        value = ":value: ";
        break;
    }
  }
  const std::string equals = option.takesValue ? "=" : "";
  // Brace expansion makes one specification per name; the quoted parts stay one word each.
  const std::string quotedExclusion =
      option.repeatable || exclusion.empty() ? "" : singleQuotedForShell(exclusion);
  if (option.names.size() > 1) {
    return quotedExclusion + singleQuotedForShell(repeat) + names +
           singleQuotedForShell(equals + "[" + escapedForZsh(option.description) + "]" + value);
  }
  return singleQuotedForShell(repeat + names + equals + "[" + escapedForZsh(option.description) +
                              "]" + value);
}

std::string zshOperandSpec(CompletedValue operands) {
  switch (operands) {
    case CompletedValue::files:
      return " '*:file:_files'";
    case CompletedValue::folders:
      return " '*:folder:_files -/'";
    case CompletedValue::choices:
    case CompletedValue::nothing:
      break;
  }
  return "";
}

std::string fishValueFlags(const CompletedOption& option) {
  if (!option.takesValue) return "";
  switch (option.value) {
    case CompletedValue::files:
      return " -r -F";
    case CompletedValue::folders:
      return " -x -a '(__fish_complete_directories)'";
    case CompletedValue::choices:
      return " -x -a " + singleQuotedForFish(joined(option.choices));
    case CompletedValue::nothing:
      break;
  }
  return " -x";
}

Result<void> writeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) return Error::generic("The completion file could not be written.", path);
  return success();
}

}  // namespace

std::vector<CompletedCommand> completedCommands(const CLI::App& app) {
  std::vector<CompletedCommand> commands{commandOf(app, "")};
  for (const CLI::App* sub :
       app.get_subcommands([](const CLI::App* sub) { return !sub->get_group().empty(); })) {
    commands.push_back(commandOf(*sub, sub->get_name()));
  }
  return commands;
}

std::string bashCompletion(const std::vector<CompletedCommand>& commands) {
  std::vector<std::string> names;
  for (const auto& command : commands) {
    if (!command.name.empty()) names.push_back(command.name);
  }
  std::string text = fmt::format("# bash {}\n\n_zarnik() {{\n", kHeader);
  text += "  local cur prev words cword\n  _init_completion || return\n";
  text += "  local command=''\n  ((cword > 1)) && command=\"${words[1]}\"\n";
  text += fmt::format(
      "  if ((cword == 1)) && [[ \"$cur\" != -* ]]; then\n"
      "    COMPREPLY=($(compgen -W {} -- \"$cur\"))\n    return\n  fi\n",
      singleQuotedForShell(joined(names)));
  text += "  case \"$command\" in\n";
  for (const auto& command : commands) text += bashCommandCase(command);
  text += "  esac\n}\n\ncomplete -F _zarnik zarnik\n";
  return text;
}

std::string zshCompletion(const std::vector<CompletedCommand>& commands) {
  std::string text = fmt::format("#compdef zarnik\n# zsh {}\n\n_zarnik() {{\n", kHeader);
  text +=
      "  local curcontext=\"$curcontext\" state line\n  typeset -A opt_args\n  local -a commands\n";
  text += "  commands=(\n";
  for (const auto& command : commands) {
    if (command.name.empty()) continue;
    text += "    " + singleQuotedForShell(command.name + ":" + escapedForZsh(command.description)) +
            "\n";
  }
  text += "  )\n  _arguments -C";
  for (const auto& option : commands.front().options) text += " \\\n    " + zshOptionSpec(option);
  text += " \\\n    '1:command:->command' \\\n    '*::argument:->argument'\n";
  text += "  case $state in\n    command) _describe -t commands 'zarnik command' commands ;;\n";
  text += "    argument)\n      case $words[1] in\n";
  for (const auto& command : commands) {
    if (command.name.empty()) continue;
    text += fmt::format("        {}) _arguments -s", command.name);
    for (const auto& option : command.options) text += " \\\n            " + zshOptionSpec(option);
    text += zshOperandSpec(command.operands) + " ;;\n";
  }
  text += "      esac ;;\n  esac\n}\n\n_zarnik \"$@\"\n";
  return text;
}

std::string fishCompletion(const std::vector<CompletedCommand>& commands) {
  std::string text = fmt::format("# fish {}\n\ncomplete -c zarnik -f\n", kHeader);
  for (const auto& command : commands) {
    const std::string condition =
        command.name.empty() ? "__fish_use_subcommand"
                             : singleQuotedForFish("__fish_seen_subcommand_from " + command.name);
    if (!command.name.empty()) {
      text += fmt::format("complete -c zarnik -n __fish_use_subcommand -a {} -d {}\n", command.name,
                          singleQuotedForFish(command.description));
    }
    for (const auto& option : command.options) {
      std::string names;
      for (const auto& name : option.names) {
        names += name.rfind("--", 0) == 0 ? " -l " + name.substr(2) : " -s " + name.substr(1);
      }
      text += fmt::format("complete -c zarnik -n {}{}{} -d {}\n", condition, names,
                          fishValueFlags(option), singleQuotedForFish(option.description));
    }
    if (command.operands == CompletedValue::files)
      text += fmt::format("complete -c zarnik -n {} -F\n", condition);
    if (command.operands == CompletedValue::folders) {
      text +=
          fmt::format("complete -c zarnik -n {} -a '(__fish_complete_directories)'\n", condition);
    }
  }
  return text;
}

void addWriteCompletionsCommand(CLI::App& app, std::string& folder) {
  CLI::App* write = app.add_subcommand(kWriteCompletionsCommand,
                                       "Write the shell completion scripts into a folder");
  write->group("");
  write->add_option("folder", folder, "Where to write zarnik.bash, _zarnik and zarnik.fish")
      ->required();
}

int writeCompletions(const CLI::App& app, const std::string& folder) {
  const auto commands = completedCommands(app);
  for (const auto& [name, text] : {std::pair{"zarnik.bash", bashCompletion(commands)},
                                   std::pair{"_zarnik", zshCompletion(commands)},
                                   std::pair{"zarnik.fish", fishCompletion(commands)}}) {
    auto written = writeFile(folder + "/" + name, text);
    if (written.hasError()) {
      printError(written.error().oneLine());
      return 1;
    }
  }
  return 0;
}

}  // namespace zarnik::cli
