// The typed catalogue of every stored setting, as a person names it on the command line
// ("scanRules.exactMatchEnabled", "mixedPreferences.schedulePeriodOption"): its type, its range,
// how command-line text becomes its stored JSON value and back, and the check a stored value must
// pass. Every declared property of the settings storage and of its sub-storages is in it.
#pragma once

#include "base/json.h"
#include "base/result.h"

#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace zarnik {

enum class SettingType {
  boolean,
  integer,  // whole number within [minimum, maximum]
  number,   // any finite number within [minimum, maximum]
  text,
  choice,         // stored as its position in `choices`, given as its name or position
  date,           // stored as seconds since 1970, given as "2026-12-06T18:00:00Z" or "2026-12-06"
  optionalDate,   // a date or none
  dimensions,     // {"width", "height"}, given as "800x600"
  sizeThreshold,  // {"kind": "automatic"} or {"kind": "size", "size": bytes}, given as "auto" or
                  // bytes
  structure,      // any other JSON value, given as JSON text
};

struct SettingDescription {
  std::string key;    // "owner.name", or "name" for a property of the settings storage itself
  std::string owner;  // the sub-storage's name; empty at the top
  std::string name;   // the property's name
  SettingType type = SettingType::structure;
  double minimum = 0;
  double maximum = std::numeric_limits<double>::max();
  std::vector<std::string_view> choices;
  std::string shape;  // structures: an example of the form, or the JSON kind expected

  // "a boolean (true or false)", "an integer from 0 to 64", "one of never, weekly, ...", ...
  [[nodiscard]] std::string expectation() const;
};

[[nodiscard]] const std::vector<SettingDescription>& settingDescriptions();
// By full key, or by a property name that only one sub-storage has ("schedulePeriodOption").
[[nodiscard]] const SettingDescription* findSetting(std::string_view key);

// Whether a stored value is acceptable; the error names the key, the expected type and range.
[[nodiscard]] Result<void> checkSettingValue(const SettingDescription& setting, const Json& value);
// Command-line text to the stored value, checked.
[[nodiscard]] Result<Json> parseSettingText(const SettingDescription& setting,
                                            std::string_view text);
// The stored value as a person writes it on the command line.
[[nodiscard]] std::string settingText(const SettingDescription& setting, const Json& value);

// "2026-12-06T18:00:00Z", "2026-12-06T18:00:00" (taken as UTC) or "2026-12-06"; seconds since 1970.
[[nodiscard]] std::optional<double> parseIsoDate(std::string_view text);

}  // namespace zarnik
