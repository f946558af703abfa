#include "preferences/setting_descriptions.h"

#include "base/date.h"
#include "preferences/preferences_storage.h"
#include "preferences/tolerant_json_reader.h"

#include <fmt/format.h>

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>

namespace zarnik {
namespace {

constexpr double kLargestCount = 9223372036854775807.0;

struct Refinement {
  SettingType type;
  double minimum = 0;
  double maximum = std::numeric_limits<double>::max();
  std::vector<std::string_view> choices = {};
};

// What the storage's JSON kinds do not say: enumerations, dates, sizes and sensible ranges.
const std::map<std::string, Refinement, std::less<>>& refinements() {
  static const std::map<std::string, Refinement, std::less<>> kRefinements = {
      {"mixedPreferences.schedulePeriodOption",
       {SettingType::choice,
        0,
        6,
        {kSchedulePeriodIdentifiers.begin(), kSchedulePeriodIdentifiers.end()}}},
      {"mixedPreferences.duplicatesMonitorPermission",
       {SettingType::choice,
        0,
        2,
        {kMonitorPermissionIdentifiers.begin(), kMonitorPermissionIdentifiers.end()}}},
      {std::string(kOngoingMonitorStoreOperationsKey), {SettingType::integer, 0, 1'000'000}},
      {std::string(kConsecutiveMonitorCrashesKey), {SettingType::integer, 0, 1'000'000}},
      {"mixedPreferences.lastScanDate", {SettingType::optionalDate}},
      {"mixedPreferences.lastDuplicatesNotificationDate", {SettingType::date}},
      {"mixedPreferences.detailedScanResultsWindowSize", {SettingType::dimensions}},
      {"mixedPreferences.libraryOpeningAwaitingTimeout", {SettingType::number, 0, 86400}},
      {"mixedPreferences.duplicatesMonitorNodeLimit", {SettingType::integer, 1, 100'000'000}},
      {"mixedPreferences.schedulerNumberOfCleanupsThreshold", {SettingType::integer, 0, 1'000'000}},
      {"mixedPreferences.statusItemIcon", {SettingType::integer, 0, 100}},
      {"mixedPreferences.totalSizeOfCleanedDuplicates", {SettingType::number, 0, kLargestCount}},
      {"mixedPreferences.totalSizeOfCleanedSimilars", {SettingType::number, 0, kLargestCount}},
      {"scanRules.sizeThresholdOption", {SettingType::sizeThreshold, 0, kLargestCount}},
      {"scanRules.similarImageSizeThreshold", {SettingType::dimensions}},
      {"scanRules.rawImageMatchThreshold", {SettingType::integer, 0, 64}},
      {"scanRules.preciseImageMatchThreshold", {SettingType::integer, 0, 64}},
      {"scanRules.limitOfCandidatesForPreciseImageMatch", {SettingType::integer, 1, 1000}},
      {"scanRules.preciseProprtionMatchThreshold", {SettingType::number, 0, 1}},
      {"scanRules.similarAudioMetadataThreshold", {SettingType::number, 0, 1}},
      {"scanRules.similarAudioDurationThreshold", {SettingType::number, 0, 3600}},
      {"scanRules.maximumSizeFractionToSacrificeOfAutomaticSizeThresholdEvaluation",
       {SettingType::number, 0, 1}},
  };
  return kRefinements;
}

SettingDescription describe(std::string owner, const PropertyMetainfo& meta) {
  SettingDescription setting;
  setting.owner = std::move(owner);
  setting.name = meta.name;
  setting.key = setting.owner.empty() ? meta.name : setting.owner + "." + meta.name;
  if (auto it = refinements().find(setting.key); it != refinements().end()) {
    setting.type = it->second.type;
    setting.minimum = it->second.minimum;
    setting.maximum = it->second.maximum;
    setting.choices = it->second.choices;
    return setting;
  }
  const auto& classes = meta.classes;
  if (classes == std::vector<std::string>{"boolean"}) {
    setting.type = SettingType::boolean;
  } else if (classes == std::vector<std::string>{"string"}) {
    setting.type = SettingType::text;
  } else if (classes == std::vector<std::string>{"number"}) {
    const bool whole = meta.defaultValue && meta.defaultValue->is_number_integer();
    setting.type = whole ? SettingType::integer : SettingType::number;
    setting.maximum = whole ? kLargestCount : std::numeric_limits<double>::max();
  } else if (meta.defaultValue && !meta.defaultValue->is_null() && !meta.defaultValue->empty()) {
    setting.shape = "JSON like " + dumpJson(*meta.defaultValue);
  } else {
    setting.shape = classes.empty() ? std::string("JSON") : "a JSON " + classes.front();
  }
  return setting;
}

std::vector<SettingDescription> describeAll() {
  const PreferencesStorage prototype;
  std::vector<SettingDescription> all;
  for (const PropertyMetainfo& meta : prototype.propertyTable().propertyMetainfos()) {
    if (!meta.isSubstorage()) {
      all.push_back(describe({}, meta));
      continue;
    }
    for (const PropertyMetainfo& inner :
         prototype.substorage(meta.name)->propertyTable().propertyMetainfos()) {
      all.push_back(describe(meta.name, inner));
    }
  }
  return all;
}

// 2^63 and beyond are the limits of 64-bit numbers, not limits a person would set.
bool isUnbounded(double maximum) { return maximum >= 9.2e18; }

std::string numberText(double value) {
  if (value == std::floor(value) && std::fabs(value) < 1e18)
    return fmt::format("{}", static_cast<std::int64_t>(value));
  return fmt::format("{}", value);
}

Error mismatch(const SettingDescription& setting, std::string_view given) {
  return Error::generic(fmt::format("{}: {} is not {}", setting.key, given, setting.expectation()));
}

// The storage's own checks (JSON kinds and value transformers) on a scratch object.
bool storageAccepts(const SettingDescription& setting, const Json& value) {
  static const PreferencesStorage prototype;
  const auto& owner = setting.owner.empty() ? static_cast<const BaseStorage&>(prototype)
                                            : *prototype.substorage(setting.owner);
  auto scratch = owner.makeFresh();
  return scratch->importJSON(Json{{setting.name, value}}).hasValue();
}

bool inRange(const SettingDescription& setting, const Json& value) {
  if (value.is_number_unsigned() &&
      value.get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX))
    return false;
  const double number = value.get<double>();
  return std::isfinite(number) && number >= setting.minimum && number <= setting.maximum;
}

bool hasExpectedShape(const SettingDescription& setting, const Json& value) {
  switch (setting.type) {
    case SettingType::boolean:
      return value.is_boolean();
    case SettingType::integer:
    case SettingType::choice:
      return value.is_number_integer() && inRange(setting, value);
    case SettingType::number:
      return value.is_number() && inRange(setting, value);
    case SettingType::text:
      return value.is_string();
    case SettingType::optionalDate:
      if (value.is_null()) return true;
      [[fallthrough]];
    case SettingType::date:
      return value.is_number() && std::isfinite(value.get<double>());
    case SettingType::dimensions: {
      const auto width = jsonInt(value, "width");
      const auto height = jsonInt(value, "height");
      return value.is_object() && value.size() == 2 && width && height && *width >= 0 &&
             *height >= 0;
    }
    case SettingType::sizeThreshold:
    case SettingType::structure:
      return true;  // the storage's transformers check these
  }
  return false;
}

std::optional<std::int64_t> wholeNumber(std::string_view text) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<double> anyNumber(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const std::string copy(text);
  char* end = nullptr;
  const double value = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<Json> parseShape(const SettingDescription& setting, std::string_view text) {
  switch (setting.type) {
    case SettingType::boolean:
      if (text == "true" || text == "yes" || text == "on" || text == "1") return Json(true);
      if (text == "false" || text == "no" || text == "off" || text == "0") return Json(false);
      return std::nullopt;
    case SettingType::integer:
      if (auto value = wholeNumber(text)) return Json(*value);
      return std::nullopt;
    case SettingType::number:
      if (auto value = anyNumber(text)) return Json(*value);
      return std::nullopt;
    case SettingType::text:
      return Json(std::string(text));
    case SettingType::choice:
      for (size_t i = 0; i < setting.choices.size(); ++i) {
        if (setting.choices[i] == text) return Json(static_cast<std::int64_t>(i));
      }
      if (auto value = wholeNumber(text)) return Json(*value);
      return std::nullopt;
    case SettingType::optionalDate:
      if (text == "none") return Json(nullptr);
      [[fallthrough]];
    case SettingType::date:
      if (auto seconds = parseIsoDate(text)) return Json(*seconds);
      return std::nullopt;
    case SettingType::dimensions: {
      const auto x = text.find('x');
      if (x == std::string_view::npos) return std::nullopt;
      auto width = wholeNumber(text.substr(0, x));
      auto height = wholeNumber(text.substr(x + 1));
      if (!width || !height) return std::nullopt;
      return Json{{"width", *width}, {"height", *height}};
    }
    case SettingType::sizeThreshold:
      if (text == "auto" || text == "automatic") return Json{{"kind", "automatic"}};
      if (text.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
      if (auto value = wholeNumber(text)) return Json{{"kind", "size"}, {"size", *value}};
      return std::nullopt;
    case SettingType::structure: {
      auto reading = readJsonTolerantly(text);
      if (!reading.complete) return std::nullopt;
      return std::move(reading.value);
    }
  }
  return std::nullopt;
}

}  // namespace

std::string SettingDescription::expectation() const {
  switch (type) {
    case SettingType::boolean:
      return "a boolean (true or false)";
    case SettingType::integer:
      if (isUnbounded(maximum))
        return fmt::format("an integer of at least {}", numberText(minimum));
      return fmt::format("an integer from {} to {}", numberText(minimum), numberText(maximum));
    case SettingType::number:
      if (isUnbounded(maximum)) return fmt::format("a number of at least {}", numberText(minimum));
      return fmt::format("a number from {} to {}", numberText(minimum), numberText(maximum));
    case SettingType::text:
      return "text";
    case SettingType::choice:
      return fmt::format("one of {}", fmt::join(choices, ", "));
    case SettingType::date:
      return "a date such as 2026-12-06T18:00:00Z";
    case SettingType::optionalDate:
      return "a date such as 2026-12-06T18:00:00Z, or none";
    case SettingType::dimensions:
      return "a size such as 800x600";
    case SettingType::sizeThreshold:
      if (isUnbounded(maximum)) return "auto or a byte count";
      return fmt::format("auto or a byte count from 0 to {}", numberText(maximum));
    case SettingType::structure:
      return shape;
  }
  return "a value";
}

const std::vector<SettingDescription>& settingDescriptions() {
  static const std::vector<SettingDescription> kAll = describeAll();
  return kAll;
}

const SettingDescription* findSetting(std::string_view key) {
  const SettingDescription* byName = nullptr;
  int namesakes = 0;
  for (const auto& setting : settingDescriptions()) {
    if (setting.key == key) return &setting;
    if (setting.name == key) {
      byName = &setting;
      ++namesakes;
    }
  }
  return namesakes == 1 ? byName : nullptr;
}

Result<void> checkSettingValue(const SettingDescription& setting, const Json& value) {
  if (!hasExpectedShape(setting, value) || !storageAccepts(setting, value)) {
    return mismatch(setting, dumpJson(value));
  }
  return success();
}

Result<Json> parseSettingText(const SettingDescription& setting, std::string_view text) {
  auto parsed = parseShape(setting, text);
  if (!parsed || !hasExpectedShape(setting, *parsed) || !storageAccepts(setting, *parsed)) {
    return mismatch(setting, text.empty() ? std::string_view("an empty value") : text);
  }
  return std::move(*parsed);
}

std::string settingText(const SettingDescription& setting, const Json& value) {
  switch (setting.type) {
    case SettingType::boolean:
      if (value.is_boolean()) return value.get<bool>() ? "true" : "false";
      break;
    case SettingType::integer:
    case SettingType::number:
      if (value.is_number()) return numberText(value.get<double>());
      break;
    case SettingType::text:
      if (value.is_string()) return value.get<std::string>();
      break;
    case SettingType::choice:
      if (value.is_number_integer()) {
        const auto raw = value.get<std::int64_t>();
        if (raw >= 0 && static_cast<size_t>(raw) < setting.choices.size())
          return std::string(setting.choices[raw]);
      }
      break;
    case SettingType::optionalDate:
      if (value.is_null()) return "none";
      [[fallthrough]];
    case SettingType::date:
      if (value.is_number()) return iso8601(dateFromSecondsSince1970(value.get<double>()));
      break;
    case SettingType::dimensions:
      if (auto width = jsonInt(value, "width"), height = jsonInt(value, "height");
          width && height) {
        return fmt::format("{}x{}", *width, *height);
      }
      break;
    case SettingType::sizeThreshold:
      if (jsonString(value, "kind") == "automatic") return "auto";
      if (auto size = jsonInt(value, "size")) return std::to_string(*size);
      break;
    case SettingType::structure:
      break;
  }
  return dumpJson(value);
}

std::optional<double> parseIsoDate(std::string_view text) {
  int year = 0;
  unsigned month = 0;
  unsigned day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  const std::string copy(text);
  int consumed = 0;
  if (std::sscanf(copy.c_str(), "%4d-%2u-%2u%n", &year, &month, &day, &consumed) != 3)
    return std::nullopt;
  std::string_view rest = text.substr(static_cast<size_t>(consumed));
  if (!rest.empty()) {
    int timeConsumed = 0;
    const std::string time(rest);
    if (std::sscanf(time.c_str(), "T%2d:%2d:%2d%n", &hour, &minute, &second, &timeConsumed) != 3)
      return std::nullopt;
    rest = rest.substr(static_cast<size_t>(timeConsumed));
    if (rest == "Z") rest = {};
    if (!rest.empty() || hour > 23 || minute > 59 || second > 60) return std::nullopt;
  }
  const std::chrono::year_month_day date{std::chrono::year(year), std::chrono::month(month),
                                         std::chrono::day(day)};
  if (!date.ok()) return std::nullopt;
  const auto days = std::chrono::sys_days(date).time_since_epoch().count();
  return static_cast<double>(days) * 86400.0 + hour * 3600 + minute * 60 + second;
}

}  // namespace zarnik
