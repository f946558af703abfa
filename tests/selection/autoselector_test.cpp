#include "selection/autoselector.h"

#include <sys/time.h>

#include <gtest/gtest.h>

#include "platform/mounts.h"
#include "support/test_dir.h"

namespace zarnik {
namespace {

using testing::TestDir;

// A group of copies made from real files below a scratch folder, which is also the home folder
// of the resolver (so "~/Applications" lies inside it).
class AutoselectorTest : public ::testing::Test {
 protected:
  TestDir dir;
  OVURLResolver resolver{dir.path()};
  ScanLocationPtr location;
  ExtendedAutoselectionRules rules;

  void SetUp() override { location = ScanLocation::make(dir.path(), resolver); }

  std::shared_ptr<const ZKBaseNode> copy(const std::string& relative, std::int64_t modifiedSecondsAgo = 1000,
                                         bool writable = true) {
    dir.file(relative, "same content");
    const std::string path = dir / relative;
    struct timeval times[2] = {{0, 0}, {0, 0}};
    times[0].tv_sec = times[1].tv_sec = 1'700'000'000 - modifiedSecondsAgo;
    ::utimes(path.c_str(), times);
    NodeAttributes attributes = *NodeAttributes::resourceValuesOf(path);
    attributes.wasWritable = writable;
    return std::make_shared<ZKFileNode>(NodeLocation::fromRelativePath(location, relative), attributes, NodeContent{},
                                        NodeType::document, std::nullopt);
  }

  struct Group {
    std::vector<NodeAutoselectionInfo> infos;  // as the autoselector left them
    EquivalenceDifferencesInfo groupDifferences;
    DetectedSelectionConfigurations detected;

    [[nodiscard]] std::set<std::string> selectedNames() const {
      std::set<std::string> names;
      for (const auto& info : infos) {
        if (detected.currentSelectionConfiguration.isSelected(info.identifier)) {
          names.insert(std::string(lastPathComponent(info.node->path())));
        }
      }
      return names;
    }
    [[nodiscard]] std::string nameOf(std::int64_t id) const {
      for (const auto& info : infos) {
        if (info.identifier == id) return info.node->path();
      }
      return {};
    }
  };

  Group select(const std::vector<std::shared_ptr<const ZKBaseNode>>& nodes,
               std::optional<std::int64_t> sharedHardLinkGroup = std::nullopt) {
    std::vector<NodeDifferencesInfo> copies;
    std::int64_t id = 1;
    for (const auto& node : nodes) {
      NodeDifferencesInfo copy;
      copy.identifier = id++;
      copy.node = node;
      copy.hardlinkedGroupID = sharedHardLinkGroup;
      copies.push_back(std::move(copy));
    }
    const Autoselector autoselector(resolver, rules);
    auto selection = autoselector.detectDifferencesAndSelect(copies);
    Group group{{}, std::move(selection.differences), std::move(selection.configurations)};
    // The copies as the autoselector saw them, over the records that now live in the result.
    for (const auto& copy : copies) {
      const auto& decision = group.detected.modeByDuplicateID.at(copy.identifier);
      group.infos.push_back(NodeAutoselectionInfo{copy.identifier, copy.node, copy.equivalenceKind,
                                                  &group.detected.nodeDifferencesInfoByDuplicateID.at(copy.identifier),
                                                  decision.mode, decision.reason,
                                                  autoselector.directoryBonusOf(
                                                      resolver.abbreviatedPathComponentsForPath(copy.node->path()))});
    }
    return group;
  }
};

TEST_F(AutoselectorTest, ACopyWordAtTheEndOfTheNameLosesToThePlainName) {
  auto group = select({copy("docs/report copy.pdf"), copy("docs/report.pdf")});
  EXPECT_EQ(group.selectedNames(), (std::set<std::string>{"report copy.pdf"}));
  EXPECT_EQ(group.detected.currentSelectionConfiguration.strategy, SelectionStrategy::automatic);
  EXPECT_EQ(lastPathComponent(group.nameOf(group.detected.currentSelectionConfiguration.originalID)), "report.pdf");
  // A copy word inside a name is no copy word.
  const auto& patterns = group.infos[0].differences->pathComponentPatterns;
  EXPECT_TRUE(patterns.back().hasSuffixMatchingCopyPattern);
  EXPECT_EQ(patterns.back().strippedComponent, "report");
  EXPECT_FALSE(pathComponentPatterns({"copyright.txt"}).back().hasSuffixMatchingCopyPattern);
  EXPECT_FALSE(pathComponentPatterns({"copyright.txt"}).back().hasPrefixMatchingCopyPattern);
}

TEST_F(AutoselectorTest, NamesAreMatchedInTheirDecomposedForm) {
  // "Cópia de" written with a precomposed ó, as Linux file names usually are.
  const auto pattern = pathComponentPatterns({"C\u00f3pia de foto.jpg"}).back();
  EXPECT_TRUE(pattern.hasPrefixMatchingCopyPattern);
  EXPECT_EQ(pattern.strippedComponent, "foto");
  const auto numbered = pathComponentPatterns({"photo (2).jpg"}).back();
  EXPECT_EQ(numbered.numberOfSuffixMatchingNumberPatterns, 1);
  EXPECT_EQ(numbered.strippedComponent, "photo");
  const auto folder = pathComponentPatterns({"C\u00f3pia de foto", "carpeta sin t\u00edtulo", "x.jpg"});
  EXPECT_TRUE(folder[1].isAutonamed);
  EXPECT_FALSE(folder[1].isLastComponent);
}

TEST_F(AutoselectorTest, AFileInAnAutomaticallyNamedFolderLosesToItsTwinAndScoresThreeLess) {
  auto group = select({copy("untitled folder/a.txt"), copy("kept/a.txt")});
  EXPECT_EQ(group.selectedNames().size(), 1u);
  EXPECT_TRUE(group.detected.currentSelectionConfiguration.isSelected(1));
  Autoselector selector(resolver, rules);
  const double autonamed = selector.scoreOf(group.infos[0], group.groupDifferences);
  const double plain = selector.scoreOf(group.infos[1], group.groupDifferences);
  // The tie-break mark of the smaller path ("kept/…") is already in; the rest is -2 - 1.
  EXPECT_EQ(plain - autonamed, 3 + (group.infos[1].differences->has(smartRandom) ? 1 : 0) +
                                   (group.infos[1].differences->has(randomAmongEqual) ? 1 : 0));
}

TEST_F(AutoselectorTest, PathRulesTheNearestEnclosingOneWins) {
  rules.alwaysSelectPaths = {dir / "always"};
  rules.neverSelectPaths = {dir / "always/but-never", dir / "never"};
  auto always = select({copy("always/x.txt"), copy("elsewhere/x.txt")});
  EXPECT_EQ(always.infos[0].mode, AutoselectionMode::alwaysSelect);
  EXPECT_TRUE(always.detected.currentSelectionConfiguration.isSelected(1));
  auto nested = select({copy("always/but-never/y copy.txt"), copy("elsewhere/y.txt")});
  EXPECT_EQ(nested.infos[0].mode, AutoselectionMode::neverSelect);
  EXPECT_TRUE(nested.detected.currentSelectionConfiguration.selectedIDs.empty());
  auto never = select({copy("never/z copy.txt"), copy("elsewhere/z.txt")});
  EXPECT_TRUE(never.detected.currentSelectionConfiguration.selectedIDs.empty());
  // Every copy always-select: the smallest path is kept, the others are selected.
  rules.alwaysSelectPaths = {dir / "a1", dir / "a2"};
  auto all = select({copy("a2/w.txt"), copy("a1/w.txt")});
  EXPECT_EQ(all.detected.currentSelectionConfiguration.strategy, SelectionStrategy::automatic);
  EXPECT_EQ(all.selectedNames().size(), 1u);
  EXPECT_TRUE(all.detected.currentSelectionConfiguration.isSelected(1));  // "a2/…" goes
}

TEST_F(AutoselectorTest, ReadOnlyHardLinkedAndApplicationCopiesAreProtected) {
  auto readOnly = select({copy("ro/r copy.txt", 1000, /*writable=*/false), copy("rw/r.txt")});
  EXPECT_EQ(readOnly.infos[0].mode, AutoselectionMode::neverSelect);
  EXPECT_TRUE(readOnly.detected.currentSelectionConfiguration.selectedIDs.empty());
  auto linked = select({copy("l1/h copy.txt"), copy("l2/h.txt")}, /*sharedHardLinkGroup=*/1);
  EXPECT_TRUE(linked.detected.currentSelectionConfiguration.selectedIDs.empty());
  rules.allowAutoselectionWithinHardlinkedGroups = true;
  auto allowed = select({copy("l3/h copy.txt"), copy("l4/h.txt")}, 2);
  EXPECT_EQ(allowed.detected.currentSelectionConfiguration.selectedIDs.size(), 1u);
  auto application = select({copy("Applications/Tool.app.zip"), copy("Downloads/Tool.app.zip")});
  EXPECT_EQ(application.infos[0].mode, AutoselectionMode::lastOrderSelect);
  EXPECT_EQ(application.infos[0].sumOfBonusesForBeingInDirectory, 10);
  EXPECT_TRUE(application.detected.currentSelectionConfiguration.isSelected(2));  // the download goes
}

TEST_F(AutoselectorTest, EqualCopiesAreBothKeptUnlessRandomAmongEqualIsOn) {
  auto tied = select({copy("b/same.txt"), copy("a/same.txt")});
  EXPECT_EQ(tied.detected.currentSelectionConfiguration.strategy, SelectionStrategy::none);
  EXPECT_TRUE(tied.detected.currentSelectionConfiguration.selectedIDs.empty());
  const auto& offered = tied.detected.availableSelectionConfigurations;
  ASSERT_FALSE(offered.empty());
  EXPECT_EQ(offered.back().strategy, SelectionStrategy::random);
  EXPECT_EQ(offered.back().selectedIDs, (IdentifierSet{1}));  // the larger path, "b/…"
  for (const auto& configuration : offered) EXPECT_NE(configuration.strategy, SelectionStrategy::newer);

  rules.selectRandomAmongEqual = true;
  auto broken = select({copy("d/same.txt"), copy("c/same.txt")});
  EXPECT_EQ(broken.detected.currentSelectionConfiguration.strategy, SelectionStrategy::automatic);
  EXPECT_EQ(broken.detected.currentSelectionConfiguration.selectedIDs, (IdentifierSet{1}));
}

TEST_F(AutoselectorTest, ModificationDatesAreArrangedAndOfferNewestAndOldest) {
  rules.smartSelectionRuleInfos = {{SmartSelectionRule(SmartSelectionRule::Kind::nonNewestModificationDate), true}};
  auto group = select({copy("old/v.txt", 5000), copy("new/v.txt", 10)});
  EXPECT_TRUE(group.groupDifferences.contains(EquivalenceDifference::dateOfModification));
  EXPECT_FALSE(group.groupDifferences.contains(EquivalenceDifference::name));
  EXPECT_EQ(group.infos[0].differences->arrangementFactor(EquivalenceDifference::dateOfModification), ArrangementFactor::min);
  EXPECT_EQ(group.infos[1].differences->arrangementFactor(EquivalenceDifference::dateOfModification), ArrangementFactor::max);
  EXPECT_EQ(group.infos[0].differences->arrangementFactor(EquivalenceDifference::rating), ArrangementFactor::undefined);
  // The smart rule takes 2 from the older copy, which goes.
  EXPECT_EQ(group.detected.currentSelectionConfiguration.selectedIDs, (IdentifierSet{1}));
  std::vector<SelectionStrategy> strategies;
  for (const auto& configuration : group.detected.availableSelectionConfigurations) strategies.push_back(configuration.strategy);
  EXPECT_EQ(strategies, (std::vector<SelectionStrategy>{SelectionStrategy::none, SelectionStrategy::automatic,
                                                         SelectionStrategy::manual, SelectionStrategy::newer,
                                                         SelectionStrategy::older, SelectionStrategy::random}));
}

TEST(SelectionRules, ConfigurationsAndSmartRulesRoundTripAndUnknownStrategiesAreRefused) {
  const SelectionConfiguration manual{SelectionStrategy::manual, 7, {8, 9}};
  EXPECT_EQ(SelectionConfiguration::decode(manual.encode()), manual);
  EXPECT_FALSE(isAvailableForUserChoose(SelectionStrategy::manual));
  Json unknown = manual.encode();
  unknown["strategy"] = "Sometimes";
  EXPECT_FALSE(SelectionConfiguration::decode(unknown).has_value());
  const SmartSelectionRule software(SmartSelectionRule::Kind::sameSoftware, "Photos");
  EXPECT_EQ(SmartSelectionRule::decode(software.encode()), software);
  EXPECT_EQ(software.description(), "Images Edited via Photos");
  EXPECT_EQ(SmartSelectionRule(SmartSelectionRule::Kind::nonLatestAppVersion).suggestionQuestion(),
            "Would you like to select all earlier application versions for removal?");
  EXPECT_EQ(SmartSelectionRule(SmartSelectionRule::Kind::nonLoved).suggestionTitle(), "Smart Selection Rule: Loved");
  EXPECT_EQ(SmartSelectionRule::simpleRules().size(), 12u);
  EXPECT_EQ(software.oppositeRules(),
            (std::vector<SmartSelectionRule>{SmartSelectionRule(SmartSelectionRule::Kind::nonSoftwareAndOriginal, "Photos")}));
  EXPECT_TRUE(SmartSelectionRule(SmartSelectionRule::Kind::nonLoved).oppositeRules().empty());
  EXPECT_TRUE(SmartSelectionRule(SmartSelectionRule::Kind::nonOldestModificationDate).supportsExactEquivalences());
  EXPECT_FALSE(SmartSelectionRule(SmartSelectionRule::Kind::nonLoved).supportsExactEquivalences());
  EXPECT_EQ(equivalenceDifferenceFromIdentifier("DateOfModification"), EquivalenceDifference::dateOfModification);
  EXPECT_EQ(permission(DuplicateWarning::isLastUnselectedDuplicateOfEquivalence), SelectionPermission::allowedWithWarning);
  EXPECT_EQ(permission(DuplicateWarning::isNonWritable), SelectionPermission::denied);
}

TEST(SelectionRules, RulesRoundTripAndAWrongFieldIsRefused) {
  ExtendedAutoselectionRules rules;
  rules.selectRandomAmongEqual = true;
  rules.neverSelectPaths = {"~/Keep"};
  rules.smartSelectionRuleInfos = {{SmartSelectionRule(SmartSelectionRule::Kind::nonSoftwareAndOriginal, "GIMP"), false}};
  auto decoded = ExtendedAutoselectionRules::decode(rules.encode());
  ASSERT_TRUE(decoded.hasValue());
  EXPECT_EQ(decoded.value().encode(), rules.encode());
  EXPECT_TRUE(decoded.value().selectRandomAmongEqual);
  EXPECT_FALSE(decoded.value().allowAutoselectionWithinHardlinkedGroups);  // missing: the default
  EXPECT_TRUE(ExtendedAutoselectionRules::decode(Json{{"selectRandomAmongEqual", "yes"}}).hasError());

  CleaningRules cleaning;
  cleaning.cleaningOption = FileCleaningOption{FileCleaningOption::Kind::moveToFolder, "/backup"};
  cleaning.overridenCleaningOptionByVolumePath["/mnt/usb"] = FileCleaningOption{FileCleaningOption::Kind::removePermanently, {}};
  auto again = CleaningRules::decode(cleaning.encode());
  ASSERT_TRUE(again.hasValue());
  EXPECT_EQ(again.value().encode(), cleaning.encode());
  EXPECT_TRUE(CleaningRules::decode(Json{{"cleaningOption", Json{{"kind", "moveToFolder"}}}}).hasError());
}

TEST(SelectionRules, AVolumeWithAnOverrideHasItsOwnCleaningOption) {
  TestDir dir;
  CleaningRules rules;
  EXPECT_EQ(rules.cleaningOptionForURL(dir.path()).kind, FileCleaningOption::Kind::moveToTrash);
  const auto volume = mountPointForPath(readMountTable(), dir.path());
  ASSERT_TRUE(volume.has_value());
  rules.overridenCleaningOptionByVolumePath["/nonexistent-volume"] = FileCleaningOption{FileCleaningOption::Kind::removePermanently, {}};
  EXPECT_EQ(rules.cleaningOptionForURL(dir.path()).kind, FileCleaningOption::Kind::moveToTrash);
  rules.overridenCleaningOptionByVolumePath[*volume] = FileCleaningOption{FileCleaningOption::Kind::removePermanently, {}};
  EXPECT_EQ(rules.cleaningOptionForURL(dir.path()).kind, FileCleaningOption::Kind::removePermanently);
}

TEST(SelectionRules, SelectingByHandWarnsOrRefuses) {
  DuplicateDifferences copy;
  copy.set(accessible);
  copy.set(writable);
  EXPECT_EQ(checkSelection(copy, false).permission, SelectionPermission::allowed);
  const auto last = checkSelection(copy, true);
  EXPECT_EQ(last.permission, SelectionPermission::allowedWithWarning);
  ASSERT_EQ(last.warnings.size(), 1u);
  EXPECT_EQ(description(last.warnings[0]), "Last non-selected duplicate of equivalence");
  copy.set(writable, false);
  const auto readOnly = checkSelection(copy, true);
  EXPECT_EQ(readOnly.permission, SelectionPermission::denied);
  EXPECT_EQ(readOnly.warnings.back(), DuplicateWarning::isNonWritable);
  copy.set(writable);
  copy.set(memberOfPhotosLibrary);
  copy.set(memberOfNonTestedMediaLibrary);
  EXPECT_EQ(checkSelection(copy, false).warnings, (std::vector<DuplicateWarning>{DuplicateWarning::isMemberOfNonTestedPhotosLibrary}));
}

TEST(IdentifierSet, KeepsEachIdentifierOnceInOrder) {
  IdentifierSet set{5, 1, 5, 3};
  EXPECT_EQ(std::vector<std::int64_t>(set.begin(), set.end()), (std::vector<std::int64_t>{1, 3, 5}));
  set.insert(3);
  set.insert(2);
  set.erase(7);
  set.erase(5);
  EXPECT_EQ(set, (IdentifierSet{1, 2, 3}));
  EXPECT_EQ(set.count(2), 1u);
  EXPECT_EQ(set.count(5), 0u);
  EXPECT_EQ(SelectionConfiguration::decode(SelectionConfiguration{SelectionStrategy::newer, 1, set}.encode())->selectedIDs, set);
}

}  // namespace
}  // namespace zarnik
