#include "cli/config_command.h"

#include "cli/user_preferences.h"
#include "cli/user_session.h"
#include "platform/file_reading.h"
#include "preferences/setting_descriptions.h"
#include "preferences/tolerant_json_reader.h"

#include <fmt/format.h>

#include <cstdio>

namespace zarnik::cli {
namespace {

constexpr int kUsageError = 2;

const BaseStorage& ownerOf(const PreferencesStorage& storage, const SettingDescription& setting) {
  return setting.owner.empty() ? static_cast<const BaseStorage&>(storage)
                               : *storage.substorage(setting.owner);
}

int list(const PreferencesController& preferences, bool json) {
  Json entries = Json::array();
  for (const auto& setting : settingDescriptions()) {
    const Json value = ownerOf(preferences.storage(), setting).valueForKey(setting.name);
    const Json fallback = ownerOf(preferences.defaults(), setting).valueForKey(setting.name);
    if (json) {
      entries.push_back(Json{{"key", setting.key},
                             {"value", value},
                             {"default", fallback},
                             {"isDefault", value == fallback},
                             {"expected", setting.expectation()}});
      continue;
    }
    fmt::print("{}={}", setting.key, settingText(setting, value));
    if (value != fallback) fmt::print("  (default: {})", settingText(setting, fallback));
    fmt::print("\n");
  }
  if (json) fmt::print("{}\n", dumpJson(entries, 2));
  return 0;
}

const SettingDescription* knownSetting(const std::string& key) {
  const SettingDescription* setting = findSetting(key);
  if (setting == nullptr)
    printError(fmt::format("{}: no such setting (zarnik config list shows them all)", key));
  return setting;
}

// The scan rules in their JSON form, the ignore list's exclusions with them.
int exportRules(const PreferencesController& preferences, const std::string& file) {
  const std::string text =
      dumpJson(preferences.extendedPreferences().scanRules->exportJSON(), 2) + "\n";
  if (file == "-") {
    std::fputs(text.c_str(), stdout);
    return 0;
  }
  if (auto written = writeFileAtomically(file, text); written.hasError()) {
    printError(written.error().oneLine());
    return 1;
  }
  return 0;
}

// An exclusion rule with every field of its type; the rules' own reader passes over wrong ones.
bool isWellFormedExclusionRule(const Json& rule) {
  if (!rule.is_object()) return false;
  for (const auto& [field, value] : rule.items()) {
    if (field == "isIgnored" || field == "isInternal") {
      if (!value.is_boolean()) return false;
    } else if (field == "membershipMode") {
      if (!value.is_string() || !membershipModeFromIdentifier(value.get<std::string>()))
        return false;
    } else if (field == "pathsToEnumerate") {
      if (!bytesListFromJson(value)) return false;
    } else {
      return false;
    }
  }
  return true;
}

// Every key must be a scan rule and every value readable; the error names the first that is not.
Result<Json> checkedRules(const std::string& file) {
  ZK_ASSIGN_OR_RETURN(auto text, readWholeFile(file, size_t{1} << 20));
  auto reading = readJsonTolerantly(text);
  if (!reading.complete)
    return Error::generic(fmt::format("not valid scan rules JSON: {}", reading.problem), file);
  if (!reading.value.is_object())
    return Error::generic("not valid scan rules JSON: not an object", file);
  ExtendedScanRules scratch;
  for (const auto& [key, value] : reading.value.items()) {
    if (key == "exclusionRulesByPath" || key == "exclusionRulesByPathExtension") {
      if (!value.is_object())
        return Error::generic(fmt::format("{}: not an object of exclusion rules", key), file);
      for (const auto& [path, rule] : value.items()) {
        if (!isWellFormedExclusionRule(rule)) {
          return Error::generic(
              fmt::format("{}: the rule of {} is not an exclusion rule", key, path), file);
        }
      }
      continue;
    }
    const SettingDescription* setting = findSetting("scanRules." + key);
    if (setting == nullptr) return Error::generic(fmt::format("{}: not a scan rule", key), file);
    if (auto valid = checkSettingValue(*setting, value); valid.hasError())
      return valid.error().withPath(file);
  }
  if (auto imported = scratch.importJSON(reading.value); imported.hasError())
    return imported.error().withPath(file);
  return std::move(reading.value);
}

std::vector<ZKIgnoreItem> nodeItems(const ExtendedScanRules& rules) {
  std::vector<ZKIgnoreItem> items;
  for (const auto& [path, rule] : rules.exclusionRulesByPath()) {
    if (!rule.isIgnored) continue;
    ZKIgnoreItem item;
    item.path = path;
    item.rawMembershipMode = std::string(identifier(rule.membershipMode));
    item.forceWhitelistedPaths = rule.pathsToEnumerate;
    items.push_back(std::move(item));
  }
  return items;
}

// One group per way of leaving items out.
std::vector<ZKIgnoreItem> extensionGroups(const ExtendedScanRules& rules) {
  std::map<std::string, ZKIgnoreItem> groups;
  for (const auto& [extension, rule] : rules.exclusionRulesByPathExtension()) {
    if (!rule.isIgnored) continue;
    ZKIgnoreItem& group = groups[std::string(identifier(rule.membershipMode))];
    group.kind = ZKIgnoreItem::Kind::extensionGroup;
    group.rawMembershipMode = std::string(identifier(rule.membershipMode));
    group.pathExtensions.push_back(extension);
  }
  std::vector<ZKIgnoreItem> items;
  for (auto& [mode, group] : groups) items.push_back(std::move(group));
  return items;
}

int importRules(PreferencesController& preferences, const std::string& file) {
  auto checked = checkedRules(file);
  if (checked.hasError()) {
    printError(checked.error().oneLine());
    return kUsageError;
  }
  const Json rules = std::move(checked).value();
  ExtendedScanRules imported;
  (void)imported.importJSON(rules);
  auto changed = preferences.change([&rules](PreferencesStorage& storage) -> Result<void> {
    for (const auto& [key, value] : rules.items()) {
      if (storage.scanRules()->propertyMetaInfo(key) != nullptr)
        storage.scanRules()->setValueForKey(key, value);
    }
    return success();
  });
  if (changed.hasValue() && rules.contains("exclusionRulesByPath")) {
    changed = preferences.replaceEditableIgnoreItems(ZKIgnoreItem::Kind::node, nodeItems(imported));
  }
  if (changed.hasValue() && rules.contains("exclusionRulesByPathExtension")) {
    changed = preferences.replaceEditableIgnoreItems(ZKIgnoreItem::Kind::extensionGroup,
                                                     extensionGroups(imported));
  }
  if (changed.hasError()) {
    printError(changed.error().oneLine());
    return 1;
  }
  return 0;
}

int report(const Result<void>& done) {
  if (done.hasValue()) return 0;
  printError(done.error().oneLine());
  return 1;
}

}  // namespace

ConfigCommand::ConfigCommand(CLI::App& app) {
  command_ = app.add_subcommand("config", "Show and change the stored settings");
  command_->require_subcommand(1);
  command_->footer(
      "Settings live in $XDG_CONFIG_HOME/zarnik/settings.json. A key is written as it is listed\n"
      "(scanRules.exactMatchEnabled), or by its last part when only one setting has that name.\n"
      "Examples:\n"
      "  zarnik config list\n"
      "  zarnik config set schedulePeriodOption weekly\n"
      "  zarnik config set scanRules.sizeThresholdOption 1000000\n"
      "  zarnik config reset scanRules.sizeThresholdOption");
  list_ = command_->add_subcommand(
      "list", "Print every setting and its value, with the default where it differs");
  list_->add_flag("--json", json_,
                  "Print a JSON list of {key, value, default, isDefault, expected}");
  list_->footer("Example:\n  zarnik config list --json");
  get_ = command_->add_subcommand("get", "Print the value of one setting");
  get_->add_option("KEY", key_, "The setting")->required();
  get_->footer("Example:\n  zarnik config get scanRules.exactMatchEnabled");
  set_ = command_->add_subcommand(
      "set", "Change one setting; a value of the wrong type or out of range changes nothing");
  set_->add_option("KEY", key_, "The setting")->required();
  set_->add_option("VALUE", value_,
                   "Its new value: true/false, a number, a name (weekly), a date, JSON")
      ->required();
  set_->footer(
      "Examples:\n  zarnik config set mixedPreferences.soundsEnabled false\n  zarnik config set "
      "lastScanDate 2026-12-01");
  reset_ =
      command_->add_subcommand("reset", "Put one setting, or every setting, back to its default");
  reset_->add_option("KEY", key_, "The setting (every setting when left out)");
  reset_->footer("Example:\n  zarnik config reset schedulePeriodOption");
  exportRules_ = command_->add_subcommand("export-rules",
                                          "Write the scan rules (with the ignore list) as JSON");
  exportRules_->add_option("FILE", file_, "Where to write them (- for standard output)")
      ->required();
  exportRules_->footer("Example:\n  zarnik config export-rules ~/scan-rules.json");
  importRules_ = command_->add_subcommand(
      "import-rules", "Read scan rules from JSON; a file that cannot be read changes nothing");
  importRules_->add_option("FILE", file_, "A file written by export-rules")->required();
  importRules_->footer("Example:\n  zarnik config import-rules ~/scan-rules.json");
}

int ConfigCommand::run() const {
  auto preferences = openUserPreferences();
  if (!preferences) return 1;
  if (list_->parsed()) return list(*preferences, json_);
  if (exportRules_->parsed()) return exportRules(*preferences, file_);
  if (importRules_->parsed()) return importRules(*preferences, file_);
  if (reset_->parsed() && key_.empty()) return report(preferences->restoreDefaultPropertyValues());
  const SettingDescription* setting = knownSetting(key_);
  if (setting == nullptr) return kUsageError;
  if (get_->parsed()) {
    fmt::print("{}\n",
               settingText(*setting,
                           ownerOf(preferences->storage(), *setting).valueForKey(setting->name)));
    return 0;
  }
  if (reset_->parsed()) return report(preferences->resetValue(setting->key));
  auto value = parseSettingText(*setting, value_);
  if (value.hasError()) {
    printError(value.error().oneLine());
    return kUsageError;
  }
  const int status = report(preferences->setValue(setting->key, value.value()));
  printPreferencesNotices(*preferences);
  return status;
}

}  // namespace zarnik::cli
