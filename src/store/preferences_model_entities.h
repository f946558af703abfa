// The records of the "PreferencesModel" store: the ignore list (items that name one path, and
// groups of extensions), the always- and never-select folders and the smart selection rules,
// each with its JSON form as the default-values description and the exports write it.
#pragma once

#include "base/json.h"
#include "base/result.h"
#include "selection/selection_rules.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zarnik {

struct ZKIgnoreItem {
  enum class Kind { node, extensionGroup };

  std::int64_t identifier = 0;  // the store's key; 0 for an item not stored yet
  Kind kind = Kind::node;
  bool enabled = true;
  bool editable = true;
  bool hidden = false;
  std::int64_t order = 0;
  std::string rawMembershipMode = "Regular";
  std::string path;                                // node items: abbreviated
  std::vector<std::string> forceWhitelistedPaths;  // node items: abbreviated paths still walked
  std::vector<std::string> pathExtensions;         // extension groups: lower case, no dot

  // {"enabled", "editable", "hidden", "membershipMode"} and "path" or "pathExtensions".
  [[nodiscard]] Json json() const;
  // Fails with "Invalid ... json ..." naming the offending value.
  static Result<ZKIgnoreItem> fromJson(const Json& json, Kind kind);
};

struct ZKSelectionRule {
  enum class Kind { always, never };

  std::int64_t identifier = 0;
  Kind kind = Kind::always;
  bool enabled = true;
  bool hidden = false;
  std::int64_t order = 0;
  std::string path;  // abbreviated

  // {"enabled", "hidden", "path"}
  [[nodiscard]] Json json() const;
  static Result<ZKSelectionRule> fromJson(const Json& json, Kind kind);
};

struct ZKSmartSelectionRule {
  std::int64_t identifier = 0;
  std::int64_t order = 0;
  SmartSelectionRuleInfo ruleInfo{SmartSelectionRule(SmartSelectionRule::Kind::nonLoved), true};

  [[nodiscard]] bool isEnabled() const { return ruleInfo.isEnabled; }
  // The rule information's own JSON form.
  [[nodiscard]] Json json() const { return ruleInfo.encode(); }
  static Result<ZKSmartSelectionRule> fromJson(const Json& json);
};

[[nodiscard]] std::string_view identifier(ZKSelectionRule::Kind kind);  // "always", "never"

}  // namespace zarnik
