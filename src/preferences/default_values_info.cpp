#include "preferences/default_values_info.h"

#include "platform/file_reading.h"
#include "preferences/tolerant_json_reader.h"

namespace zarnik {
namespace {

template <typename Item>
Json listJson(const std::vector<Item>& items) {
  Json list = Json::array();
  for (const auto& item : items) list.push_back(item.json());
  return list;
}

template <typename Item, typename Read>
Result<std::vector<Item>> readList(const Json& json, std::string_view key, Read read) {
  std::vector<Item> items;
  const Json* list = jsonMember(json, key);
  if (list == nullptr) return items;
  if (!list->is_array())
    return Error::generic(std::string("Invalid default values json: \"") + std::string(key) +
                          "\" is not a list");
  for (const auto& value : *list) {
    ZK_ASSIGN_OR_RETURN(auto item, read(value));
    items.push_back(std::move(item));
  }
  return items;
}

}  // namespace

Json DefaultValuesInfo::json() const {
  return Json{{"preference values", preferenceValues},
              {"ignored extension", listJson(ignoredExtensions)},
              {"ignored nodes", listJson(ignoredNodes)},
              {"always selection rules", listJson(alwaysSelectionRules)},
              {"never selection rules", listJson(neverSelectionRules)},
              {"smart selection rules", listJson(smartSelectionRules)}};
}

Result<DefaultValuesInfo> DefaultValuesInfo::fromJson(const Json& json) {
  if (!json.is_object()) return Error::generic("Invalid default values json: not an object");
  DefaultValuesInfo info;
  if (const Json* values = jsonMember(json, "preference values")) {
    if (!values->is_object())
      return Error::generic("Invalid default values json: \"preference values\" is not an object");
    info.preferenceValues = *values;
  }
  using Kind = ZKIgnoreItem::Kind;
  ZK_ASSIGN_OR_RETURN(info.ignoredExtensions,
                      readList<ZKIgnoreItem>(json, "ignored extension", [](const Json& item) {
                        return ZKIgnoreItem::fromJson(item, Kind::extensionGroup);
                      }));
  ZK_ASSIGN_OR_RETURN(info.ignoredNodes,
                      readList<ZKIgnoreItem>(json, "ignored nodes", [](const Json& item) {
                        return ZKIgnoreItem::fromJson(item, Kind::node);
                      }));
  ZK_ASSIGN_OR_RETURN(
      info.alwaysSelectionRules,
      readList<ZKSelectionRule>(json, "always selection rules", [](const Json& item) {
        return ZKSelectionRule::fromJson(item, ZKSelectionRule::Kind::always);
      }));
  ZK_ASSIGN_OR_RETURN(
      info.neverSelectionRules,
      readList<ZKSelectionRule>(json, "never selection rules", [](const Json& item) {
        return ZKSelectionRule::fromJson(item, ZKSelectionRule::Kind::never);
      }));
  ZK_ASSIGN_OR_RETURN(
      info.smartSelectionRules,
      readList<ZKSmartSelectionRule>(json, "smart selection rules", [](const Json& item) {
        return ZKSmartSelectionRule::fromJson(item);
      }));
  return info;
}

Result<DefaultValuesInfo> DefaultValuesInfo::fetchDefaultValuesInfoWithContentsURL(
    const std::string& path) {
  ZK_ASSIGN_OR_RETURN(auto text, readWholeFile(path, size_t{1} << 20));
  auto reading = readJsonTolerantly(text);
  if (!reading.complete)
    return Error::generic("The default values are not valid JSON.", path)
        .withUnderlying(reading.problem);
  auto info = fromJson(reading.value);
  if (info.hasError()) return info.error().withPath(path);
  return info;
}

}  // namespace zarnik
