#include "preferences/preferences_controller.h"

#include "foundation/logger.h"
#include "platform/file_lock.h"
#include "platform/file_reading.h"
#include "platform/install_layout.h"
#include "platform/xdg_directories.h"
#include "preferences/setting_descriptions.h"
#include "preferences/settings_file.h"
#include "preferences/settings_migration.h"
#include "store/persistent_store.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdlib>

namespace zarnik {
namespace {

constexpr std::string_view kAuthor = "PreferencesController";
constexpr std::string_view kDefaultValuesResource = "default-settings.json";

std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

BaseStorage& ownerOf(PreferencesStorage& storage, const SettingDescription& setting) {
  return setting.owner.empty() ? static_cast<BaseStorage&>(storage)
                               : *storage.substorage(setting.owner);
}

Error unknownKey(std::string_view key) {
  return Error::generic(
      fmt::format("{}: no such setting (zarnik config list shows them all)", key));
}

// "the defaults apply to every setting" or "... to scanRules.a, mixedPreferences.b".
std::string whatFellBack(const SettingsFileReading& reading) {
  const bool nothingRead =
      std::none_of(reading.document.begin(), reading.document.end(),
                   [](const Json& value) { return !value.is_object() || !value.empty(); });
  if (!reading.problem.empty() && nothingRead) return "every setting";
  std::vector<std::string> keys = reading.damagedKeys;
  if (!reading.problem.empty()) keys.emplace_back("the settings after the damage");
  return fmt::format("{}", fmt::join(keys, ", "));
}

}  // namespace

PreferencesLocations PreferencesLocations::standard() {
  PreferencesLocations locations;
  locations.settingsFile = xdg::zarnikConfigDirectory() + "/settings.json";
  locations.storeFile = xdg::zarnikDataDirectory() + "/preferences.db";
  if (const auto& layout = installLayout(); layout.hasValue()) {
    locations.defaultValuesFile = layout.value().resourcePath(std::string(kDefaultValuesResource));
  } else {
    Logger::shared().log(kAuthor, "standard()",
                         "The default values are missing: " + layout.error().oneLine());
  }
  return locations;
}

PreferencesController::PreferencesController(PreferencesLocations locations,
                                             const OVURLResolver& resolver)
    : locations_(std::move(locations)),
      resolver_(resolver),
      storage_(std::make_shared<PreferencesStorage>()),
      defaults_(std::make_shared<PreferencesStorage>()) {}

PreferencesController::~PreferencesController() = default;

Result<std::unique_ptr<PreferencesController>> PreferencesController::open(
    PreferencesLocations locations, const OVURLResolver& resolver) {
  std::unique_ptr<PreferencesController> controller(
      new PreferencesController(std::move(locations), resolver));
  ZK_TRY(controller->load());
  return controller;
}

Result<void> PreferencesController::load() {
  // A settings file linked from elsewhere (a folder of dotfiles) is read and written where it
  // lies, so that a write does not put a file of its own in place of the link.
  if (auto resolved = resolvedPath(locations_.settingsFile); resolved.hasValue())
    locations_.settingsFile = std::move(resolved).value();
  if (locations_.defaultValuesFile) {
    auto info =
        DefaultValuesInfo::fetchDefaultValuesInfoWithContentsURL(*locations_.defaultValuesFile);
    if (info.hasValue()) {
      defaultValuesInfo_ = std::move(info).value();
      SettingsFileReading values;
      values.document = defaultValuesInfo_->preferenceValues;
      dropUnreadableValues(values);
      const PreferencesStorage builtIn;
      applySettingsDocument(*defaults_, values.document, builtIn);
    } else {
      Logger::shared().log(kAuthor, "load()",
                           "The default values cannot be read: " + info.error().oneLine());
    }
  }
  ZK_TRY(loadSettings());
  ZK_TRY(openStore());
  updateExtendedPreferences();
  return success();
}

Result<void> PreferencesController::loadSettings() {
  ZK_ASSIGN_OR_RETURN(auto reading, readSettingsFile(locations_.settingsFile));
  const auto needsWriting = [](const SettingsFileReading& read) {
    return read.existed && (read.isDamaged() || read.migrated);
  };
  // A file to set aside or rewrite is read again under the lock, so that of two programs starting
  // at once only one does it. Without a lock (a folder that cannot be written) it is only read.
  std::optional<FileLock> lock;
  if (needsWriting(reading)) {
    if (auto locked = FileLock::lock(locations_.settingsFile + ".lock", "zarnik settings");
        locked.hasValue()) {
      lock.emplace(std::move(locked).value());
      ZK_ASSIGN_OR_RETURN(reading, readSettingsFile(locations_.settingsFile));
    }
  }
  applySettingsDocument(*storage_, reading.document, *defaults_);
  if (!lock || !needsWriting(reading)) return success();
  if (reading.isDamaged()) {
    ZK_ASSIGN_OR_RETURN(auto aside, moveStoreAside(locations_.settingsFile));
    const std::string reason =
        reading.problem.empty() ? "values of the wrong type or out of range" : reading.problem;
    notices_.push_back(fmt::format(
        "the settings file {} could not be read ({}); it was moved to {} and the defaults "
        "apply to {}",
        locations_.settingsFile, reason, aside, whatFellBack(reading)));
  }
  return writeSettingsFile(locations_.settingsFile, settingsDocument(*storage_, reading.document));
}

Result<void> PreferencesController::openStore() {
  bool created = true;
  std::shared_ptr<PersistentStore> store;
  if (locations_.storeFile) {
    ZK_TRY(xdg::makeDirectories(folderOf(*locations_.storeFile)));
    ZK_ASSIGN_OR_RETURN(store, OVPersistentStoreSpecification::diskPersistentStore(
                                   ManagedObjectModel::preferencesModel(), *locations_.storeFile)
                                   .buildPersistentStore());
    created = store->wasCreated();
    if (store->movedAsideTo()) {
      notices_.push_back(fmt::format(
          "the ignore list and selection rules in {} could not be read; the file was moved "
          "to {} and the default lists apply",
          *locations_.storeFile, *store->movedAsideTo()));
    }
  } else {
    ZK_ASSIGN_OR_RETURN(store, OVPersistentStoreSpecification::ramPersistentStore(
                                   ManagedObjectModel::preferencesModel())
                                   .buildPersistentStore());
  }
  ZK_ASSIGN_OR_RETURN(context_, PreferencesModelContext::make(std::move(store)));
  // A first launch starts with the default lists.
  if (created) ZK_TRY(fillListsFromDefaults(true, true));
  return reloadLists();
}

Result<void> PreferencesController::fillListsFromDefaults(bool ignoreItems, bool selectionRules) {
  if (!defaultValuesInfo_) return success();
  const DefaultValuesInfo& info = *defaultValuesInfo_;
  return context_->performTransaction([&]() -> Result<void> {
    if (ignoreItems) {
      for (const auto& item : info.ignoredNodes) ZK_TRY(context_->insertIgnoreItem(item));
      for (const auto& item : info.ignoredExtensions) ZK_TRY(context_->insertIgnoreItem(item));
    }
    if (selectionRules) {
      for (const auto& rule : info.alwaysSelectionRules)
        ZK_TRY(context_->insertSelectionRule(rule));
      for (const auto& rule : info.neverSelectionRules) ZK_TRY(context_->insertSelectionRule(rule));
      for (const auto& rule : info.smartSelectionRules)
        ZK_TRY(context_->insertSmartSelectionRule(rule));
    }
    return success();
  });
}

Result<void> PreferencesController::reloadLists() {
  ZK_ASSIGN_OR_RETURN(lists_.ignoreItems, context_->fetchIgnoreItems());
  ZK_ASSIGN_OR_RETURN(lists_.selectionRules, context_->fetchSelectionRules());
  ZK_ASSIGN_OR_RETURN(lists_.smartSelectionRules, context_->fetchSmartSelectionRules());
  updateExtendedPreferences();
  return success();
}

Result<void> PreferencesController::change(
    const std::function<Result<void>(PreferencesStorage&)>& edit) {
  if (storeSuppressionCounter_ > 0) {
    ZK_TRY(edit(*storage_));
    suppressedEdits_.push_back(edit);
    return success();
  }
  return replayOnFile({edit});
}

Result<void> PreferencesController::replayOnFile(
    const std::vector<std::function<Result<void>(PreferencesStorage&)>>& edits) {
  ZK_TRY(xdg::makeDirectories(folderOf(locations_.settingsFile)));
  ZK_ASSIGN_OR_RETURN(auto lock,
                      FileLock::lock(locations_.settingsFile + ".lock", "zarnik settings"));
  ZK_ASSIGN_OR_RETURN(auto reading, readSettingsFile(locations_.settingsFile));
  if (reading.isDamaged()) {
    // Damaged since this process read it: set aside as at start, so that nothing is lost unseen.
    ZK_ASSIGN_OR_RETURN(auto aside, moveStoreAside(locations_.settingsFile));
    notices_.push_back(fmt::format("the settings file {} could not be read; it was moved to {}",
                                   locations_.settingsFile, aside));
  }
  applySettingsDocument(*storage_, reading.document, *defaults_);
  for (const auto& edit : edits) ZK_TRY(edit(*storage_));
  storage_->mixedPreferences()->setValueForKey("lastPreferencesMigrationAtVersionString",
                                               std::string(kSettingsVersion));
  ZK_TRY(writeSettingsFile(locations_.settingsFile, settingsDocument(*storage_, reading.document)));
  updateExtendedPreferences();
  return success();
}

Result<void> PreferencesController::setValue(std::string_view key, const Json& value) {
  const SettingDescription* setting = findSetting(key);
  if (setting == nullptr) return unknownKey(key);
  ZK_TRY(checkSettingValue(*setting, value));
  return change([setting, value](PreferencesStorage& storage) -> Result<void> {
    ownerOf(storage, *setting).setValueForKey(setting->name, value);
    return success();
  });
}

Result<void> PreferencesController::resetValue(std::string_view key) {
  const SettingDescription* setting = findSetting(key);
  if (setting == nullptr) return unknownKey(key);
  const Json value = ownerOf(*defaults_, *setting).valueForKey(setting->name);
  return change([setting, value](PreferencesStorage& storage) -> Result<void> {
    ownerOf(storage, *setting).setValueForKey(setting->name, value);
    return success();
  });
}

Result<void> PreferencesController::restoreDefaultPropertyValues() {
  return change([this](PreferencesStorage& storage) -> Result<void> {
    applySettingsDocument(storage, Json::object(), *defaults_);
    return success();
  });
}

PreferencesController::StoringSuppression PreferencesController::suppressStoring() {
  ++storeSuppressionCounter_;
  return StoringSuppression(this);
}

PreferencesController::StoringSuppression::~StoringSuppression() {
  if (controller_ != nullptr) controller_->endSuppression();
}

void PreferencesController::endSuppression() {
  if (--storeSuppressionCounter_ > 0) return;
  auto edits = std::move(suppressedEdits_);
  suppressedEdits_.clear();
  if (!edits.empty()) {
    if (auto written = replayOnFile(edits); written.hasError()) {
      Logger::shared().log(kAuthor, "endSuppression()",
                           "The settings cannot be stored: " + written.error().oneLine());
    }
  }
  updateExtendedPreferences();
}

ObservationToken PreferencesController::observe(std::string_view key, Executor& executor,
                                                std::function<void(const Json&)> handler) {
  const auto dot = key.find('.');
  std::shared_ptr<BaseStorage> owner = storage_;
  std::string name(key);
  if (dot != std::string_view::npos) {
    owner = storage_->substorage(key.substr(0, dot));
    name = std::string(key.substr(dot + 1));
  }
  if (!owner) return {};
  return owner->observeChanges([name, &executor, handler = std::move(handler)](
                                   const std::string& changed, const Json& value) {
    if (changed != name) return;
    executor.execute([handler, value] { handler(value); });
  });
}

void PreferencesController::updateExtendedPreferences() {
  if (storeSuppressionCounter_ > 0) return;
  extended_ = buildExtendedPreferences(*storage_, lists_, resolver_);
}

}  // namespace zarnik
