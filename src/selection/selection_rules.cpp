#include "selection/selection_rules.h"

#include "platform/mounts.h"

#include <fmt/format.h>

namespace zarnik {
namespace {

constexpr std::array<std::string_view, 6> kStrategyIdentifiers = {"Automatic", "Manual", "None",
                                                                  "Newest",    "Oldest", "Random"};

struct SmartRuleFacts {
  std::string_view identifier;
  EquivalenceDifference relevantDifference;
  std::string_view description;
  std::string_view topic;     // "Smart Selection Rule: <topic>"
  std::string_view selected;  // "Would you like to select all <selected> for removal?"
};

// In the order of SmartSelectionRule::Kind.
constexpr std::array<SmartRuleFacts, 15> kSmartRules = {{
    {"SameUTIType", EquivalenceDifference::utiType, "Files of Same Type", "File Type",
     "files of this type"},
    {"SameSoftware", EquivalenceDifference::software, "Images Edited via ", "Software",
     "images edited via "},
    {"NonSoftwareAndOriginal", EquivalenceDifference::software, "Images Edited via Any App Except ",
     "Software", "images edited via any app except "},
    {"NonBiggestImageDimension", EquivalenceDifference::imageSize, "Images with Smaller Dimensions",
     "Dimensions", "images with smaller dimensions"},
    {"NonSmallestImageDimension", EquivalenceDifference::imageSize, "Images with Larger Dimensions",
     "Dimensions", "images with larger dimensions"},
    {"NonHighestRating", EquivalenceDifference::rating, "Lower Rated Audio Files", "Rating",
     "lower rated audios"},
    {"NonNewestModificationDate", EquivalenceDifference::dateOfModification,
     "Files Not Modified Last", "Modification Date", "files not modified last"},
    {"NonOldestModificationDate", EquivalenceDifference::dateOfModification,
     "Files Not Modified First", "Modification Date", "files not modified first"},
    {"NonBiggestExactSize", EquivalenceDifference::size, "Files Smaller Than the Largest", "Size",
     "smaller files"},
    {"NonSmallestExactSize", EquivalenceDifference::size, "Files Larger Than the Smallest", "Size",
     "larger files"},
    {"NonLowestBitRate", EquivalenceDifference::audioBitrate, "Audio Files With Higher Bitrate",
     "Bitrate", "audios with higher bitrate"},
    {"NonHighestBitRate", EquivalenceDifference::audioBitrate, "Audio Files With Lower Bitrate",
     "Bitrate", "audios with lower bitrate"},
    {"NonFavorite", EquivalenceDifference::favorite, "Not Favorited Images", "Favorite",
     "non-favorited images"},
    {"NonLoved", EquivalenceDifference::loved, "Not Favorited Audio Files", "Loved",
     "non-loved audios"},
    {"NonLatestAppVersion", EquivalenceDifference::appVersion, "Apps With Earlier Versions",
     "App Version", "earlier application versions"},
}};

}  // namespace

std::string_view identifier(SelectionStrategy strategy) {
  return kStrategyIdentifiers[static_cast<size_t>(strategy)];
}

std::optional<SelectionStrategy> selectionStrategyFromIdentifier(std::string_view id) {
  for (SelectionStrategy strategy : kAllSelectionStrategies) {
    if (identifier(strategy) == id) return strategy;
  }
  return std::nullopt;
}

Json SelectionConfiguration::encode() const {
  Json selected = Json::array();
  for (std::int64_t id : selectedIDs) selected.push_back(id);
  return Json{{"strategy", identifier(strategy)},
              {"originalID", originalID},
              {"selectedIDs", std::move(selected)}};
}

std::optional<SelectionConfiguration> SelectionConfiguration::decode(const Json& archive) {
  if (!archive.is_object()) return std::nullopt;
  const Json* strategy = jsonMember(archive, "strategy");
  const Json* original = jsonMember(archive, "originalID");
  const Json* selected = jsonMember(archive, "selectedIDs");
  if (strategy == nullptr || !strategy->is_string() || original == nullptr ||
      !original->is_number_integer() || selected == nullptr || !selected->is_array()) {
    return std::nullopt;
  }
  auto parsed = selectionStrategyFromIdentifier(strategy->get<std::string>());
  if (!parsed) return std::nullopt;
  SelectionConfiguration configuration{*parsed, original->get<std::int64_t>(), {}};
  for (const auto& id : *selected) {
    if (!id.is_number_integer()) return std::nullopt;
    configuration.selectedIDs.insert(id.get<std::int64_t>());
  }
  return configuration;
}

std::string_view SmartSelectionRule::identifier() const {
  return kSmartRules[static_cast<size_t>(kind_)].identifier;
}

bool SmartSelectionRule::supportsExactEquivalences() const {
  return kind_ == Kind::nonNewestModificationDate || kind_ == Kind::nonOldestModificationDate;
}

EquivalenceDifference SmartSelectionRule::relevantDifference() const {
  return kSmartRules[static_cast<size_t>(kind_)].relevantDifference;
}

std::string SmartSelectionRule::description() const {
  std::string text(kSmartRules[static_cast<size_t>(kind_)].description);
  if (kind_ == Kind::sameSoftware || kind_ == Kind::nonSoftwareAndOriginal) text += payload_;
  return text;
}

std::string SmartSelectionRule::suggestionQuestion() const {
  std::string selected(kSmartRules[static_cast<size_t>(kind_)].selected);
  if (kind_ == Kind::sameSoftware || kind_ == Kind::nonSoftwareAndOriginal) selected += payload_;
  return "Would you like to select all " + selected + " for removal?";
}

std::string SmartSelectionRule::suggestionTitle() const {
  return "Smart Selection Rule: " + std::string(kSmartRules[static_cast<size_t>(kind_)].topic);
}

std::vector<SmartSelectionRule> SmartSelectionRule::simpleRules() {
  std::vector<SmartSelectionRule> rules;
  for (size_t i = static_cast<size_t>(Kind::nonBiggestImageDimension); i < kSmartRules.size();
       ++i) {
    rules.emplace_back(static_cast<Kind>(i));
  }
  return rules;
}

std::vector<SmartSelectionRule> SmartSelectionRule::oppositeRules() const {
  const auto opposite = [](Kind kind) -> std::optional<Kind> {
    switch (kind) {
      case Kind::sameSoftware:
        return Kind::nonSoftwareAndOriginal;
      case Kind::nonSoftwareAndOriginal:
        return Kind::sameSoftware;
      case Kind::nonBiggestImageDimension:
        return Kind::nonSmallestImageDimension;
      case Kind::nonSmallestImageDimension:
        return Kind::nonBiggestImageDimension;
      case Kind::nonNewestModificationDate:
        return Kind::nonOldestModificationDate;
      case Kind::nonOldestModificationDate:
        return Kind::nonNewestModificationDate;
      case Kind::nonBiggestExactSize:
        return Kind::nonSmallestExactSize;
      case Kind::nonSmallestExactSize:
        return Kind::nonBiggestExactSize;
      case Kind::nonLowestBitRate:
        return Kind::nonHighestBitRate;
      case Kind::nonHighestBitRate:
        return Kind::nonLowestBitRate;
      default:
        return std::nullopt;
    }
  };
  if (auto other = opposite(kind_)) return {SmartSelectionRule(*other, payload_)};
  return {};
}

Json SmartSelectionRule::encode() const {
  Json json{{"identifier", identifier()}};
  if (hasPayload()) json["payload"] = payload_;
  return json;
}

std::optional<SmartSelectionRule> SmartSelectionRule::decode(const Json& archive) {
  const Json* id = archive.is_object() ? jsonMember(archive, "identifier") : nullptr;
  if (id == nullptr || !id->is_string()) return std::nullopt;
  for (size_t i = 0; i < kSmartRules.size(); ++i) {
    if (kSmartRules[i].identifier != id->get<std::string>()) continue;
    SmartSelectionRule rule(static_cast<Kind>(i));
    if (rule.hasPayload()) {
      const Json* payload = jsonMember(archive, "payload");
      if (payload == nullptr || !payload->is_string()) return std::nullopt;
      rule.payload_ = payload->get<std::string>();
    }
    return rule;
  }
  return std::nullopt;
}

FileCleaningOption CleaningRules::cleaningOptionForURL(const std::string& path) const {
  if (overriddenCleaningOptionByVolumePath.empty()) return cleaningOption;
  return cleaningOptionForURL(path, readMountTable());
}

FileCleaningOption CleaningRules::cleaningOptionForURL(
    const std::string& path, const std::vector<MountEntry>& mounts) const {
  if (overriddenCleaningOptionByVolumePath.empty()) return cleaningOption;
  const auto volume = mountPointForPath(mounts, path);
  if (!volume) return cleaningOption;
  auto it = overriddenCleaningOptionByVolumePath.find(*volume);
  return it == overriddenCleaningOptionByVolumePath.end() ? cleaningOption : it->second;
}

namespace {

// Reads an optional field of a kind into `out`; false when present with another kind.
template <typename T>
bool readField(const Json& archive, std::string_view key, T& out) {
  const Json* value = jsonMember(archive, key);
  if (value == nullptr) return true;
  try {
    out = value->get<T>();
    return true;
  } catch (const Json::exception&) {
    return false;
  }
}

Error badField(std::string_view what, std::string_view key) {
  return Error::generic(
      fmt::format("The {} field \"{}\" has a value of the wrong kind.", what, key));
}

// Reads the switches of a rules object, each optional; the error of the first of a wrong kind.
std::optional<Error> readSwitches(
    const Json& archive, std::string_view what,
    std::initializer_list<std::pair<std::string_view, bool*>> switches) {
  for (const auto& [key, field] : switches) {
    if (!readField(archive, key, *field)) return badField(what, key);
  }
  return std::nullopt;
}

}  // namespace

Json ExtendedAutoselectionRules::encode() const {
  Json smart = Json::array();
  for (const auto& info : smartSelectionRuleInfos) smart.push_back(info.encode());
  return Json{
      {"allowAutoselectionWithinHardlinkedGroups", allowAutoselectionWithinHardlinkedGroups},
      {"allowSelectionOfMembersOfInvalidMediaLibraries",
       allowSelectionOfMembersOfInvalidMediaLibraries},
      {"selectRandomAmongEqual", selectRandomAmongEqual},
      {"alwaysSelectPaths", alwaysSelectPaths},
      {"neverSelectPaths", neverSelectPaths},
      {"smartSelectionRuleInfos", std::move(smart)}};
}

Result<ExtendedAutoselectionRules> ExtendedAutoselectionRules::decode(const Json& archive) {
  if (!archive.is_object()) return Error::generic("The autoselection rules are not an object.");
  ExtendedAutoselectionRules rules;
  if (auto error = readSwitches(archive, "autoselection",
                                {{"allowAutoselectionWithinHardlinkedGroups",
                                  &rules.allowAutoselectionWithinHardlinkedGroups},
                                 {"allowSelectionOfMembersOfInvalidMediaLibraries",
                                  &rules.allowSelectionOfMembersOfInvalidMediaLibraries},
                                 {"selectRandomAmongEqual", &rules.selectRandomAmongEqual}})) {
    return *error;
  }
  if (!readField(archive, "alwaysSelectPaths", rules.alwaysSelectPaths))
    return badField("autoselection", "alwaysSelectPaths");
  if (!readField(archive, "neverSelectPaths", rules.neverSelectPaths))
    return badField("autoselection", "neverSelectPaths");
  if (const Json* smart = jsonMember(archive, "smartSelectionRuleInfos")) {
    if (!smart->is_array()) return badField("autoselection", "smartSelectionRuleInfos");
    for (const auto& item : *smart) {
      auto info = SmartSelectionRuleInfo::decode(item);
      if (!info) return badField("autoselection", "smartSelectionRuleInfos");
      rules.smartSelectionRuleInfos.push_back(std::move(*info));
    }
  }
  return rules;
}

Json SmartSelectionRuleInfo::encode() const {
  return Json{{"rule", rule.encode()}, {"isEnabled", isEnabled}};
}

std::optional<SmartSelectionRuleInfo> SmartSelectionRuleInfo::decode(const Json& archive) {
  const Json* stored = archive.is_object() ? jsonMember(archive, "rule") : nullptr;
  auto rule = stored != nullptr ? SmartSelectionRule::decode(*stored) : std::nullopt;
  bool enabled = true;
  if (!rule || !readField(archive, "isEnabled", enabled)) return std::nullopt;
  return SmartSelectionRuleInfo{std::move(*rule), enabled};
}

Json FileCleaningOption::encode() const {
  switch (kind) {
    case Kind::moveToTrash:
      return Json{{"kind", "moveToTrash"}};
    case Kind::removePermanently:
      return Json{{"kind", "removePermanently"}};
    case Kind::moveToFolder:
      return Json{{"kind", "moveToFolder"}, {"folder", folder}};
  }
  return Json::object();
}

std::optional<FileCleaningOption> FileCleaningOption::decode(const Json& archive) {
  const Json* kind = archive.is_object() ? jsonMember(archive, "kind") : nullptr;
  if (kind == nullptr || !kind->is_string()) return std::nullopt;
  if (*kind == "moveToTrash") return FileCleaningOption{Kind::moveToTrash, {}};
  if (*kind == "removePermanently") return FileCleaningOption{Kind::removePermanently, {}};
  const Json* folder = jsonMember(archive, "folder");
  if (*kind == "moveToFolder" && folder != nullptr && folder->is_string() &&
      !folder->get<std::string>().empty()) {
    return FileCleaningOption{Kind::moveToFolder, folder->get<std::string>()};
  }
  return std::nullopt;
}

Json CleaningRules::encode() const {
  Json overrides = Json::object();
  for (const auto& [volume, option] : overriddenCleaningOptionByVolumePath)
    overrides[volume] = option.encode();
  return Json{{"isFakeRemove", isFakeRemove},
              {"removeEmptyDirectories", removeEmptyDirectories},
              {"cleaningOption", cleaningOption.encode()},
              {"shouldTryToReplaceRemovedDuplicatesWithHardLinkToOriginal",
               shouldTryToReplaceRemovedDuplicatesWithHardLinkToOriginal},
              {"overridenCleaningOptionByVolumePath", std::move(overrides)}};
}

Result<CleaningRules> CleaningRules::decode(const Json& archive) {
  if (!archive.is_object()) return Error::generic("The cleaning rules are not an object.");
  CleaningRules rules;
  if (auto error =
          readSwitches(archive, "cleaning",
                       {{"isFakeRemove", &rules.isFakeRemove},
                        {"removeEmptyDirectories", &rules.removeEmptyDirectories},
                        {"shouldTryToReplaceRemovedDuplicatesWithHardLinkToOriginal",
                         &rules.shouldTryToReplaceRemovedDuplicatesWithHardLinkToOriginal}})) {
    return *error;
  }
  if (const Json* option = jsonMember(archive, "cleaningOption")) {
    auto decoded = FileCleaningOption::decode(*option);
    if (!decoded) return badField("cleaning", "cleaningOption");
    rules.cleaningOption = *decoded;
  }
  if (const Json* overrides = jsonMember(archive, "overridenCleaningOptionByVolumePath")) {
    if (!overrides->is_object()) return badField("cleaning", "overridenCleaningOptionByVolumePath");
    for (const auto& [volume, option] : overrides->items()) {
      auto decoded = FileCleaningOption::decode(option);
      if (!decoded) return badField("cleaning", "overridenCleaningOptionByVolumePath");
      rules.overriddenCleaningOptionByVolumePath[volume] = *decoded;
    }
  }
  return rules;
}

}  // namespace zarnik
