// The default-values description: the settings a user starts with and the starting contents of
// the five lists, shipped with the program as resources/default-settings.json (installed under
// share/zarnik/). A JSON object with six keys: "preference values" (the settings storage in its
// JSON form) and "ignored extension", "ignored nodes", "always selection rules", "never selection
// rules" and "smart selection rules", each the items of that list in their JSON form, in order.
#pragma once

#include "base/json.h"
#include "base/result.h"
#include "store/preferences_model_entities.h"

#include <string>
#include <vector>

namespace zarnik {

struct DefaultValuesInfo {
  Json preferenceValues = Json::object();
  std::vector<ZKIgnoreItem> ignoredExtensions;
  std::vector<ZKIgnoreItem> ignoredNodes;
  std::vector<ZKSelectionRule> alwaysSelectionRules;
  std::vector<ZKSelectionRule> neverSelectionRules;
  std::vector<ZKSmartSelectionRule> smartSelectionRules;

  [[nodiscard]] Json json() const;
  // Fails on the first item that is not of its list's JSON form, with that item's error text.
  static Result<DefaultValuesInfo> fromJson(const Json& json);
  static Result<DefaultValuesInfo> fetchDefaultValuesInfoWithContentsURL(const std::string& path);
};

}  // namespace zarnik
