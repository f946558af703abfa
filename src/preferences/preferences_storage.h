// The stored settings: one PreferencesStorage holding three plain switches and four sub-storages,
// the plain values (MixedPreferences), the scan rules, the autoselection switches and the
// cleaning rules. Each is a BaseStorage, so every value has a declared name, type and default,
// a JSON form keyed by name, and a change notification that the outer storage repeats under the
// sub-storage's name.
//
// The defaults here are the ones a user starts with (every kind of matching on, the size
// threshold chosen automatically); the default-values description shipped with the program
// restates them and may change them.
//
// Thread safety: as BaseStorage (reads and writes lock; notifications on the writing thread).
#pragma once

#include "base/date.h"
#include "file_model/scan_rules.h"
#include "foundation/base_storage.h"
#include "selection/selection_rules.h"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zarnik {

// How often the user is reminded to look for duplicates; stored as its raw value.
enum class SchedulePeriodOption : std::int64_t {
  never = 0,
  weekly = 1,
  onceInTwoWeeks = 2,
  monthly = 3,
  onceInThreeMonths = 4,
  onceInSixMonths = 5,
  annually = 6,
};
inline constexpr std::array<std::string_view, 7> kSchedulePeriodIdentifiers = {
    "never",           "weekly",  "onceInTwoWeeks", "monthly", "onceInThreeMonths",
    "onceInSixMonths", "annually"};
[[nodiscard]] std::string_view identifier(SchedulePeriodOption option);
[[nodiscard]] std::string_view title(SchedulePeriodOption option);  // "Once in Two Weeks", ...
[[nodiscard]] std::optional<SchedulePeriodOption> schedulePeriodOptionFromIdentifier(
    std::string_view id);

// Whether the duplicates monitor may run: 0 not yet decided, 1 allowed, 2 refused.
inline constexpr std::array<std::string_view, 3> kMonitorPermissionIdentifiers = {
    "undecided", "allowed", "refused"};

class MixedPreferences : public BaseStorage {
 public:
  MixedPreferences();
  [[nodiscard]] const PropertyTable& propertyTable() const override;
  [[nodiscard]] std::string_view className() const override { return "MixedPreferences"; }
  [[nodiscard]] std::shared_ptr<BaseStorage> makeFresh() const override {
    return std::make_shared<MixedPreferences>();
  }

  [[nodiscard]] std::string lastPreferencesMigrationAtVersionString() const {
    return get<std::string>("lastPreferencesMigrationAtVersionString");
  }
  [[nodiscard]] SchedulePeriodOption schedulePeriodOption() const;
  [[nodiscard]] std::int64_t schedulerNumberOfCleanupsThreshold() const {
    return get<std::int64_t>("schedulerNumberOfCleanupsThreshold", 1);
  }
  [[nodiscard]] std::optional<Date> lastScanDate() const;
  [[nodiscard]] std::int64_t duplicatesMonitorPermission() const {
    return get<std::int64_t>("duplicatesMonitorPermission");
  }
  // True exactly when the permission is 1; setting it stores 1 or 2.
  // The files the duplicates monitor holds at most.
  [[nodiscard]] std::int64_t duplicatesMonitorNodeLimit() const {
    return get<std::int64_t>("duplicatesMonitorNodeLimit", 100000);
  }
  [[nodiscard]] bool isDuplicatesMonitorEnabled() const {
    return duplicatesMonitorPermission() == 1;
  }
  void setDuplicatesMonitorEnabled(bool enabled) {
    set("duplicatesMonitorPermission", enabled ? 1 : 2);
  }
  void setSchedulePeriodOption(SchedulePeriodOption option) {
    set("schedulePeriodOption", static_cast<std::int64_t>(option));
  }
  void setLastScanDate(std::optional<Date> date);

 protected:
  // Observers of "isDuplicatesMonitorEnabled" hear of every change of the permission.
  void didChangeValueForKey(const std::string& key) override;
};

// The three switches of AutoselectionRules as a stored object.
class AutoselectionRulesStorage : public BaseStorage {
 public:
  AutoselectionRulesStorage();
  [[nodiscard]] const PropertyTable& propertyTable() const override;
  [[nodiscard]] std::string_view className() const override { return "AutoselectionRules"; }
  [[nodiscard]] std::shared_ptr<BaseStorage> makeFresh() const override {
    return std::make_shared<AutoselectionRulesStorage>();
  }
  [[nodiscard]] AutoselectionRules rules() const;
};

// CleaningRules as a stored object; values that CleaningRules cannot read are refused.
class CleaningRulesStorage : public BaseStorage {
 public:
  CleaningRulesStorage();
  [[nodiscard]] const PropertyTable& propertyTable() const override;
  [[nodiscard]] std::string_view className() const override { return "CleaningRules"; }
  [[nodiscard]] std::shared_ptr<BaseStorage> makeFresh() const override {
    return std::make_shared<CleaningRulesStorage>();
  }
  [[nodiscard]] CleaningRules rules() const;
};

// The duplicates monitor's crash guard: store operations under way (above 0 only while one
// runs) and launches in a row that followed a crash inside one.
inline constexpr std::string_view kOngoingMonitorStoreOperationsKey =
    "DuplicatesMonitorCrashHandler.ongoingDMOperationsCount";
inline constexpr std::string_view kConsecutiveMonitorCrashesKey =
    "DuplicatesMonitorCrashHandler.consecutiveDMCrashesCount";

class PreferencesStorage : public BaseStorage {
 public:
  PreferencesStorage();
  [[nodiscard]] const PropertyTable& propertyTable() const override;
  [[nodiscard]] std::string_view className() const override { return "PreferencesStorage"; }
  [[nodiscard]] std::shared_ptr<BaseStorage> makeFresh() const override {
    return std::make_shared<PreferencesStorage>();
  }

  [[nodiscard]] bool developerMode() const { return get<bool>("developerMode"); }
  [[nodiscard]] std::int64_t ongoingMonitorStoreOperations() const {
    return get<std::int64_t>(kOngoingMonitorStoreOperationsKey);
  }
  [[nodiscard]] std::int64_t consecutiveMonitorCrashes() const {
    return get<std::int64_t>(kConsecutiveMonitorCrashesKey);
  }
  [[nodiscard]] std::shared_ptr<MixedPreferences> mixedPreferences() const;
  [[nodiscard]] std::shared_ptr<ScanRules> scanRules() const;
  [[nodiscard]] std::shared_ptr<AutoselectionRulesStorage> autoselectionRules() const;
  [[nodiscard]] std::shared_ptr<CleaningRulesStorage> cleaningRules() const;
};

// The scan rules a user starts with: every kind of matching on, the size threshold automatic.
[[nodiscard]] std::shared_ptr<ScanRules> makeStartingScanRules();

}  // namespace zarnik
