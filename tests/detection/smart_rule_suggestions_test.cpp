// Smart-rule suggestions from the selection history: counters and their limits, the evidence of
// groups changed by hand, undone changes that no longer count, and rules the user already has.
#include "detection/smart_rule_suggestions.h"

#include "foundation/url_resolver.h"

#include <gtest/gtest.h>

namespace zarnik {
namespace {

using Kind = SmartSelectionRule::Kind;

// A group of three copies of one size modified on days 1, 2 and 3 (identifiers 10g+1…10g+3); the
// scan proposed the two newer ones, or (`proposesNewest` false) the two older ones.
ZKEquivalence groupWithDates(std::int64_t g, NodeType type, bool proposesNewest) {
  static const OVURLResolver resolver("/home/ann");
  static const auto location = ScanLocation::make("/home/ann", resolver);
  ZKEquivalence group;
  group.uniqueIdentifier = g;
  for (int day = 1; day <= 3; ++day) {
    NodeAttributes attributes;
    attributes.exactSize = 100;
    attributes.dateOfModification = Date(std::chrono::hours(24 * day));
    ZKDuplicate duplicate;
    duplicate.identifier = 10 * g + day;
    duplicate.equivalence = g;
    duplicate.setNode(ZKFileNode(
        NodeLocation::fromRelativePath(location, "f" + std::to_string(duplicate.identifier)),
        attributes, NodeContent{}, type, std::nullopt));
    group.duplicates.push_back(std::move(duplicate));
  }
  group.initialSelectionConfiguration =
      proposesNewest ? SelectionConfiguration{SelectionStrategy::automatic,
                                              10 * g + 1,
                                              {10 * g + 2, 10 * g + 3}}
                     : SelectionConfiguration{
                           SelectionStrategy::automatic, 10 * g + 3, {10 * g + 1, 10 * g + 2}};
  group.currentSelectionConfiguration = group.initialSelectionConfiguration;
  return group;
}

ZKActivityLogItem keptNewest(std::int64_t g,
                             ActivityInteractionType type = ActivityInteractionType::direct) {
  ZKActivityLogItem item;
  item.equivalenceIdentifier = g;
  item.interactionType = type;
  item.previousSelectionConfiguration =
      SelectionConfiguration{SelectionStrategy::automatic, 10 * g + 1, {10 * g + 2, 10 * g + 3}};
  item.currentSelectionConfiguration =
      SelectionConfiguration{SelectionStrategy::manual, 10 * g + 3, {10 * g + 1, 10 * g + 2}};
  return item;
}

const SmartSelectionRuleCounter& counterOf(const std::vector<SmartSelectionRuleCounter>& counters,
                                           Kind kind) {
  for (const auto& counter : counters) {
    if (counter.rule.kind() == kind) return counter;
  }
  static const auto none = SmartSelectionRuleCounter::make(SmartSelectionRule(kind), false);
  return none;
}

TEST(SmartRuleSuggestions, CountersNeedFivePlausibleChoicesAndMandatoryEvidence) {
  auto counter =
      SmartSelectionRuleCounter::make(SmartSelectionRule(Kind::nonNewestModificationDate), true);
  counter.plausibleCounter.value = 4;
  counter.mandatoryCounter.value = 1;
  EXPECT_FALSE(counter.shouldSuggest());
  counter.plausibleCounter.value = 5;
  EXPECT_TRUE(counter.shouldSuggest());
  counter.mandatoryCounter.value = 0;
  EXPECT_FALSE(counter.shouldSuggest());
  EXPECT_EQ(SmartSelectionRuleCounter::make(SmartSelectionRule(Kind::nonLoved), false)
                .mandatoryCounter.limit,
            0);
  EXPECT_EQ(
      SmartSelectionRuleCounter::make(SmartSelectionRule(Kind::sameUTIType, "image/png"), false)
          .mandatoryCounter.limit,
      0);

  UniqueInstancesLimitableCounter<NodeType> types(2);
  types.updateCounterForInstance(NodeType::image, 2);
  types.updateCounterForInstance(NodeType::audio, 1);
  EXPECT_TRUE(types.isLimitReached());
  types.updateCounterForInstance(NodeType::audio, -1);
  EXPECT_EQ(types.value(), 1);
}

TEST(SmartRuleSuggestions, OffersKeepingTheNewestAfterFiveGroupsChangedThatWay) {
  std::map<std::int64_t, ZKEquivalence> groups;
  std::vector<ZKActivityLogItem> log;
  for (std::int64_t g = 1; g <= 5; ++g) {
    groups[g] = groupWithDates(g, g % 2 == 0 ? NodeType::image : NodeType::document,
                               /*proposesNewest=*/true);
    log.push_back(keptNewest(g));
  }
  const ExtendedAutoselectionRules none;
  auto counters = processSmartRuleSuggestions(log, groups, none);
  const auto& newest = counterOf(counters, Kind::nonNewestModificationDate);
  EXPECT_EQ(newest.plausibleCounter.value, 5);
  EXPECT_EQ(newest.mandatoryCounter.value, 5);
  EXPECT_EQ(newest.nodeTypesCounter.value(), 2);
  EXPECT_EQ(counterOf(counters, Kind::nonOldestModificationDate).plausibleCounter.value, 0);
  EXPECT_EQ(counterOf(counters, Kind::nonBiggestExactSize).plausibleCounter.value,
            0);  // sizes are equal
  auto offered = suggestedRules(counters, none);
  ASSERT_EQ(offered.size(), 1u);
  EXPECT_EQ(offered[0].kind(), Kind::nonNewestModificationDate);

  // Not when the user has the rule, or its opposite, already.
  ExtendedAutoselectionRules hasOpposite;
  hasOpposite.smartSelectionRuleInfos.push_back(
      {SmartSelectionRule(Kind::nonOldestModificationDate), true});
  EXPECT_TRUE(suggestedRules(counters, hasOpposite).empty());

  // A change undone (back to the proposal) is no evidence any more.
  ZKActivityLogItem undo = keptNewest(5, ActivityInteractionType::undo);
  std::swap(undo.currentSelectionConfiguration, undo.previousSelectionConfiguration);
  log.push_back(undo);
  EXPECT_EQ(
      counterOf(processSmartRuleSuggestions(log, groups, none), Kind::nonNewestModificationDate)
          .plausibleCounter.value,
      4);
  EXPECT_TRUE(suggestedRules(processSmartRuleSuggestions(log, groups, none), none).empty());
  EXPECT_TRUE(processSmartRuleSuggestions({}, groups, none).empty());
}

// A group of three similar pictures (identifiers 10g+1…10g+3) of 100, 200 and 300 pixels a side,
// the last one edited in `software`; the scan proposed the two larger ones.
ZKEquivalence similarPictures(std::int64_t g, const std::string& software) {
  static const OVURLResolver resolver("/home/ann");
  static const auto location = ScanLocation::make("/home/ann", resolver);
  ZKEquivalence group;
  group.uniqueIdentifier = g;
  group.privateEquivalenceKind = EquivalenceKind::similarImage;
  for (int side = 1; side <= 3; ++side) {
    NodeAttributes attributes;
    attributes.exactSize = 1000 * side;
    NodeContent content;
    ImageInfo picture;
    picture.size = {100 * side, 100 * side};
    if (side == 3) picture.softwareName = software;
    content.imageInfo = picture;
    ZKDuplicate duplicate;
    duplicate.identifier = 10 * g + side;
    duplicate.equivalence = g;
    duplicate.setNode(ZKFileNode(
        NodeLocation::fromRelativePath(location, "p" + std::to_string(duplicate.identifier)),
        attributes, content, NodeType::image, std::nullopt));
    group.duplicates.push_back(std::move(duplicate));
  }
  group.initialSelectionConfiguration =
      SelectionConfiguration{SelectionStrategy::automatic, 10 * g + 1, {10 * g + 2, 10 * g + 3}};
  return group;
}

ZKActivityLogItem keptLargest(std::int64_t g) {
  ZKActivityLogItem item;
  item.equivalenceIdentifier = g;
  item.interactionType = ActivityInteractionType::direct;
  item.currentSelectionConfiguration =
      SelectionConfiguration{SelectionStrategy::manual, 10 * g + 3, {10 * g + 1, 10 * g + 2}};
  return item;
}

TEST(SmartRuleSuggestions, JudgesEveryRuleAsTheAutomaticSelectionAppliesIt) {
  std::map<std::int64_t, ZKEquivalence> groups;
  std::vector<ZKActivityLogItem> log;
  for (std::int64_t g = 1; g <= 5; ++g) {
    groups[g] = similarPictures(g, g == 1 ? "GIMP" : "darktable");
    log.push_back(keptLargest(g));
  }
  const ExtendedAutoselectionRules none;
  auto counters = processSmartRuleSuggestions(log, groups, none);
  EXPECT_EQ(counterOf(counters, Kind::nonBiggestImageDimension).plausibleCounter.value, 5);
  EXPECT_EQ(counterOf(counters, Kind::nonSmallestImageDimension).plausibleCounter.value, 0);
  EXPECT_EQ(counterOf(counters, Kind::nonBiggestExactSize).plausibleCounter.value, 5);
  // Date rules judge exact copies only: similar pictures are no evidence for them.
  EXPECT_EQ(counterOf(counters, Kind::nonNewestModificationDate).plausibleCounter.value, 0);
  // One "same application" rule per application seen, each counted where its copy was kept.
  std::map<std::string, std::int64_t> bySoftware;
  for (const auto& counter : counters) {
    if (counter.rule.kind() == Kind::sameSoftware)
      bySoftware[counter.rule.payload()] = counter.plausibleCounter.value;
  }
  EXPECT_EQ(bySoftware, (std::map<std::string, std::int64_t>{{"GIMP", 0}, {"darktable", 0}}));
  EXPECT_EQ(suggestedRules(counters, none),
            (std::vector<SmartSelectionRule>{SmartSelectionRule(Kind::nonBiggestImageDimension),
                                             SmartSelectionRule(Kind::nonBiggestExactSize)}));

  // A rule declined is kept turned off: it is not offered again.
  ExtendedAutoselectionRules declined;
  declined.smartSelectionRuleInfos.push_back(
      {SmartSelectionRule(Kind::nonBiggestImageDimension), false});
  EXPECT_EQ(suggestedRules(counters, declined),
            std::vector<SmartSelectionRule>{SmartSelectionRule(Kind::nonBiggestExactSize)});
}

TEST(SmartRuleSuggestions, ChoicesTheScanHadMadeAlreadyAreNoMandatoryEvidence) {
  std::map<std::int64_t, ZKEquivalence> groups;
  std::vector<ZKActivityLogItem> log;
  for (std::int64_t g = 1; g <= 5; ++g) {
    groups[g] = groupWithDates(g, NodeType::image, /*proposesNewest=*/false);
    log.push_back(keptNewest(g));  // the same selection as the scan's, made again by hand
  }
  auto counters = processSmartRuleSuggestions(log, groups, {});
  const auto& newest = counterOf(counters, Kind::nonNewestModificationDate);
  EXPECT_EQ(newest.plausibleCounter.value, 5);
  EXPECT_EQ(newest.mandatoryCounter.value, 0);
  EXPECT_TRUE(suggestedRules(counters, {}).empty());
}

}  // namespace
}  // namespace zarnik
