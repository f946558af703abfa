#include "selection/selection_rules.h"

#include "platform/mounts.h"

namespace zarnik {
namespace {

constexpr std::array<std::string_view, 6> kStrategyIdentifiers = {"Automatic", "Manual", "None", "Newest", "Oldest", "Random"};

struct SmartRuleFacts {
  std::string_view identifier;
  EquivalenceDifference relevantDifference;
  std::string_view description;
};

// In the order of SmartSelectionRule::Kind.
constexpr std::array<SmartRuleFacts, 15> kSmartRules = {{
    {"SameUTIType", EquivalenceDifference::utiType, "Files of Same Type"},
    {"SameSoftware", EquivalenceDifference::software, "Images Edited via "},
    {"NonSoftwareAndOriginal", EquivalenceDifference::software, "Images Edited via Any App Except "},
    {"NonBiggestImageDimension", EquivalenceDifference::imageSize, "Images with Smaller Dimensions"},
    {"NonSmallestImageDimension", EquivalenceDifference::imageSize, "Images with Larger Dimensions"},
    {"NonHighestRating", EquivalenceDifference::rating, "Lower Rated Audio Files"},
    {"NonNewestModificationDate", EquivalenceDifference::dateOfModification, "Files Not Modified Last"},
    {"NonOldestModificationDate", EquivalenceDifference::dateOfModification, "Files Not Modified First"},
    {"NonBiggestExactSize", EquivalenceDifference::size, "Files Smaller Than the Largest"},
    {"NonSmallestExactSize", EquivalenceDifference::size, "Files Larger Than the Smallest"},
    {"NonLowestBitRate", EquivalenceDifference::audioBitrate, "Audio Files With Higher Bitrate"},
    {"NonHighestBitRate", EquivalenceDifference::audioBitrate, "Audio Files With Lower Bitrate"},
    {"NonFavorite", EquivalenceDifference::favorite, "Not Favorited Images"},
    {"NonLoved", EquivalenceDifference::loved, "Not Favorited Audio Files"},
    {"NonLatestAppVersion", EquivalenceDifference::appVersion, "Apps With Earlier Versions"},
}};

}  // namespace

std::string_view identifier(SelectionStrategy strategy) { return kStrategyIdentifiers[static_cast<size_t>(strategy)]; }

std::optional<SelectionStrategy> selectionStrategyFromIdentifier(std::string_view id) {
  for (SelectionStrategy strategy : kAllSelectionStrategies) {
    if (identifier(strategy) == id) return strategy;
  }
  return std::nullopt;
}

Json SelectionConfiguration::encode() const {
  Json selected = Json::array();
  for (std::int64_t id : selectedIDs) selected.push_back(id);
  return Json{{"strategy", identifier(strategy)}, {"originalID", originalID}, {"selectedIDs", std::move(selected)}};
}

std::optional<SelectionConfiguration> SelectionConfiguration::decode(const Json& archive) {
  if (!archive.is_object()) return std::nullopt;
  const Json* strategy = jsonMember(archive, "strategy");
  const Json* original = jsonMember(archive, "originalID");
  const Json* selected = jsonMember(archive, "selectedIDs");
  if (strategy == nullptr || !strategy->is_string() || original == nullptr || !original->is_number_integer() ||
      selected == nullptr || !selected->is_array()) {
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

std::string_view SmartSelectionRule::identifier() const { return kSmartRules[static_cast<size_t>(kind_)].identifier; }

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
  if (overridenCleaningOptionByVolumePath.empty()) return cleaningOption;
  const auto volume = mountPointForPath(readMountTable(), path);
  if (!volume) return cleaningOption;
  auto it = overridenCleaningOptionByVolumePath.find(*volume);
  return it == overridenCleaningOptionByVolumePath.end() ? cleaningOption : it->second;
}

}  // namespace zarnik
