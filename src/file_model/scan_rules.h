// What a scan looks for (ScanRules) and what it must leave alone (ExtendedScanRules): stored
// objects with defaults, JSON export and import, and change notifications.
#pragma once

// The standard headers come first, or Qt's moc fails to parse <chrono> in the window headers
// that include this one.
// clang-format off
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "file_model/media_info.h"
#include "file_model/node_type.h"
#include "file_model/version.h"
#include "foundation/base_storage.h"
#include "foundation/url_resolver.h"
// clang-format on

namespace zarnik {

// The size under which groups are not shown: a fixed byte count, or chosen automatically.
class SizeThresholdOption {
 public:
  static SizeThresholdOption automatic() { return SizeThresholdOption(); }
  static SizeThresholdOption size(std::int64_t bytes) { return SizeThresholdOption(bytes); }
  static const std::vector<SizeThresholdOption>& optionsAvailableToUser();

  [[nodiscard]] bool isAutomatic() const { return !bytes_.has_value(); }
  // The byte count; 0 for automatic.
  [[nodiscard]] std::int64_t sizeValue() const { return bytes_.value_or(0); }
  [[nodiscard]] std::string description() const;
  [[nodiscard]] std::string analyticsIdentifier() const;

  // {"kind": "automatic"} or {"kind": "size", "size": bytes}
  [[nodiscard]] Json json() const;
  static std::optional<SizeThresholdOption> fromJson(const Json& json);

  friend bool operator==(const SizeThresholdOption&, const SizeThresholdOption&) = default;

 private:
  SizeThresholdOption() = default;
  explicit SizeThresholdOption(std::int64_t bytes) : bytes_(bytes) {}
  std::optional<std::int64_t> bytes_;
};

enum class ContainerMembershipMode : std::uint8_t { regular, transparent, untouchable };
[[nodiscard]] std::string_view identifier(ContainerMembershipMode mode);  // "Regular", ...
[[nodiscard]] std::optional<ContainerMembershipMode> membershipModeFromIdentifier(
    std::string_view id);
inline constexpr ContainerMembershipMode kModesInCheckingOrder[] = {
    ContainerMembershipMode::untouchable, ContainerMembershipMode::transparent,
    ContainerMembershipMode::regular};

struct ExclusionRule {
  bool isIgnored = false;
  ContainerMembershipMode membershipMode = ContainerMembershipMode::regular;
  std::vector<std::string> pathsToEnumerate;  // abbreviated paths walked inside an ignored item
  bool isInternal = false;

  // A rule made by the system: not ignored, regular, no paths.
  static ExclusionRule internal() {
    return ExclusionRule{false, ContainerMembershipMode::regular, {}, true};
  }
  // An ignoring rule with a mode and the paths still to walk.
  static ExclusionRule ignoring(ContainerMembershipMode mode, std::vector<std::string> paths = {}) {
    return ExclusionRule{true, mode, std::move(paths), false};
  }

  [[nodiscard]] Json json() const;
  static std::optional<ExclusionRule> fromJson(const Json& json);
  friend bool operator==(const ExclusionRule&, const ExclusionRule&) = default;
};

class ScanRules : public BaseStorage {
 public:
  ScanRules();

  [[nodiscard]] const PropertyTable& propertyTable() const override;
  [[nodiscard]] std::string_view className() const override { return "ScanRules"; }
  [[nodiscard]] std::shared_ptr<BaseStorage> makeFresh() const override {
    return std::make_shared<ScanRules>();
  }

  [[nodiscard]] bool similarsDetectionEnabled() const {
    return get<bool>("similarsDetectionEnabled");
  }
  [[nodiscard]] bool applicationsMatchEnabled() const {
    return get<bool>("applicationsMatchEnabled");
  }
  [[nodiscard]] bool directoriesMatchEnabled() const {
    return get<bool>("directoriesMatchEnabled");
  }
  [[nodiscard]] bool exactMatchEnabled() const { return get<bool>("exactMatchEnabled"); }
  [[nodiscard]] bool exactAudioContentMatchEnabled() const {
    return get<bool>("exactAudioContentMatchEnabled");
  }
  [[nodiscard]] bool similarAudioMatchAllowed() const {
    return get<bool>("similarAudioMatchAllowed");
  }
  [[nodiscard]] bool similarImagesMatchAllowed() const {
    return get<bool>("similarImagesMatchAllowed");
  }
  [[nodiscard]] bool shouldDetectMediaLibraries() const {
    return get<bool>("shouldDetectMediaLibraries");
  }
  [[nodiscard]] SizeThresholdOption sizeThresholdOption() const;
  [[nodiscard]] std::map<std::string, std::string> maxTestedVersionByNodeTypeIdentifier() const;
  [[nodiscard]] std::map<std::string, std::string> minTestedVersionByNodeTypeIdentifier() const;
  [[nodiscard]] std::map<std::string, std::vector<std::string>> nodeNameRegExpByMembershipMode()
      const;
  [[nodiscard]] std::vector<std::string> pathExtensionsOfImagesToExcludeFromSimilarMatch() const;
  [[nodiscard]] std::int64_t rawImageMatchThreshold() const {
    return get<std::int64_t>("rawImageMatchThreshold");
  }
  [[nodiscard]] bool isPreciseImageMatchEnabled() const {
    return get<bool>("isPreciseImageMatchEnabled");
  }
  [[nodiscard]] std::int64_t limitOfCandidatesForPreciseImageMatch() const {
    return get<std::int64_t>("limitOfCandidatesForPreciseImageMatch");
  }
  [[nodiscard]] std::int64_t preciseImageMatchThreshold() const {
    return get<std::int64_t>("preciseImageMatchThreshold");
  }
  [[nodiscard]] double preciseProprtionMatchThreshold() const {
    return get<double>("preciseProprtionMatchThreshold");
  }
  [[nodiscard]] double similarAudioMetadataThreshold() const {
    return get<double>("similarAudioMetadataThreshold");
  }
  [[nodiscard]] double similarAudioDurationThreshold() const {
    return get<double>("similarAudioDurationThreshold");
  }
  [[nodiscard]] double maximumSizeFractionToSacrificeOfAutomaticSizeThresholdEvaluation() const {
    return get<double>("maximumSizeFractionToSacrificeOfAutomaticSizeThresholdEvaluation");
  }
  [[nodiscard]] ImageSize similarImageSizeThreshold() const;
  // Nothing: every type takes part.
  [[nodiscard]] std::optional<std::vector<NodeType>> nodeTypesAllowed() const;
  [[nodiscard]] std::map<NodeType, Version> maxTestedVersonByNodeType() const;
  [[nodiscard]] std::map<NodeType, Version> minTestedVersonByNodeType() const;

  void setSimilarsDetectionEnabled(bool on) { set("similarsDetectionEnabled", on); }
  void setApplicationsMatchEnabled(bool on) { set("applicationsMatchEnabled", on); }
  void setDirectoriesMatchEnabled(bool on) { set("directoriesMatchEnabled", on); }
  void setExactMatchEnabled(bool on) { set("exactMatchEnabled", on); }
  void setExactAudioContentMatchEnabled(bool on) { set("exactAudioContentMatchEnabled", on); }
  void setSimilarAudioMatchAllowed(bool on) { set("similarAudioMatchAllowed", on); }
  void setSimilarImagesMatchAllowed(bool on) { set("similarImagesMatchAllowed", on); }
  void setSizeThresholdOption(const SizeThresholdOption& option) {
    setValueForKey("sizeThresholdOption", option.json());
  }
  void setNodeTypesAllowed(const std::optional<std::vector<NodeType>>& types);
  void setNodeNameRegExpByMembershipMode(
      const std::map<std::string, std::vector<std::string>>& expressions);

  // Derived switches.
  [[nodiscard]] bool similarAudioMatchEnabled() const {
    return similarsDetectionEnabled() && similarAudioMatchAllowed();
  }
  [[nodiscard]] bool similarImagesMatchEnabled() const {
    return similarsDetectionEnabled() && similarImagesMatchAllowed();
  }
  [[nodiscard]] bool similarApplicationsMatchEnabled() const {
    return similarsDetectionEnabled() && applicationsMatchEnabled();
  }

  // For each media-library type with tested versions: "<Type> min: <v> max: <v>", one a line.
  [[nodiscard]] std::string reportOfSupportedVersions() const;

 protected:
  explicit ScanRules(bool deferDefaults) { (void)deferDefaults; }
  void didChangeValueForKey(const std::string& key) override;
  static std::vector<PropertyMetainfo> scanRulesProperties();
};

class ExtendedScanRules : public ScanRules {
 public:
  ExtendedScanRules();

  [[nodiscard]] const PropertyTable& propertyTable() const override;
  [[nodiscard]] std::string_view className() const override { return "ExtendedScanRules"; }
  [[nodiscard]] std::shared_ptr<BaseStorage> makeFresh() const override {
    return std::make_shared<ExtendedScanRules>();
  }

  // Keys are lower-case extensions without the dot.
  [[nodiscard]] std::map<std::string, ExclusionRule> exclusionRulesByPathExtension() const;
  // Keys are abbreviated paths.
  [[nodiscard]] std::map<std::string, ExclusionRule> exclusionRulesByPath() const;
  void setExclusionRulesByPathExtension(const std::map<std::string, ExclusionRule>& rules);
  void setExclusionRulesByPath(const std::map<std::string, ExclusionRule>& rules);

  struct IgnoredAndWhitelisted {
    std::vector<std::string> ignored;
    std::vector<std::string> whitelisted;
  };
  // Expanded paths of ignored regular rules, and the paths still walked inside them.
  [[nodiscard]] IgnoredAndWhitelisted ignoredAndWhitelistedPaths(
      const OVURLResolver& resolver) const;
};

}  // namespace zarnik
