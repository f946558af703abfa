#include "cli/ignore_command.h"

#include "base/byte_path.h"
#include "base/path_components.h"
#include "cli/user_preferences.h"
#include "cli/user_session.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>

namespace zarnik::cli {
namespace {

// ".iso" for "ISO", ".iso" or a file's path.
std::string shownExtension(const std::string& pathOrExtension) {
  return "." + displayPath(normalizedExtension(pathOrExtension));
}

// A pattern as typed; only bytes that are not text are escaped.
std::string shownPattern(const std::string& pattern) {
  return isValidUtf8(pattern) ? pattern : displayPath(pattern);
}

std::vector<std::string> ignoredNames(const PreferencesController& preferences) {
  const auto expressions = preferences.storage().scanRules()->nodeNameRegExpByMembershipMode();
  auto it = expressions.find("Regular");
  return it == expressions.end() ? std::vector<std::string>{} : it->second;
}

int list(const PreferencesController& preferences, bool json) {
  std::vector<const ZKIgnoreItem*> nodes;
  std::vector<std::string> extensions;
  for (const auto& item : preferences.lists().ignoreItems) {
    if (item.kind == ZKIgnoreItem::Kind::node) {
      nodes.push_back(&item);
    } else if (item.enabled) {
      extensions.insert(extensions.end(), item.pathExtensions.begin(), item.pathExtensions.end());
    }
  }
  const auto names = ignoredNames(preferences);
  if (json) {
    Json document{{"paths", Json::array()},
                  {"extensions", bytesListJson(extensions)},
                  {"names", bytesListJson(names)}};
    for (const auto* item : nodes) document["paths"].push_back(item->json());
    fmt::print("{}\n", dumpJson(document, 2));
    return 0;
  }
  if (nodes.empty() && extensions.empty() && names.empty()) {
    fmt::print("Nothing is ignored.\n");
    return 0;
  }
  for (const auto* item : nodes) {
    fmt::print("path       {}{}\n", displayPath(item->path), item->enabled ? "" : " (off)");
  }
  for (const auto& extension : extensions) fmt::print("extension  .{}\n", displayPath(extension));
  for (const auto& name : names) fmt::print("name       {}\n", shownPattern(name));
  return 0;
}

int add(PreferencesController& preferences, const std::vector<std::string>& paths,
        const std::vector<std::string>& extensions, const std::vector<std::string>& names) {
  for (const auto& path : paths) {
    const std::string shown = displayPath(preferences.abbreviatedListPath(path));
    if (!preferences.canAddNodeToIgnoreList(path)) {
      fmt::print("{} is already ignored.\n", shown);
      continue;
    }
    if (auto added = preferences.addNodesToIgnoreList({path}); added.hasError()) {
      printError(added.error().oneLine());
      return 1;
    }
    fmt::print("Ignoring {}\n", shown);
  }
  for (const auto& extension : extensions) {
    if (!preferences.canAddExtensionToIgnoreList(extension)) {
      fmt::print("Files ending in {} are already ignored.\n", shownExtension(extension));
      continue;
    }
    if (auto added = preferences.addExtensionToIgnoreList(extension); added.hasError()) {
      printError(added.error().oneLine());
      return 1;
    }
    fmt::print("Ignoring files ending in {}\n", shownExtension(extension));
  }
  for (const auto& name : names) {
    if (auto added = preferences.addNameExpressionToIgnoreList(name); added.hasError()) {
      printError(added.error().oneLine());
      return 2;
    }
    fmt::print("Ignoring names matching {}\n", shownPattern(name));
  }
  return 0;
}

int remove(PreferencesController& preferences, const std::vector<std::string>& paths,
           const std::vector<std::string>& extensions, const std::vector<std::string>& names) {
  int status = 0;
  for (const auto& path : paths) {
    const std::string shown = displayPath(preferences.abbreviatedListPath(path));
    if (!preferences.canRemoveNodeFromIgnoreList(path)) {
      printError(fmt::format("{} is not in the ignore list", shown));
      status = 1;
      continue;
    }
    if (auto removed = preferences.removeNodesFromIgnoreList({path}); removed.hasError()) {
      printError(removed.error().oneLine());
      return 1;
    }
    fmt::print("No longer ignoring {}\n", shown);
  }
  for (const auto& extension : extensions) {
    if (preferences.canAddExtensionToIgnoreList(extension)) {
      printError(fmt::format("files ending in {} are not ignored", shownExtension(extension)));
      status = 1;
      continue;
    }
    if (auto removed = preferences.removeExtensionFromIgnoreList(extension); removed.hasError()) {
      printError(removed.error().oneLine());
      return 1;
    }
    fmt::print("No longer ignoring files ending in {}\n", shownExtension(extension));
  }
  for (const auto& name : names) {
    const auto present = ignoredNames(preferences);
    if (std::find(present.begin(), present.end(), name) == present.end()) {
      printError(fmt::format("names matching {} are not ignored", shownPattern(name)));
      status = 1;
      continue;
    }
    if (auto removed = preferences.removeNameExpressionFromIgnoreList(name); removed.hasError()) {
      printError(removed.error().oneLine());
      return 1;
    }
    fmt::print("No longer ignoring names matching {}\n", shownPattern(name));
  }
  return status;
}

void addItemOptions(CLI::App* command, std::vector<std::string>& paths,
                    std::vector<std::string>& extensions, std::vector<std::string>& names) {
  command->add_option("PATH", paths, "Folders or files");
  command->add_option("--ext", extensions, "A file extension, with or without the dot (repeatable)")
      ->allow_extra_args(false);
  command
      ->add_option("--name", names, "A regular expression matched against item names (repeatable)")
      ->allow_extra_args(false);
}

}  // namespace

IgnoreCommand::IgnoreCommand(CLI::App& app) {
  command_ =
      app.add_subcommand("ignore", "Leave folders, files, extensions or names out of every scan");
  command_->require_subcommand(1);
  command_->footer(
      "Examples:\n"
      "  zarnik ignore add ~/Downloads/old-backups\n"
      "  zarnik ignore add --ext iso --name '^~\\$'\n"
      "  zarnik ignore list");
  add_ = command_->add_subcommand(
      "add", "Add folders, files, extensions or name patterns to the ignore list");
  addItemOptions(add_, paths_, extensions_, names_);
  add_->footer(
      "Examples:\n  zarnik ignore add ~/Videos/raw\n  zarnik ignore add --ext tmp --ext part");
  remove_ = command_->add_subcommand(
      "remove", "Take folders, files, extensions or name patterns off the ignore list");
  addItemOptions(remove_, paths_, extensions_, names_);
  remove_->footer("Example:\n  zarnik ignore remove ~/Videos/raw");
  list_ = command_->add_subcommand("list", "Print the ignore list");
  list_->add_flag("--json", json_, "Print it as JSON: {paths, extensions, names}");
  list_->footer("Example:\n  zarnik ignore list --json");
}

int IgnoreCommand::run() const {
  if ((add_->parsed() || remove_->parsed()) && paths_.empty() && extensions_.empty() &&
      names_.empty()) {
    printError("give a PATH, --ext EXT or --name REGEX");
    return 2;
  }
  auto preferences = openUserPreferences();
  if (!preferences) return 1;
  if (list_->parsed()) return list(*preferences, json_);
  if (add_->parsed()) return add(*preferences, paths_, extensions_, names_);
  return remove(*preferences, paths_, extensions_, names_);
}

}  // namespace zarnik::cli
