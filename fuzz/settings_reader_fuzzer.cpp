// The settings file is read at every start and may be damaged in any way. Reading must never
// crash or hang; what it keeps must be what a program writes back and reads again unchanged, and
// a written file must read as whole, with nothing damaged.
#include "foundation/logger.h"
#include "preferences/settings_file.h"
#include "preferences/settings_migration.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] {
    zarnik::Logger::shared().setFilePath("");
    return true;
  }();
  (void)quiet;
  const auto reading =
      zarnik::readSettingsText(std::string_view(reinterpret_cast<const char*>(data), size));
  const zarnik::PreferencesStorage defaults;
  zarnik::PreferencesStorage storage;
  zarnik::applySettingsDocument(storage, reading.document, defaults);
  // As the program writes it: stamped with the layout it writes.
  storage.mixedPreferences()->setValueForKey("lastPreferencesMigrationAtVersionString",
                                             std::string(zarnik::kSettingsVersion));
  const zarnik::Json written = zarnik::settingsDocument(storage, reading.document);

  const auto again = zarnik::readSettingsText(zarnik::dumpJson(written, 2));
  if (!again.problem.empty() || !again.damagedKeys.empty()) std::abort();
  zarnik::PreferencesStorage reread;
  zarnik::applySettingsDocument(reread, again.document, defaults);
  if (reread.exportJSON() != storage.exportJSON()) std::abort();
  return 0;
}
