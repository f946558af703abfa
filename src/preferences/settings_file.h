// The settings file ($XDG_CONFIG_HOME/zarnik/settings.json): the settings storage in its JSON
// form, keyed by property name, one nested object per sub-storage, indented for people to read.
//
// Reading is tolerant: a key whose value cannot be read (a wrong type, a value out of range, a
// file cut off before it) is left out and listed as damaged, so that its default applies while
// every readable key keeps its value; keys this version does not know are kept as they are and
// written back. A file written by an older version is migrated first (see settings_migration.h).
#pragma once

#include "base/json.h"
#include "base/result.h"
#include "preferences/preferences_storage.h"

#include <string>
#include <vector>

namespace zarnik {

// Files larger than this are not settings files; a megabyte is a thousand times what one holds.
inline constexpr size_t kMaximumSettingsFileSize = size_t{1} << 20;

struct SettingsFileReading {
  bool existed = false;
  // Declared keys with readable values, and unknown keys as they were.
  Json document = Json::object();
  // Declared keys whose stored values could not be read ("scanRules.rawImageMatchThreshold").
  std::vector<std::string> damagedKeys;
  // The file as a whole could not be read (not JSON, cut off, not an object): why.
  std::string problem;
  bool migrated = false;

  [[nodiscard]] bool isDamaged() const { return !problem.empty() || !damagedKeys.empty(); }
};

// Leaves out of `reading.document` every declared value that cannot be read, and lists its key.
void dropUnreadableValues(SettingsFileReading& reading);
// Reads settings text; never fails (a missing file is an empty, undamaged reading).
[[nodiscard]] SettingsFileReading readSettingsText(std::string_view text);
// Reads the file; an error only when it exists but cannot be opened or read at all.
[[nodiscard]] Result<SettingsFileReading> readSettingsFile(const std::string& path);

// Sets every declared value of `storage` from `document`, the value of `defaults` where the
// document has none. Values are assumed checked (as readSettingsText leaves them).
void applySettingsDocument(PreferencesStorage& storage, const Json& document,
                           const PreferencesStorage& defaults);
// `carrier` (the document read, with its unknown keys) with every declared key set from `storage`.
[[nodiscard]] Json settingsDocument(const PreferencesStorage& storage, const Json& carrier);
// Writes the document through a temporary file, synced, then renamed over `path`.
Result<void> writeSettingsFile(const std::string& path, const Json& document);

}  // namespace zarnik
