#include "store/preferences_model_entities.h"

#include "file_model/scan_rules.h"

#include <fmt/format.h>

namespace zarnik {
namespace {

// "Invalid ignore item json [...]", "Invalid node ignore item json object {...}", ...
Error invalid(std::string_view what, const Json& json, std::string_view form = {}) {
  return Error::generic(fmt::format("Invalid {} json{} {}", what, form, dumpJson(json)));
}

// Reads an optional boolean member; false when it is there with another type.
bool readSwitch(const Json& json, std::string_view key, bool& into) {
  const Json* member = jsonMember(json, key);
  if (member == nullptr) return true;
  if (!member->is_boolean()) return false;
  into = member->get<bool>();
  return true;
}

}  // namespace

std::string_view identifier(ZKSelectionRule::Kind kind) {
  return kind == ZKSelectionRule::Kind::always ? "always" : "never";
}

Json ZKIgnoreItem::json() const {
  Json json{{"enabled", enabled},
            {"editable", editable},
            {"hidden", hidden},
            {"membershipMode", rawMembershipMode}};
  if (kind == Kind::node) {
    json["path"] = bytesJson(path);
    if (!forceWhitelistedPaths.empty())
      json["forceWhitelistedPaths"] = bytesListJson(forceWhitelistedPaths);
  } else {
    json["pathExtensions"] = bytesListJson(pathExtensions);
  }
  return json;
}

Result<ZKIgnoreItem> ZKIgnoreItem::fromJson(const Json& json, Kind kind) {
  if (!json.is_object()) return invalid("ignore item", json);
  ZKIgnoreItem item;
  item.kind = kind;
  if (!readSwitch(json, "enabled", item.enabled) || !readSwitch(json, "editable", item.editable) ||
      !readSwitch(json, "hidden", item.hidden)) {
    return invalid("ignore item", json);
  }
  if (const Json* mode = jsonMember(json, "membershipMode")) {
    if (!mode->is_string() || !membershipModeFromIdentifier(mode->get<std::string>())) {
      return invalid("ignore item", json);
    }
    item.rawMembershipMode = mode->get<std::string>();
  }
  if (kind == Kind::node) {
    const Json* path = jsonMember(json, "path");
    auto bytes = path != nullptr ? bytesFromJson(*path) : std::nullopt;
    if (!bytes || bytes->empty()) return invalid("node ignore item", json, " object");
    item.path = std::move(*bytes);
    if (const Json* whitelisted = jsonMember(json, "forceWhitelistedPaths")) {
      auto paths = bytesListFromJson(*whitelisted);
      if (!paths) return invalid("node ignore item", json, " object");
      item.forceWhitelistedPaths = std::move(*paths);
    }
    return item;
  }
  const Json* extensions = jsonMember(json, "pathExtensions");
  auto list = extensions != nullptr ? bytesListFromJson(*extensions) : std::nullopt;
  if (!list) return invalid("extension ignore item group", json, " object");
  item.pathExtensions = std::move(*list);
  return item;
}

Json ZKSelectionRule::json() const {
  return Json{{"enabled", enabled}, {"hidden", hidden}, {"path", bytesJson(path)}};
}

Result<ZKSelectionRule> ZKSelectionRule::fromJson(const Json& json, Kind kind) {
  if (!json.is_object()) return invalid("selection rule", json);
  ZKSelectionRule rule;
  rule.kind = kind;
  if (!readSwitch(json, "enabled", rule.enabled) || !readSwitch(json, "hidden", rule.hidden)) {
    return invalid("selection rule", json);
  }
  const Json* path = jsonMember(json, "path");
  auto bytes = path != nullptr ? bytesFromJson(*path) : std::nullopt;
  if (!bytes || bytes->empty()) return invalid("selection rule", json);
  rule.path = std::move(*bytes);
  return rule;
}

Result<ZKSmartSelectionRule> ZKSmartSelectionRule::fromJson(const Json& json) {
  auto info = SmartSelectionRuleInfo::decode(json);
  if (!info) return invalid("smart selection rule", json);
  ZKSmartSelectionRule rule;
  rule.ruleInfo = std::move(*info);
  return rule;
}

}  // namespace zarnik
