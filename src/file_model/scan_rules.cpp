#include "file_model/scan_rules.h"

#include "base/byte_path.h"
#include "base/path_components.h"
#include "foundation/byte_count_formatter.h"

#include <fmt/format.h>

namespace zarnik {
namespace {

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
PropertyMetainfo object(std::string name, Json value) {
  return property(std::move(name), std::move(value), {"object"});
}

// Checks the shape of a value beyond its JSON kind when it is read back.
const ValueTransformer kSizeThresholdTransformer{[](const Json& value) { return value; },
                                                 [](const Json& stored) -> std::optional<Json> {
                                                   auto option =
                                                       SizeThresholdOption::fromJson(stored);
                                                   if (!option) return std::nullopt;
                                                   return option->json();
                                                 }};

const ValueTransformer kImageSizeTransformer{[](const Json& value) { return value; },
                                             [](const Json& stored) -> std::optional<Json> {
                                               auto size = ImageSize::decode(stored);
                                               if (!size) return std::nullopt;
                                               return size->encode();
                                             }};

const ValueTransformer kExclusionRulesTransformer{[](const Json& value) { return value; },
                                                  [](const Json& stored) -> std::optional<Json> {
                                                    if (!stored.is_object()) return std::nullopt;
                                                    for (const auto& [key, rule] : stored.items()) {
                                                      if (!ExclusionRule::fromJson(rule))
                                                        return std::nullopt;
                                                    }
                                                    return stored;
                                                  }};

std::map<std::string, std::string> stringMap(const Json& json) {
  std::map<std::string, std::string> map;
  if (!json.is_object()) return map;
  for (const auto& [key, value] : json.items()) {
    if (value.is_string()) map[key] = value.get<std::string>();
  }
  return map;
}

std::map<NodeType, Version> typedVersions(const std::map<std::string, std::string>& raw) {
  std::map<NodeType, Version> typed;
  for (const auto& [key, text] : raw) {
    auto type = nodeTypeFromRawValue(key);
    auto version = Version::parse(text);
    if (type && version) typed.emplace(*type, *version);
  }
  return typed;
}

std::map<std::string, ExclusionRule> rulesFrom(const Json& json, bool keysAreBytes) {
  std::map<std::string, ExclusionRule> rules;
  if (!json.is_object()) return rules;
  for (const auto& [key, value] : json.items()) {
    if (auto rule = ExclusionRule::fromJson(value)) {
      rules.emplace(keysAreBytes ? jsonTextToBytes(key) : key, std::move(*rule));
    }
  }
  return rules;
}

Json rulesJson(const std::map<std::string, ExclusionRule>& rules, bool keysAreBytes) {
  Json json = Json::object();
  for (const auto& [key, rule] : rules)
    json[keysAreBytes ? bytesToJsonText(key) : key] = rule.json();
  return json;
}

}  // namespace

const std::vector<SizeThresholdOption>& SizeThresholdOption::optionsAvailableToUser() {
  static const std::vector<SizeThresholdOption> kOptions = {
      automatic(),     size(0),         size(1000),       size(5000),
      size(1'000'000), size(5'000'000), size(50'000'000), size(200'000'000)};
  return kOptions;
}

std::string SizeThresholdOption::description() const {
  if (isAutomatic()) return "Pick Automatically";
  if (*bytes_ == 0) return "All Files";
  return formatByteCount(*bytes_);
}

std::string SizeThresholdOption::analyticsIdentifier() const {
  if (isAutomatic()) return "Automatic";
  switch (*bytes_) {
    case 0:
      return "None";
    case 1000:
      return "1 KB";
    case 5000:
      return "5 KB";
    case 1'000'000:
      return "1 MB";
    case 5'000'000:
      return "5 MB";
    case 50'000'000:
      return "50 MB";
    case 200'000'000:
      return "200 MB";
    default:
      return "Unknown";
  }
}

Json SizeThresholdOption::json() const {
  if (isAutomatic()) return Json{{"kind", "automatic"}};
  return Json{{"kind", "size"}, {"size", *bytes_}};
}

std::optional<SizeThresholdOption> SizeThresholdOption::fromJson(const Json& json) {
  const auto kind = jsonString(json, "kind");
  if (kind == "automatic") return automatic();
  if (kind == "size") {
    if (auto bytes = jsonInt(json, "size"); bytes && *bytes >= 0) return size(*bytes);
  }
  return std::nullopt;
}

std::string_view identifier(ContainerMembershipMode mode) {
  switch (mode) {
    case ContainerMembershipMode::regular:
      return "Regular";
    case ContainerMembershipMode::transparent:
      return "Transparent";
    case ContainerMembershipMode::untouchable:
      return "Untouchable";
  }
  return "Regular";
}

std::optional<ContainerMembershipMode> membershipModeFromIdentifier(std::string_view id) {
  for (auto mode : kModesInCheckingOrder) {
    if (identifier(mode) == id) return mode;
  }
  return std::nullopt;
}

Json ExclusionRule::json() const {
  return Json{{"isIgnored", isIgnored},
              {"membershipMode", std::string(identifier(membershipMode))},
              {"pathsToEnumerate", bytesListJson(pathsToEnumerate)},
              {"isInternal", isInternal}};
}

std::optional<ExclusionRule> ExclusionRule::fromJson(const Json& json) {
  if (!json.is_object()) return std::nullopt;
  ExclusionRule rule;
  rule.isIgnored = jsonBool(json, "isIgnored").value_or(false);
  rule.isInternal = jsonBool(json, "isInternal").value_or(false);
  if (auto mode = jsonString(json, "membershipMode")) {
    auto parsed = membershipModeFromIdentifier(*mode);
    if (!parsed) return std::nullopt;
    rule.membershipMode = *parsed;
  }
  if (const Json* paths = jsonMember(json, "pathsToEnumerate")) {
    auto list = bytesListFromJson(*paths);
    if (!list) return std::nullopt;
    rule.pathsToEnumerate = std::move(*list);
  }
  return rule;
}

std::vector<PropertyMetainfo> ScanRules::scanRulesProperties() {
  std::vector<PropertyMetainfo> list = {
      boolean("similarsDetectionEnabled", false),
      boolean("applicationsMatchEnabled", false),
      boolean("directoriesMatchEnabled", false),
      boolean("exactMatchEnabled", false),
      boolean("exactAudioContentMatchEnabled", false),
      boolean("similarAudioMatchAllowed", false),
      boolean("similarImagesMatchAllowed", false),
      boolean("shouldDetectMediaLibraries", false),
      object("sizeThresholdOption", SizeThresholdOption::automatic().json()),
      object("maxTestedVersionByNodeTypeIdentifier", Json::object()),
      object("minTestedVersionByNodeTypeIdentifier", Json::object()),
      object("nodeNameRegExpByMembershipMode", Json::object()),
      property("pathExtensionsOfImagesToExcludeFromSimilarMatch", Json::array(), {"array"}),
      number("rawImageMatchThreshold", 3),
      boolean("isPreciseImageMatchEnabled", true),
      number("limitOfCandidatesForPreciseImageMatch", 5),
      number("preciseImageMatchThreshold", 1),
      number("preciseProprtionMatchThreshold", 0.1),
      number("similarAudioMetadataThreshold", 0.1),
      number("similarAudioDurationThreshold", 3.0),
      number("maximumSizeFractionToSacrificeOfAutomaticSizeThresholdEvaluation", 0.1),
      object("similarImageSizeThreshold", ImageSize{512, 512}.encode()),
      property("nodeTypesAllowed", nullptr, {"array"}),
  };
  for (auto& meta : list) {
    if (meta.name == "sizeThresholdOption") {
      meta.valueTransformerForCoding = &kSizeThresholdTransformer;
      meta.valueTransformerForPlistTransformation = &kSizeThresholdTransformer;
    } else if (meta.name == "similarImageSizeThreshold") {
      meta.valueTransformerForCoding = &kImageSizeTransformer;
      meta.valueTransformerForPlistTransformation = &kImageSizeTransformer;
    }
  }
  return list;
}

ScanRules::ScanRules() { initializeDefaults(); }

const PropertyTable& ScanRules::propertyTable() const {
  static const PropertyTable kTable(scanRulesProperties());
  return kTable;
}

void ScanRules::didChangeValueForKey(const std::string& key) {
  if (key == "similarsDetectionEnabled" || key == "similarAudioMatchAllowed") {
    postChange("similarAudioMatchEnabled", similarAudioMatchEnabled());
  }
  if (key == "similarsDetectionEnabled" || key == "similarImagesMatchAllowed") {
    postChange("similarImagesMatchEnabled", similarImagesMatchEnabled());
  }
}

SizeThresholdOption ScanRules::sizeThresholdOption() const {
  return SizeThresholdOption::fromJson(valueForKey("sizeThresholdOption"))
      .value_or(SizeThresholdOption::automatic());
}

std::map<std::string, std::string> ScanRules::maxTestedVersionByNodeTypeIdentifier() const {
  return stringMap(valueForKey("maxTestedVersionByNodeTypeIdentifier"));
}

std::map<std::string, std::string> ScanRules::minTestedVersionByNodeTypeIdentifier() const {
  return stringMap(valueForKey("minTestedVersionByNodeTypeIdentifier"));
}

std::map<std::string, std::vector<std::string>> ScanRules::nodeNameRegExpByMembershipMode() const {
  std::map<std::string, std::vector<std::string>> map;
  const Json json = valueForKey("nodeNameRegExpByMembershipMode");
  if (!json.is_object()) return map;
  for (const auto& [key, value] : json.items()) {
    if (auto list = bytesListFromJson(value)) map[key] = std::move(*list);
  }
  return map;
}

void ScanRules::setNodeNameRegExpByMembershipMode(
    const std::map<std::string, std::vector<std::string>>& expressions) {
  Json json = Json::object();
  for (const auto& [key, list] : expressions) json[key] = bytesListJson(list);
  setValueForKey("nodeNameRegExpByMembershipMode", json);
}

std::vector<std::string> ScanRules::pathExtensionsOfImagesToExcludeFromSimilarMatch() const {
  return bytesListFromJson(valueForKey("pathExtensionsOfImagesToExcludeFromSimilarMatch"))
      .value_or(std::vector<std::string>{});
}

ImageSize ScanRules::similarImageSizeThreshold() const {
  return ImageSize::decode(valueForKey("similarImageSizeThreshold")).value_or(ImageSize{512, 512});
}

std::optional<std::vector<NodeType>> ScanRules::nodeTypesAllowed() const {
  const Json json = valueForKey("nodeTypesAllowed");
  if (!json.is_array()) return std::nullopt;
  std::vector<NodeType> types;
  for (const Json& item : json) {
    if (!item.is_string()) continue;
    if (auto type = nodeTypeFromRawValue(item.get<std::string>())) types.push_back(*type);
  }
  return types;
}

void ScanRules::setNodeTypesAllowed(const std::optional<std::vector<NodeType>>& types) {
  if (!types) {
    setValueForKey("nodeTypesAllowed", nullptr);
    return;
  }
  Json json = Json::array();
  for (NodeType type : *types) json.push_back(std::string(rawValue(type)));
  setValueForKey("nodeTypesAllowed", json);
}

std::map<NodeType, Version> ScanRules::maxTestedVersonByNodeType() const {
  return typedVersions(maxTestedVersionByNodeTypeIdentifier());
}

std::map<NodeType, Version> ScanRules::minTestedVersonByNodeType() const {
  return typedVersions(minTestedVersionByNodeTypeIdentifier());
}

std::string ScanRules::reportOfSupportedVersions() const {
  const auto minimum = minTestedVersonByNodeType();
  const auto maximum = maxTestedVersonByNodeType();
  std::string report;
  for (NodeType type : kAllNodeTypes) {
    if (!isMediaLibrary(type)) continue;
    auto low = minimum.find(type);
    auto high = maximum.find(type);
    if (low == minimum.end() && high == maximum.end()) continue;
    report += fmt::format("{} min: {} max: {}\n", rawValue(type),
                          low == minimum.end() ? "-" : low->second.string(),
                          high == maximum.end() ? "-" : high->second.string());
  }
  return report;
}

ExtendedScanRules::ExtendedScanRules() : ScanRules(/*deferDefaults=*/true) { initializeDefaults(); }

const PropertyTable& ExtendedScanRules::propertyTable() const {
  static const PropertyTable kTable = [] {
    auto list = scanRulesProperties();
    for (const char* name : {"exclusionRulesByPathExtension", "exclusionRulesByPath"}) {
      PropertyMetainfo meta = object(name, Json::object());
      meta.valueTransformerForCoding = &kExclusionRulesTransformer;
      meta.valueTransformerForPlistTransformation = &kExclusionRulesTransformer;
      list.push_back(std::move(meta));
    }
    return PropertyTable(std::move(list));
  }();
  return kTable;
}

std::map<std::string, ExclusionRule> ExtendedScanRules::exclusionRulesByPathExtension() const {
  return rulesFrom(valueForKey("exclusionRulesByPathExtension"), /*keysAreBytes=*/true);
}

std::map<std::string, ExclusionRule> ExtendedScanRules::exclusionRulesByPath() const {
  return rulesFrom(valueForKey("exclusionRulesByPath"), /*keysAreBytes=*/true);
}

void ExtendedScanRules::setExclusionRulesByPathExtension(
    const std::map<std::string, ExclusionRule>& rules) {
  std::map<std::string, ExclusionRule> lowered;
  for (const auto& [extension, rule] : rules) lowered[asciiLowercased(extension)] = rule;
  setValueForKey("exclusionRulesByPathExtension", rulesJson(lowered, true));
}

void ExtendedScanRules::setExclusionRulesByPath(const std::map<std::string, ExclusionRule>& rules) {
  setValueForKey("exclusionRulesByPath", rulesJson(rules, true));
}

ExtendedScanRules::IgnoredAndWhitelisted ExtendedScanRules::ignoredAndWhitelistedPaths(
    const OVURLResolver& resolver) const {
  IgnoredAndWhitelisted result;
  for (const auto& [path, rule] : exclusionRulesByPath()) {
    if (!rule.isIgnored || rule.membershipMode != ContainerMembershipMode::regular) continue;
    auto expanded = resolver.expandedPathForPath(path);
    if (!expanded) continue;
    result.ignored.push_back(*expanded);
    for (const auto& inside : rule.pathsToEnumerate) {
      if (auto whitelisted = resolver.expandedPathForPath(inside))
        result.whitelisted.push_back(*whitelisted);
    }
  }
  return result;
}

}  // namespace zarnik
