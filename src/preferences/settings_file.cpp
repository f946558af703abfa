#include "preferences/settings_file.h"

#include "platform/file_reading.h"
#include "preferences/setting_descriptions.h"
#include "preferences/settings_migration.h"
#include "preferences/tolerant_json_reader.h"

#include <cerrno>

namespace zarnik {
namespace {

// Where a declared key lives in the document; nothing when it is not there.
const Json* storedValue(const Json& document, const SettingDescription& setting) {
  if (setting.owner.empty()) return jsonMember(document, setting.name);
  const Json* owner = jsonMember(document, setting.owner);
  return owner != nullptr && owner->is_object() ? jsonMember(*owner, setting.name) : nullptr;
}

void eraseValue(Json& document, const SettingDescription& setting) {
  if (setting.owner.empty()) {
    document.erase(setting.name);
    return;
  }
  auto owner = document.find(setting.owner);
  if (owner != document.end() && owner->is_object()) owner->erase(setting.name);
}

}  // namespace

void dropUnreadableValues(SettingsFileReading& reading) {
  for (const auto& setting : settingDescriptions()) {
    const Json* value = storedValue(reading.document, setting);
    if (value == nullptr) {
      // A sub-storage stored as something other than an object loses all its keys.
      const Json* owner =
          setting.owner.empty() ? nullptr : jsonMember(reading.document, setting.owner);
      if (owner != nullptr && !owner->is_object()) reading.damagedKeys.push_back(setting.key);
      continue;
    }
    if (checkSettingValue(setting, *value).hasError()) {
      reading.damagedKeys.push_back(setting.key);
      eraseValue(reading.document, setting);
    }
  }
  for (const auto& setting : settingDescriptions()) {
    if (setting.owner.empty()) continue;
    if (auto owner = reading.document.find(setting.owner);
        owner != reading.document.end() && !owner->is_object()) {
      reading.document.erase(owner);
    }
  }
}

SettingsFileReading readSettingsText(std::string_view text) {
  SettingsFileReading reading;
  reading.existed = true;
  auto parsed = readJsonTolerantly(text);
  if (!parsed.complete)
    reading.problem = parsed.problem.empty() ? "the file is not JSON" : parsed.problem;
  if (parsed.value.is_object()) {
    reading.document = std::move(parsed.value);
  } else if (reading.problem.empty()) {
    reading.problem = "the file does not hold an object of settings";
  }
  // Nothing read is nothing to migrate.
  if (!reading.document.empty()) reading.migrated = migrateSettingsDocument(reading.document);
  dropUnreadableValues(reading);
  return reading;
}

Result<SettingsFileReading> readSettingsFile(const std::string& path) {
  auto text = readWholeFile(path, kMaximumSettingsFileSize);
  if (text.hasError()) {
    if (text.error().domain == kPosixErrorDomain && text.error().code == ENOENT)
      return SettingsFileReading{};
    // Too large to be settings: read as a file of nothing readable.
    if (text.error().domain == kPosixErrorDomain && text.error().code == EFBIG) {
      SettingsFileReading reading = readSettingsText("");
      reading.problem = "the file is too large to hold settings";
      return reading;
    }
    return text.error();
  }
  return readSettingsText(text.value());
}

void applySettingsDocument(PreferencesStorage& storage, const Json& document,
                           const PreferencesStorage& defaults) {
  for (const auto& setting : settingDescriptions()) {
    const Json* value = storedValue(document, setting);
    auto& target = setting.owner.empty() ? static_cast<BaseStorage&>(storage)
                                         : *storage.substorage(setting.owner);
    const auto& fallback = setting.owner.empty() ? static_cast<const BaseStorage&>(defaults)
                                                 : *defaults.substorage(setting.owner);
    target.setValueForKey(setting.name,
                          value != nullptr ? *value : fallback.valueForKey(setting.name));
  }
}

Json settingsDocument(const PreferencesStorage& storage, const Json& carrier) {
  Json document = carrier.is_object() ? carrier : Json::object();
  for (const auto& setting : settingDescriptions()) {
    if (setting.owner.empty()) {
      document[setting.name] = storage.valueForKey(setting.name);
      continue;
    }
    if (!document.contains(setting.owner) || !document[setting.owner].is_object()) {
      document[setting.owner] = Json::object();
    }
    document[setting.owner][setting.name] =
        storage.substorage(setting.owner)->valueForKey(setting.name);
  }
  return document;
}

Result<void> writeSettingsFile(const std::string& path, const Json& document) {
  return writeFileAtomically(path, dumpJson(document, 2) + "\n");
}

}  // namespace zarnik
