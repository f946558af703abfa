#include "selection/autoselector.h"

#include "support/test_dir.h"

#include "platform/mounts.h"

#include <gtest/gtest.h>

#include <sys/time.h>

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
  std::shared_ptr<const SystemFiles> systemFiles;  // none: the standard system folders

  void SetUp() override { location = ScanLocation::make(dir.path(), resolver); }

  std::shared_ptr<const ZKBaseNode> copy(const std::string& relative,
                                         std::int64_t modifiedSecondsAgo = 1000,
                                         bool writable = true) {
    dir.file(relative, "same content");
    const std::string path = dir / relative;
    struct timeval times[2] = {{0, 0}, {0, 0}};
    times[0].tv_sec = times[1].tv_sec = 1'700'000'000 - modifiedSecondsAgo;
    ::utimes(path.c_str(), times);
    NodeAttributes attributes = *NodeAttributes::resourceValuesOf(path);
    attributes.wasWritable = writable;
    return std::make_shared<ZKFileNode>(NodeLocation::fromRelativePath(location, relative),
                                        attributes, NodeContent{}, NodeType::document,
                                        std::nullopt);
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
    const Autoselector autoselector(resolver, rules, systemFiles);
    auto selection = autoselector.detectDifferencesAndSelect(copies);
    Group group{{}, std::move(selection.differences), std::move(selection.configurations)};
    // The copies as the autoselector saw them, over the records that now live in the result.
    for (const auto& copy : copies) {
      const auto& decision = group.detected.modeByDuplicateID.at(copy.identifier);
      group.infos.push_back(NodeAutoselectionInfo{
          copy.identifier, copy.node, copy.equivalenceKind,
          &group.detected.nodeDifferencesInfoByDuplicateID.at(copy.identifier), decision.mode,
          decision.reason,
          autoselector.directoryBonusOf(
              resolver.abbreviatedPathComponentsForPath(copy.node->path()))});
    }
    return group;
  }

  [[nodiscard]] static ProposalReason proposalOf(const Group& group, std::int64_t id) {
    return group.detected.modeByDuplicateID.at(id).proposal;
  }
};

TEST_F(AutoselectorTest, ANumberMarksACopyOnlyBesideTheNameItWasNumberedAfter) {
  auto numbered = select({copy("a/photo (1).jpg"), copy("b/photo.jpg")});
  EXPECT_EQ(numbered.selectedNames(), (std::set<std::string>{"photo (1).jpg"}));
  EXPECT_EQ(proposalOf(numbered, 1), ProposalReason::copyNumber);
  EXPECT_EQ(description(proposalOf(numbered, 1)), "name ends in a copy number");
  EXPECT_EQ(proposalOf(numbered, 2), ProposalReason::none);

  auto spaced = select({copy("c/report.pdf"), copy("d/report 2.pdf")});
  EXPECT_EQ(spaced.selectedNames(), (std::set<std::string>{"report 2.pdf"}));

  // Years and sequence numbers are parts of names, not copy marks: nothing tells these apart.
  auto year = select({copy("taxes/tax-return-2023.pdf"), copy("old/scan0001.pdf")});
  EXPECT_TRUE(year.selectedNames().empty());
  EXPECT_EQ(
      year.infos[0].differences->pathComponentPatterns.back().numberOfSuffixMatchingNumberPatterns,
      0);
  EXPECT_FALSE(year.infos[0].differences->has(nameLooksLikeCopy));
  auto camera = select({copy("e/IMG_1234.jpg"), copy("f/holiday.jpg")});
  EXPECT_TRUE(camera.selectedNames().empty());

  // Two numbered names, neither beside its plain name: no number counts.
  auto both = select({copy("g/photo (1).jpg"), copy("h/photo (2).jpg")});
  EXPECT_TRUE(both.selectedNames().empty());
  // Numbered on top of a number: only the extra one marks the copy.
  auto stacked = select({copy("i/IMG_1234 (1).jpg"), copy("j/IMG_1234.jpg")});
  EXPECT_EQ(stacked.selectedNames(), (std::set<std::string>{"IMG_1234 (1).jpg"}));
}

TEST_F(AutoselectorTest, ANumberInAFolderNameMarksACopyOnlyBesideTheFolderItWasNumberedAfter) {
  auto trip =
      select({copy("Pictures/Trip to Rome 2019/colosseum.jpg"), copy("Desktop/colosseum.jpg")});
  EXPECT_TRUE(trip.selectedNames().empty()) << "the well-filed copy must not go for its year";
  auto numbered = select({copy("x/Photos 2/beach.jpg"), copy("y/Photos/beach.jpg")});
  ASSERT_EQ(numbered.detected.currentSelectionConfiguration.selectedIDs, (IdentifierSet{1}));
  EXPECT_EQ(proposalOf(numbered, 1), ProposalReason::folderCopyNumber);
}

TEST_F(AutoselectorTest, EveryProposalCarriesItsReason) {
  auto word = select({copy("docs/report copy.pdf"), copy("docs/report.pdf")});
  EXPECT_EQ(description(proposalOf(word, 1)), "name marks it as a copy");
  rules.alwaysSelectPaths = {dir / "inbox"};
  auto always = select({copy("inbox/x.txt"), copy("kept/x.txt")});
  EXPECT_EQ(description(proposalOf(always, 1)), "in an always-select folder");
  rules.alwaysSelectPaths.clear();
  auto untitled = select({copy("untitled folder/u.txt"), copy("kept/u.txt")});
  EXPECT_EQ(proposalOf(untitled, 1), ProposalReason::automaticFolderName);
  rules.selectRandomAmongEqual = true;
  auto equal = select({copy("q/same.txt"), copy("p/same.txt")});
  EXPECT_EQ(proposalOf(equal, 1), ProposalReason::equalCopies);
  EXPECT_EQ(proposalOf(equal, 2), ProposalReason::none);
  // The reason survives the stored form of the decision.
  const auto stored =
      AutoselectionModeDecision::decode(word.detected.modeByDuplicateID.at(1).encode());
  EXPECT_EQ(stored.proposal, ProposalReason::copyWord);
  const SelectionConfiguration& current = word.detected.currentSelectionConfiguration;
  EXPECT_EQ(copyReason(current, 1, stored), "name marks it as a copy");
  EXPECT_EQ(copyReason(current, 2, word.detected.modeByDuplicateID.at(2)), "original");
  SelectionConfiguration newer = current;
  newer.strategy = SelectionStrategy::newer;
  EXPECT_EQ(copyReason(newer, 1, stored), "newer than the copy kept");
  EXPECT_EQ(copyReason(current, 1, std::nullopt),
            "chosen by the selection rules");  // stored without a reason
}

TEST_F(AutoselectorTest, TheOriginalIsTheSameWhateverOrderTheCopiesArriveIn) {
  auto forward = select({copy("m/a.txt"), copy("n/a.txt"), copy("o/a.txt")});
  auto backward = select({copy("o/a.txt"), copy("n/a.txt"), copy("m/a.txt")});
  const auto originalOf = [](const Group& group) {
    return group.nameOf(group.detected.currentSelectionConfiguration.originalID);
  };
  EXPECT_EQ(originalOf(forward), dir / "m/a.txt");
  EXPECT_EQ(originalOf(backward), dir / "m/a.txt");
}

TEST_F(AutoselectorTest, StrategiesNeverProposeACopyInsideANeverSelectFolder) {
  rules.neverSelectPaths = {dir / "zkeep"};
  // The protected copy is the newest and not the first by path: each strategy would take it.
  auto group =
      select({copy("zkeep/v.txt", 10), copy("other/v.txt", 5000), copy("third/v.txt", 3000)});
  for (const auto& configuration : group.detected.availableSelectionConfigurations) {
    EXPECT_FALSE(configuration.isSelected(1)) << identifier(configuration.strategy);
  }
  const auto offered = [&](SelectionStrategy strategy) {
    for (const auto& configuration : group.detected.availableSelectionConfigurations) {
      if (configuration.strategy == strategy) return configuration.selectedIDs;
    }
    return IdentifierSet{};
  };
  EXPECT_EQ(offered(SelectionStrategy::newer), (IdentifierSet{3}));
  EXPECT_EQ(offered(SelectionStrategy::older), (IdentifierSet{2, 3}));
  EXPECT_EQ(offered(SelectionStrategy::random), (IdentifierSet{3}));
}

class SystemFilesTest : public AutoselectorTest {
 protected:
  TestDir lists;
  // A fake dpkg lists folder naming `path` as a file of package "libx11-6".
  void ownedByPackage(const std::string& path) {
    lists.file("libx11-6:amd64.list", "/.\n" + dir.path() + "\n" + path + "\n");
    lists.file("other.list", "/usr/share/doc/other/copyright\n");
  }
};

TEST_F(SystemFilesTest, AFileUnderUsrOrOwnedByAPackageIsNeverProposedAndSaysWhy) {
  ownedByPackage(dir / "lib/libX11.so.6");
  systemFiles = std::make_shared<SystemFiles>(
      SystemFiles::standardFolders("/nonexistent-home"),
      std::make_shared<InstalledPackageFiles>(lists.path(), std::vector<std::string>{dir.path()}));
  auto owned = select({copy("lib/libX11.so.6"), copy("lib copy/libX11.so.6")});
  EXPECT_EQ(owned.infos[0].mode, AutoselectionMode::neverSelect);
  EXPECT_EQ(owned.infos[0].modeReason, AutoselectionModeReason::installedPackage);
  const auto& decision = owned.detected.modeByDuplicateID.at(1);
  EXPECT_EQ(protectionDescription(AutoselectionModeDecision::decode(decision.encode())),
            "belongs to package libx11-6");
  EXPECT_FALSE(owned.detected.currentSelectionConfiguration.isSelected(1));
  for (const auto& configuration : owned.detected.availableSelectionConfigurations) {
    EXPECT_FALSE(configuration.isSelected(1)) << identifier(configuration.strategy);
  }

  // Whatever the name says, a file under /usr stays (and the lists are not needed for it).
  SystemFiles folders(SystemFiles::standardFolders("/home/someone"), nullptr);
  EXPECT_TRUE(folders.ownerOf("/usr/share/doc/libx11-6/copyright (1)").has_value());
  EXPECT_TRUE(folders.ownerOf("/home/someone/.local/share/flatpak/app/x").has_value());
  EXPECT_FALSE(folders.ownerOf("/usrlocal/x").has_value());
  EXPECT_FALSE(folders.ownerOf("/home/someone/Pictures/x.jpg").has_value());
  EXPECT_EQ(protectionDescription(
                {AutoselectionMode::neverSelect, AutoselectionModeReason::systemFolder}),
            "a system file");
}

TEST(InstalledPackageFiles,
     ReadsOnlyWhatLiesInsideTheGivenFoldersAndNamesThePackageWithoutItsArchitecture) {
  TestDir lists;
  lists.file(
      "libx11-6:amd64.list",
      "/.\n/usr\n/usr/lib/x86_64-linux-gnu/libX11.so.6\n/usr/share/doc/libx11-6/copyright\n");
  lists.file("postgresql-client-15.list", "/usr/share/doc/postgresql-client-15/copyright\n");
  lists.file("notes.txt", "/usr/share/doc/nothing\n");
  InstalledPackageFiles packages(lists.path(), {"/usr/share"});
  EXPECT_EQ(packages.packageOf("/usr/share/doc/libx11-6/copyright"), "libx11-6");
  EXPECT_EQ(packages.packageOf("/usr/share/doc/postgresql-client-15/copyright"),
            "postgresql-client-15");
  EXPECT_EQ(packages.packageOf("/usr/lib/x86_64-linux-gnu/libX11.so.6"), std::nullopt)
      << "outside the scan";
  EXPECT_EQ(packages.packageOf("/usr/share/doc/nothing"), std::nullopt) << "not a list";
  EXPECT_EQ(InstalledPackageFiles("/nonexistent", {"/"}).packageOf("/usr/bin/ls"), std::nullopt);
}

// Read ahead, the lists are what they were then. No package installs in the home folder: a list
// naming a file there is not believed.
TEST(InstalledPackageFiles, ReadingAheadKeepsTheListsAsTheyWereAndNothingAtHomeIsLookedUp) {
  TestDir lists;
  const auto listOwning = [&lists](const std::string& paths) {
    lists.file("libx11-6.list", paths);
  };
  listOwning("/srv/data/a.so\n/home/someone/Music/c.so\n");
  InstalledPackageFiles readEarly(lists.path(), {"/srv", "/home/someone"}, "/home/someone");
  readEarly.readAhead();
  listOwning("/srv/data/b.so\n");

  EXPECT_EQ(readEarly.packageOf("/srv/data/a.so"), "libx11-6");
  EXPECT_EQ(readEarly.packageOf("/srv/data/b.so"), std::nullopt) << "listed after the reading";
  EXPECT_EQ(readEarly.packageOf("/home/someone/Music/c.so"), std::nullopt);
  InstalledPackageFiles readOnAsking(lists.path(), {"/srv"}, "/home/someone");
  EXPECT_EQ(readOnAsking.packageOf("/srv/data/b.so"), "libx11-6");
}

TEST_F(AutoselectorTest, ACopyWordAtTheEndOfTheNameLosesToThePlainName) {
  auto group = select({copy("docs/report copy.pdf"), copy("docs/report.pdf")});
  EXPECT_EQ(group.selectedNames(), (std::set<std::string>{"report copy.pdf"}));
  EXPECT_EQ(group.detected.currentSelectionConfiguration.strategy, SelectionStrategy::automatic);
  EXPECT_EQ(
      lastPathComponent(group.nameOf(group.detected.currentSelectionConfiguration.originalID)),
      "report.pdf");
  // A copy word inside a name is no copy word.
  const auto& patterns = group.infos[0].differences->pathComponentPatterns;
  EXPECT_TRUE(patterns.back().hasSuffixMatchingCopyPattern);
  EXPECT_EQ(patterns.back().strippedComponent, "report");
  EXPECT_FALSE(pathComponentPatterns({"copyright.txt"}).back().hasSuffixMatchingCopyPattern);
  EXPECT_FALSE(pathComponentPatterns({"copyright.txt"}).back().hasPrefixMatchingCopyPattern);
}

TEST_F(AutoselectorTest, TheNamesFileManagersGiveToPastedCopiesMarkThemAsCopies) {
  auto group = select({copy("Pictures/beach (copy).jpg"), copy("Pictures/beach.jpg")});
  EXPECT_EQ(group.selectedNames(), (std::set<std::string>{"beach (copy).jpg"}));
  for (const std::string name :
       {"beach (copy).jpg", "beach (another copy).jpg", "beach (3rd copy).jpg",
        "beach (21st copy).jpg", "beach (copy 2).jpg", "beach (Copy).JPG"}) {
    const auto pattern = pathComponentPatterns({name}).back();
    EXPECT_TRUE(pattern.hasSuffixMatchingCopyPattern) << name;
    EXPECT_EQ(pattern.strippedComponent, "beach") << name;
  }
  // A bracket that only holds a copy word among others is part of the name.
  for (const std::string name :
       {"beach (copy of the guide).jpg", "(copy).jpg", "beach (copyright).jpg"})
    EXPECT_FALSE(pathComponentPatterns({name}).back().hasSuffixMatchingCopyPattern) << name;
  // Numbered both ways: "(copy) (2)" is a copy of a copy.
  const auto twice = pathComponentPatterns({"beach (copy) (2).jpg"}).back();
  EXPECT_TRUE(twice.hasSuffixMatchingCopyPattern);
  EXPECT_EQ(twice.numberOfSuffixMatchingNumberPatterns, 1);
  EXPECT_EQ(twice.strippedComponent, "beach");
}

TEST_F(AutoselectorTest, NamesAreMatchedInTheirDecomposedForm) {
  // "Cópia de" written with a precomposed ó, as Linux file names usually are.
  const auto pattern = pathComponentPatterns({"C\u00f3pia de foto.jpg"}).back();
  EXPECT_TRUE(pattern.hasPrefixMatchingCopyPattern);
  EXPECT_EQ(pattern.strippedComponent, "foto");
  const auto numbered = pathComponentPatterns({"photo (2).jpg"}).back();
  EXPECT_EQ(numbered.numberOfSuffixMatchingNumberPatterns, 1);
  EXPECT_EQ(numbered.strippedComponent, "photo");
  const auto folder =
      pathComponentPatterns({"C\u00f3pia de foto", "carpeta sin t\u00edtulo", "x.jpg"});
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
  EXPECT_TRUE(
      application.detected.currentSelectionConfiguration.isSelected(2));  // the download goes
}

TEST_F(AutoselectorTest, EqualCopiesAreBothKeptUnlessRandomAmongEqualIsOn) {
  auto tied = select({copy("b/same.txt"), copy("a/same.txt")});
  EXPECT_EQ(tied.detected.currentSelectionConfiguration.strategy, SelectionStrategy::none);
  EXPECT_TRUE(tied.detected.currentSelectionConfiguration.selectedIDs.empty());
  const auto& offered = tied.detected.availableSelectionConfigurations;
  ASSERT_FALSE(offered.empty());
  EXPECT_EQ(offered.back().strategy, SelectionStrategy::random);
  EXPECT_EQ(offered.back().selectedIDs, (IdentifierSet{1}));  // the larger path, "b/…"
  for (const auto& configuration : offered)
    EXPECT_NE(configuration.strategy, SelectionStrategy::newer);

  rules.selectRandomAmongEqual = true;
  auto broken = select({copy("d/same.txt"), copy("c/same.txt")});
  EXPECT_EQ(broken.detected.currentSelectionConfiguration.strategy, SelectionStrategy::automatic);
  EXPECT_EQ(broken.detected.currentSelectionConfiguration.selectedIDs, (IdentifierSet{1}));
}

TEST_F(AutoselectorTest, ModificationDatesAreArrangedAndOfferNewestAndOldest) {
  rules.smartSelectionRuleInfos = {
      {SmartSelectionRule(SmartSelectionRule::Kind::nonNewestModificationDate), true}};
  auto group = select({copy("old/v.txt", 5000), copy("new/v.txt", 10)});
  EXPECT_TRUE(group.groupDifferences.contains(EquivalenceDifference::dateOfModification));
  EXPECT_FALSE(group.groupDifferences.contains(EquivalenceDifference::name));
  EXPECT_EQ(
      group.infos[0].differences->arrangementFactor(EquivalenceDifference::dateOfModification),
      ArrangementFactor::min);
  EXPECT_EQ(
      group.infos[1].differences->arrangementFactor(EquivalenceDifference::dateOfModification),
      ArrangementFactor::max);
  EXPECT_EQ(group.infos[0].differences->arrangementFactor(EquivalenceDifference::rating),
            ArrangementFactor::undefined);
  // The smart rule takes 2 from the older copy, which goes.
  EXPECT_EQ(group.detected.currentSelectionConfiguration.selectedIDs, (IdentifierSet{1}));
  std::vector<SelectionStrategy> strategies;
  for (const auto& configuration : group.detected.availableSelectionConfigurations)
    strategies.push_back(configuration.strategy);
  EXPECT_EQ(strategies,
            (std::vector<SelectionStrategy>{SelectionStrategy::none, SelectionStrategy::automatic,
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
  EXPECT_EQ(SmartSelectionRule(SmartSelectionRule::Kind::nonLoved).suggestionTitle(),
            "Smart Selection Rule: Loved");
  EXPECT_EQ(SmartSelectionRule::simpleRules().size(), 12u);
  EXPECT_EQ(software.oppositeRules(),
            (std::vector<SmartSelectionRule>{
                SmartSelectionRule(SmartSelectionRule::Kind::nonSoftwareAndOriginal, "Photos")}));
  EXPECT_TRUE(SmartSelectionRule(SmartSelectionRule::Kind::nonLoved).oppositeRules().empty());
  EXPECT_TRUE(SmartSelectionRule(SmartSelectionRule::Kind::nonOldestModificationDate)
                  .supportsExactEquivalences());
  EXPECT_FALSE(SmartSelectionRule(SmartSelectionRule::Kind::nonLoved).supportsExactEquivalences());
  EXPECT_EQ(equivalenceDifferenceFromIdentifier("DateOfModification"),
            EquivalenceDifference::dateOfModification);
  EXPECT_EQ(permission(DuplicateWarning::isLastUnselectedDuplicateOfEquivalence),
            SelectionPermission::allowedWithWarning);
  EXPECT_EQ(permission(DuplicateWarning::isNonWritable), SelectionPermission::denied);
}

TEST(SelectionRules, RulesRoundTripAndAWrongFieldIsRefused) {
  ExtendedAutoselectionRules rules;
  rules.selectRandomAmongEqual = true;
  rules.neverSelectPaths = {"~/Keep"};
  rules.smartSelectionRuleInfos = {
      {SmartSelectionRule(SmartSelectionRule::Kind::nonSoftwareAndOriginal, "GIMP"), false}};
  auto decoded = ExtendedAutoselectionRules::decode(rules.encode());
  ASSERT_TRUE(decoded.hasValue());
  EXPECT_EQ(decoded.value().encode(), rules.encode());
  EXPECT_TRUE(decoded.value().selectRandomAmongEqual);
  EXPECT_FALSE(decoded.value().allowAutoselectionWithinHardlinkedGroups);  // missing: the default
  EXPECT_TRUE(
      ExtendedAutoselectionRules::decode(Json{{"selectRandomAmongEqual", "yes"}}).hasError());

  CleaningRules cleaning;
  cleaning.cleaningOption = FileCleaningOption{FileCleaningOption::Kind::moveToFolder, "/backup"};
  cleaning.overriddenCleaningOptionByVolumePath["/mnt/usb"] =
      FileCleaningOption{FileCleaningOption::Kind::removePermanently, {}};
  auto again = CleaningRules::decode(cleaning.encode());
  ASSERT_TRUE(again.hasValue());
  EXPECT_EQ(again.value().encode(), cleaning.encode());
  EXPECT_TRUE(
      CleaningRules::decode(Json{{"cleaningOption", Json{{"kind", "moveToFolder"}}}}).hasError());
}

TEST(SelectionRules, AVolumeWithAnOverrideHasItsOwnCleaningOption) {
  TestDir dir;
  CleaningRules rules;
  EXPECT_EQ(rules.cleaningOptionForURL(dir.path()).kind, FileCleaningOption::Kind::moveToTrash);
  const auto volume = mountPointForPath(readMountTable(), dir.path());
  ASSERT_TRUE(volume.has_value());
  rules.overriddenCleaningOptionByVolumePath["/nonexistent-volume"] =
      FileCleaningOption{FileCleaningOption::Kind::removePermanently, {}};
  EXPECT_EQ(rules.cleaningOptionForURL(dir.path()).kind, FileCleaningOption::Kind::moveToTrash);
  rules.overriddenCleaningOptionByVolumePath[*volume] =
      FileCleaningOption{FileCleaningOption::Kind::removePermanently, {}};
  EXPECT_EQ(rules.cleaningOptionForURL(dir.path()).kind,
            FileCleaningOption::Kind::removePermanently);
}

TEST(SelectionRules, SelectingByHandWarnsOrRefuses) {
  DuplicateDifferences copy;
  copy.set(accessible);
  copy.set(writable);
  EXPECT_EQ(checkSelection(copy, false).permission, SelectionPermission::allowed);
  const auto last = checkSelection(copy, true);
  EXPECT_EQ(last.permission, SelectionPermission::allowedWithWarning);
  ASSERT_EQ(last.warnings.size(), 1u);
  EXPECT_EQ(description(last.warnings[0]), "Last copy of the group not selected for removal");
  copy.set(writable, false);
  const auto readOnly = checkSelection(copy, true);
  EXPECT_EQ(readOnly.permission, SelectionPermission::denied);
  EXPECT_EQ(readOnly.warnings.back(), DuplicateWarning::isNonWritable);
  copy.set(writable);
  copy.set(memberOfPhotosLibrary);
  copy.set(memberOfNonTestedMediaLibrary);
  EXPECT_EQ(checkSelection(copy, false).warnings,
            (std::vector<DuplicateWarning>{DuplicateWarning::isMemberOfNonTestedPhotosLibrary}));
  EXPECT_EQ(permission(DuplicateWarning::isSystemFile), SelectionPermission::allowedWithWarning);
}

TEST(IdentifierSet, KeepsEachIdentifierOnceInOrder) {
  IdentifierSet set{5, 1, 5, 3};
  EXPECT_EQ(std::vector<std::int64_t>(set.begin(), set.end()),
            (std::vector<std::int64_t>{1, 3, 5}));
  set.insert(3);
  set.insert(2);
  set.erase(7);
  set.erase(5);
  EXPECT_EQ(set, (IdentifierSet{1, 2, 3}));
  EXPECT_EQ(set.count(2), 1u);
  EXPECT_EQ(set.count(5), 0u);
  EXPECT_EQ(SelectionConfiguration::decode(
                SelectionConfiguration{SelectionStrategy::newer, 1, set}.encode())
                ->selectedIDs,
            set);
}

}  // namespace
}  // namespace zarnik
