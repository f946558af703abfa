#include "file_model/scan_rules.h"

#include <gtest/gtest.h>

#include <vector>

namespace zarnik {
namespace {

TEST(ScanRules, AFreshInstanceEnablesNoKindOfMatching) {
  ScanRules rules;
  EXPECT_FALSE(rules.exactMatchEnabled());
  EXPECT_FALSE(rules.directoriesMatchEnabled());
  EXPECT_EQ(rules.rawImageMatchThreshold(), 3);
  EXPECT_TRUE(rules.isPreciseImageMatchEnabled());
  EXPECT_DOUBLE_EQ(rules.similarAudioDurationThreshold(), 3.0);
  EXPECT_EQ(rules.similarImageSizeThreshold(), (ImageSize{512, 512}));
  EXPECT_TRUE(rules.sizeThresholdOption().isAutomatic());
  EXPECT_FALSE(rules.nodeTypesAllowed().has_value());
  rules.setSimilarImagesMatchAllowed(true);
  EXPECT_FALSE(rules.similarImagesMatchEnabled());
  rules.setSimilarsDetectionEnabled(true);
  EXPECT_TRUE(rules.similarImagesMatchEnabled());
  EXPECT_FALSE(rules.similarAudioMatchEnabled());
}

TEST(ScanRules, DerivedSwitchesAreReportedWhenAnInputChanges) {
  ScanRules rules;
  std::vector<std::string> keys;
  auto token = rules.observeChanges([&](const std::string& key, const Json&) { keys.push_back(key); });
  rules.setSimilarsDetectionEnabled(true);
  EXPECT_EQ(keys, (std::vector<std::string>{"similarsDetectionEnabled", "similarAudioMatchEnabled",
                                            "similarImagesMatchEnabled"}));
  keys.clear();
  rules.setSimilarImagesMatchAllowed(true);
  EXPECT_EQ(keys, (std::vector<std::string>{"similarImagesMatchAllowed", "similarImagesMatchEnabled"}));
}

TEST(SizeThresholdOption, JsonFormsDescriptionsAndIdentifiers) {
  EXPECT_EQ(SizeThresholdOption::automatic().sizeValue(), 0);
  EXPECT_EQ(SizeThresholdOption::automatic().json(), (Json{{"kind", "automatic"}}));
  EXPECT_EQ(SizeThresholdOption::size(5000).json(), (Json{{"kind", "size"}, {"size", 5000}}));
  EXPECT_EQ(SizeThresholdOption::fromJson(Json{{"kind", "size"}, {"size", 7}}), SizeThresholdOption::size(7));
  EXPECT_FALSE(SizeThresholdOption::fromJson(Json{{"kind", "size"}, {"size", -1}}).has_value());
  EXPECT_FALSE(SizeThresholdOption::fromJson(Json{{"kind", "other"}}).has_value());
  const auto& offered = SizeThresholdOption::optionsAvailableToUser();
  ASSERT_EQ(offered.size(), 8u);
  std::vector<std::string> ids;
  for (const auto& option : offered) ids.push_back(option.analyticsIdentifier());
  EXPECT_EQ(ids, (std::vector<std::string>{"Automatic", "None", "1 KB", "5 KB", "1 MB", "5 MB", "50 MB", "200 MB"}));
  EXPECT_EQ(offered[0].description(), "Pick Automatically");
  EXPECT_EQ(offered[1].description(), "All Files");
  EXPECT_EQ(offered[4].description(), "1 MB");
  EXPECT_EQ(SizeThresholdOption::size(123).analyticsIdentifier(), "Unknown");
}

TEST(ExtendedScanRules, ExportAndImportKeepEveryRuleAndSetting) {
  ExtendedScanRules rules;
  rules.setExactMatchEnabled(true);
  rules.setSizeThresholdOption(SizeThresholdOption::size(1'000'000));
  rules.setNodeTypesAllowed(std::vector<NodeType>{NodeType::image, NodeType::video});
  rules.setExclusionRulesByPathExtension({{"TMP", ExclusionRule::ignoring(ContainerMembershipMode::regular)}});
  rules.setExclusionRulesByPath({{"~/caf\xE9/", ExclusionRule::ignoring(ContainerMembershipMode::regular, {"~/caf\xE9/keep/"})},
                                 {"/srv/", ExclusionRule::internal()}});
  const std::string exported = dumpJson(rules.exportJSON());
  ExtendedScanRules imported;
  ASSERT_TRUE(imported.importJSON(parseJson(exported).value()).hasValue());
  EXPECT_TRUE(imported.exactMatchEnabled());
  EXPECT_EQ(imported.sizeThresholdOption(), SizeThresholdOption::size(1'000'000));
  EXPECT_EQ(imported.nodeTypesAllowed(), (std::vector<NodeType>{NodeType::image, NodeType::video}));
  EXPECT_EQ(imported.exclusionRulesByPathExtension(), rules.exclusionRulesByPathExtension());
  EXPECT_EQ(imported.exclusionRulesByPathExtension().count("tmp"), 1u);
  EXPECT_EQ(imported.exclusionRulesByPath(), rules.exclusionRulesByPath());
  EXPECT_EQ(imported.exclusionRulesByPath().at("~/caf\xE9/").pathsToEnumerate,
            std::vector<std::string>{"~/caf\xE9/keep/"});
}

TEST(ExtendedScanRules, ImportRejectsMalformedValuesAndKeepsTheOldOnes) {
  ExtendedScanRules rules;
  EXPECT_TRUE(rules.importJSON(Json{{"exactMatchEnabled", "yes"}}).hasError());
  EXPECT_TRUE(rules.importJSON(Json{{"sizeThresholdOption", {{"kind", "bogus"}}}}).hasError());
  EXPECT_TRUE(rules.importJSON(Json{{"exclusionRulesByPath", {{"/x/", {{"membershipMode", "Weird"}}}}}}).hasError());
  EXPECT_TRUE(rules.importJSON(Json::array()).hasError());
  EXPECT_FALSE(rules.exactMatchEnabled());
  EXPECT_TRUE(rules.sizeThresholdOption().isAutomatic());
  ASSERT_TRUE(rules.importJSON(Json{{"unknownKey", 1}, {"rawImageMatchThreshold", 5}}).hasValue());
  EXPECT_EQ(rules.rawImageMatchThreshold(), 5);
}

TEST(ExtendedScanRules, IgnoredAndWhitelistedPathsTakeOnlyIgnoredRegularRules) {
  ExtendedScanRules rules;
  rules.setExclusionRulesByPath({
      {"~/Caches/", ExclusionRule::ignoring(ContainerMembershipMode::regular, {"~/Caches/Keep/"})},
      {"~/Projects/", ExclusionRule::ignoring(ContainerMembershipMode::transparent)},
      {"/Volumes/Backup/", ExclusionRule::ignoring(ContainerMembershipMode::untouchable)},
      {"/srv/", ExclusionRule::internal()},
  });
  const auto result = rules.ignoredAndWhitelistedPaths(OVURLResolver("/home/ann"));
  EXPECT_EQ(result.ignored, std::vector<std::string>{"/home/ann/Caches"});
  EXPECT_EQ(result.whitelisted, std::vector<std::string>{"/home/ann/Caches/Keep"});
}

TEST(ScanRules, ArchiveRoundTripAndSupportedVersionsReport) {
  ScanRules rules;
  rules.setValueForKey("minTestedVersionByNodeTypeIdentifier", Json{{"PhotosLibrary", "5.0"}});
  rules.setValueForKey("maxTestedVersionByNodeTypeIdentifier", Json{{"PhotosLibrary", "8.0"}, {"Bogus", "1"}});
  ScanRules decoded;
  ASSERT_TRUE(decoded.decode(rules.encode()).hasValue());
  EXPECT_EQ(decoded.exportJSON(), rules.exportJSON());
  EXPECT_EQ(decoded.maxTestedVersonByNodeType().size(), 1u);
  EXPECT_EQ(rules.reportOfSupportedVersions(), "PhotosLibrary min: 5.0 max: 8.0\n");
  ExtendedScanRules extended;
  EXPECT_TRUE(extended.decode(rules.encode()).hasError());  // another class
}

}  // namespace
}  // namespace zarnik
