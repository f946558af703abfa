#include "preferences/preferences_storage.h"

#include <cmath>

namespace zarnik {
namespace {

// 0001-01-01T00:00:00Z, the date before every other that the settings keep.
constexpr double kDistantPast = -62135596800.0;

PropertyMetainfo property(std::string name, Json defaultValue, std::vector<std::string> classes) {
  PropertyMetainfo meta;
  meta.name = std::move(name);
  meta.defaultValue = std::move(defaultValue);
  meta.classes = std::move(classes);
  meta.isMigrationEnabled = true;
  return meta;
}
PropertyMetainfo boolean(std::string name, bool value) {
  return property(std::move(name), value, {"boolean"});
}
PropertyMetainfo number(std::string name, Json value) {
  return property(std::move(name), std::move(value), {"number"});
}
PropertyMetainfo text(std::string name, std::string value) {
  return property(std::move(name), std::move(value), {"string"});
}
template <typename Storage>
PropertyMetainfo substorageProperty(
    std::string name, std::function<std::shared_ptr<BaseStorage>()> factory = nullptr) {
  PropertyMetainfo meta;
  meta.name = std::move(name);
  meta.substorageFactory =
      factory ? std::move(factory) : [] { return std::make_shared<Storage>(); };
  return meta;
}

// Refuses a stored value that CleaningRules would not read.
ValueTransformer cleaningFieldTransformer(std::string field) {
  return ValueTransformer{[](const Json& value) { return value; },
                          [field](const Json& stored) -> std::optional<Json> {
                            if (CleaningRules::decode(Json{{field, stored}}).hasError())
                              return std::nullopt;
                            return stored;
                          }};
}

const ValueTransformer kWindowSizeTransformer{[](const Json& value) { return value; },
                                              [](const Json& stored) -> std::optional<Json> {
                                                auto size = ImageSize::decode(stored);
                                                if (!size || size->width < 0 || size->height < 0)
                                                  return std::nullopt;
                                                return size->encode();
                                              }};

}  // namespace

std::string_view identifier(SchedulePeriodOption option) {
  const auto raw = static_cast<size_t>(option);
  return raw < kSchedulePeriodIdentifiers.size() ? kSchedulePeriodIdentifiers[raw] : "monthly";
}

std::string_view title(SchedulePeriodOption option) {
  static constexpr std::array<std::string_view, 7> kTitles = {"Never",
                                                              "Weekly",
                                                              "Once in Two Weeks",
                                                              "Monthly",
                                                              "Once in Three Months",
                                                              "Once in Six Months",
                                                              "Annually"};
  const auto raw = static_cast<size_t>(option);
  return raw < kTitles.size() ? kTitles[raw] : "Monthly";
}

std::optional<SchedulePeriodOption> schedulePeriodOptionFromIdentifier(std::string_view id) {
  for (size_t i = 0; i < kSchedulePeriodIdentifiers.size(); ++i) {
    if (kSchedulePeriodIdentifiers[i] == id) return static_cast<SchedulePeriodOption>(i);
  }
  return std::nullopt;
}

MixedPreferences::MixedPreferences() { initializeDefaults(); }

const PropertyTable& MixedPreferences::propertyTable() const {
  static const PropertyTable kTable = [] {
    std::vector<PropertyMetainfo> list = {
        text("lastPreferencesMigrationAtVersionString", "2.2.5"),
        boolean("didRegisterServices", false),
        boolean("introShown", false),
        boolean("soundsEnabled", true),
        boolean("showingAchievementNotificationsEnabled", true),
        boolean("achievementIntroShown", false),
        boolean("canOpenITunesWithoutPermission", false),
        boolean("canOpenPhotosWithoutPermission", false),
        number("libraryOpeningAwaitingTimeout", 60.0),
        boolean("gridModeOfScanResults", false),
        property("detailedScanResultsWindowSize", Json{{"width", 0}, {"height", 0}}, {"object"}),
        boolean("suppressPhotosCleaningScreen", false),
        boolean("suppressPhotosKitCleaningScreen", false),
        boolean("suppressOriginalSelectionWarning", false),
        boolean("didShowSimilarsTipForTheFirstTime", false),
        boolean("userSeenDifferencesTip", false),
        number("schedulePeriodOption", static_cast<std::int64_t>(SchedulePeriodOption::monthly)),
        number("schedulerNumberOfCleanupsThreshold", 1),
        number("statusItemIcon", 0),
        number("totalSizeOfCleanedDuplicates", 0.0),
        number("totalSizeOfCleanedSimilars", 0.0),
        property("lastScanDate", nullptr, {"number"}),
        number("duplicatesMonitorNodeLimit", 100000),
        boolean("isDuplicatesNotificationEnabled", true),
        number("lastDuplicatesNotificationDate", kDistantPast),
        number("duplicatesMonitorPermission", 0),
        boolean("fallbackToPhotosAppCleaningPolicy", false),
    };
    for (auto& meta : list) {
      if (meta.name == "detailedScanResultsWindowSize") {
        meta.valueTransformerForCoding = &kWindowSizeTransformer;
        meta.valueTransformerForPlistTransformation = &kWindowSizeTransformer;
      }
    }
    return PropertyTable(std::move(list));
  }();
  return kTable;
}

SchedulePeriodOption MixedPreferences::schedulePeriodOption() const {
  const auto raw = get<std::int64_t>("schedulePeriodOption", 3);
  if (raw < 0 || raw >= static_cast<std::int64_t>(kSchedulePeriodIdentifiers.size()))
    return SchedulePeriodOption::monthly;
  return static_cast<SchedulePeriodOption>(raw);
}

std::optional<Date> MixedPreferences::lastScanDate() const {
  const Json value = valueForKey("lastScanDate");
  if (!value.is_number() || !std::isfinite(value.get<double>())) return std::nullopt;
  return dateFromSecondsSince1970(value.get<double>());
}

void MixedPreferences::setLastScanDate(std::optional<Date> date) {
  setValueForKey("lastScanDate", date ? Json(secondsSince1970(*date)) : Json(nullptr));
}

void MixedPreferences::didChangeValueForKey(const std::string& key) {
  if (key == "duplicatesMonitorPermission")
    postChange("isDuplicatesMonitorEnabled", isDuplicatesMonitorEnabled());
}

AutoselectionRulesStorage::AutoselectionRulesStorage() { initializeDefaults(); }

const PropertyTable& AutoselectionRulesStorage::propertyTable() const {
  static const PropertyTable kTable(
      {boolean("allowAutoselectionWithinHardlinkedGroups", false),
       boolean("allowSelectionOfMembersOfInvalidMediaLibraries", false),
       boolean("selectRandomAmongEqual", false)});
  return kTable;
}

AutoselectionRules AutoselectionRulesStorage::rules() const {
  AutoselectionRules rules;
  rules.allowAutoselectionWithinHardlinkedGroups =
      get<bool>("allowAutoselectionWithinHardlinkedGroups");
  rules.allowSelectionOfMembersOfInvalidMediaLibraries =
      get<bool>("allowSelectionOfMembersOfInvalidMediaLibraries");
  rules.selectRandomAmongEqual = get<bool>("selectRandomAmongEqual");
  return rules;
}

CleaningRulesStorage::CleaningRulesStorage() { initializeDefaults(); }

const PropertyTable& CleaningRulesStorage::propertyTable() const {
  static const ValueTransformer kOption = cleaningFieldTransformer("cleaningOption");
  static const ValueTransformer kOverrides =
      cleaningFieldTransformer("overridenCleaningOptionByVolumePath");
  static const PropertyTable kTable = [] {
    const CleaningRules defaults;
    std::vector<PropertyMetainfo> list = {
        boolean("isFakeRemove", defaults.isFakeRemove),
        boolean("removeEmptyDirectories", defaults.removeEmptyDirectories),
        property("cleaningOption", defaults.cleaningOption.encode(), {"object"}),
        boolean("shouldTryToReplaceRemovedDuplicatesWithHardLinkToOriginal",
                defaults.shouldTryToReplaceRemovedDuplicatesWithHardLinkToOriginal),
        property("overridenCleaningOptionByVolumePath", Json::object(), {"object"}),
    };
    list[2].valueTransformerForCoding = list[2].valueTransformerForPlistTransformation = &kOption;
    list[4].valueTransformerForCoding = list[4].valueTransformerForPlistTransformation =
        &kOverrides;
    return PropertyTable(std::move(list));
  }();
  return kTable;
}

CleaningRules CleaningRulesStorage::rules() const {
  auto decoded = CleaningRules::decode(exportJSON());
  return decoded.hasValue() ? decoded.value() : CleaningRules{};
}

std::shared_ptr<ScanRules> makeStartingScanRules() {
  auto rules = std::make_shared<ScanRules>();
  rules->setExactMatchEnabled(true);
  rules->setExactAudioContentMatchEnabled(true);
  rules->setDirectoriesMatchEnabled(true);
  rules->setApplicationsMatchEnabled(true);
  rules->setSimilarsDetectionEnabled(true);
  rules->setSimilarImagesMatchAllowed(true);
  rules->setSimilarAudioMatchAllowed(true);
  return rules;
}

PreferencesStorage::PreferencesStorage() { initializeDefaults(); }

const PropertyTable& PreferencesStorage::propertyTable() const {
  static const PropertyTable kTable({
      boolean("developerMode", false),
      boolean("analyticsSendingEnabled", false),
      boolean("loggingEventsEnabled", false),
      // The duplicates monitor's crash guard (monitor/duplicates_monitor_crash_handler.h).
      number(std::string(kOngoingMonitorStoreOperationsKey), 0),
      number(std::string(kConsecutiveMonitorCrashesKey), 0),
      substorageProperty<MixedPreferences>("mixedPreferences"),
      substorageProperty<ScanRules>("scanRules", [] { return makeStartingScanRules(); }),
      substorageProperty<AutoselectionRulesStorage>("autoselectionRules"),
      substorageProperty<CleaningRulesStorage>("cleaningRules"),
  });
  return kTable;
}

std::shared_ptr<MixedPreferences> PreferencesStorage::mixedPreferences() const {
  return std::static_pointer_cast<MixedPreferences>(substorage("mixedPreferences"));
}
std::shared_ptr<ScanRules> PreferencesStorage::scanRules() const {
  return std::static_pointer_cast<ScanRules>(substorage("scanRules"));
}
std::shared_ptr<AutoselectionRulesStorage> PreferencesStorage::autoselectionRules() const {
  return std::static_pointer_cast<AutoselectionRulesStorage>(substorage("autoselectionRules"));
}
std::shared_ptr<CleaningRulesStorage> PreferencesStorage::cleaningRules() const {
  return std::static_pointer_cast<CleaningRulesStorage>(substorage("cleaningRules"));
}

}  // namespace zarnik
