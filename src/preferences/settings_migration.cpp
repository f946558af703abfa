#include "preferences/settings_migration.h"

#include "file_model/version.h"
#include "preferences/preferences_storage.h"

#include <functional>
#include <string>
#include <vector>

namespace zarnik {
namespace {

constexpr std::string_view kOldestLayout = "2.2.5";

Json* member(Json& document, std::string_view owner, std::string_view name) {
  auto outer = document.find(std::string(owner));
  if (outer == document.end() || !outer->is_object()) return nullptr;
  auto inner = outer->find(std::string(name));
  return inner == outer->end() ? nullptr : &*inner;
}

// Up to 2.2.5 the reminder period was kept by its name and the size threshold as a bare byte
// count or the word "automatic"; both are now kept in the form the rules objects read.
void keepEnumerationsByValue(Json& document) {
  if (Json* period = member(document, "mixedPreferences", "schedulePeriodOption");
      period && period->is_string()) {
    if (auto option = schedulePeriodOptionFromIdentifier(period->get<std::string>())) {
      *period = static_cast<std::int64_t>(*option);
    }
  }
  if (Json* threshold = member(document, "scanRules", "sizeThresholdOption")) {
    if (threshold->is_string() && threshold->get<std::string>() == "automatic") {
      *threshold = SizeThresholdOption::automatic().json();
    } else if (threshold->is_number_integer() && threshold->get<std::int64_t>() >= 0) {
      *threshold = SizeThresholdOption::size(threshold->get<std::int64_t>()).json();
    }
  }
}

struct MigrationStep {
  std::string_view version;
  std::function<void(Json&)> apply;
};

const std::vector<MigrationStep>& steps() {
  static const std::vector<MigrationStep> kSteps = {{"2.3.0", keepEnumerationsByValue}};
  return kSteps;
}

}  // namespace

bool migrateSettingsDocument(Json& document) {
  if (!document.is_object()) return false;
  std::string stored(kOldestLayout);
  if (Json* version =
          member(document, "mixedPreferences", "lastPreferencesMigrationAtVersionString");
      version && version->is_string()) {
    stored = version->get<std::string>();
  }
  const auto from = Version::parse(stored);
  const auto current = Version::parse(kSettingsVersion);
  // A version this program cannot read, or a newer one, is left alone: its values are read as
  // they are, and the unreadable ones fall back to their defaults.
  if (!from || !current || !(*from < *current)) return false;
  for (const auto& step : steps()) {
    if (auto target = Version::parse(step.version); target && *from < *target) step.apply(document);
  }
  if (!document.contains("mixedPreferences") || !document["mixedPreferences"].is_object()) {
    document["mixedPreferences"] = Json::object();
  }
  document["mixedPreferences"]["lastPreferencesMigrationAtVersionString"] =
      std::string(kSettingsVersion);
  return true;
}

}  // namespace zarnik
