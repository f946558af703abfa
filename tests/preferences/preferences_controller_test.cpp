// The preferences controller: change notifications, stored suppression, the lists of the
// preferences store and the extended preferences built from them.
#include "preferences/preferences_controller.h"

#include "support/test_dir.h"

#include "foundation/unique_function.h"
#include "preferences/tolerant_json_reader.h"

#include <gtest/gtest.h>

#include <deque>

namespace zarnik {
namespace {

using testing::TestDir;

// Runs what it is given only when asked, so that a test sees what was delivered where.
class QueuedExecutor final : public Executor {
 public:
  void execute(Task task) override { tasks_.push_back(std::move(task)); }
  size_t runAll() {
    size_t count = 0;
    while (!tasks_.empty()) {
      auto task = std::move(tasks_.front());
      tasks_.pop_front();
      task();
      ++count;
    }
    return count;
  }

 private:
  std::deque<Task> tasks_;
};

class PreferencesControllerTest : public ::testing::Test {
 protected:
  TestDir dir;
  TestDir home;
  OVURLResolver resolver{home.path()};

  std::unique_ptr<PreferencesController> open(std::optional<std::string> defaults = std::nullopt) {
    auto opened = PreferencesController::open(
        {dir / "settings.json", dir / "preferences.db", std::move(defaults)}, resolver);
    EXPECT_TRUE(opened.hasValue()) << opened.error().oneLine();
    return std::move(opened).value();
  }
};

TEST_F(PreferencesControllerTest, AnObserverHearsChangesOfItsKeyOnItsExecutorOnly) {
  auto preferences = open();
  QueuedExecutor queue;
  std::vector<Json> heard;
  auto token = preferences->observe("mixedPreferences.schedulePeriodOption", queue,
                                    [&](const Json& v) { heard.push_back(v); });
  ASSERT_TRUE(preferences->setValue("mixedPreferences.statusItemIcon", 2).hasValue());
  ASSERT_TRUE(preferences->setValue("mixedPreferences.schedulePeriodOption", 1).hasValue());
  EXPECT_TRUE(heard.empty()) << "delivered on the observer's executor, not the writer's thread";
  queue.runAll();
  EXPECT_EQ(heard, std::vector<Json>{Json(1)});
}

TEST_F(PreferencesControllerTest, ASubStorageObserverHearsAnyChangeInside) {
  auto preferences = open();
  std::vector<std::string> heard;
  auto token = preferences->observe("scanRules", Executor::immediate(), [&](const Json& rules) {
    heard.push_back(dumpJson(rules["rawImageMatchThreshold"]));
  });
  ASSERT_TRUE(preferences->setValue("scanRules.rawImageMatchThreshold", 5).hasValue());
  EXPECT_EQ(heard, std::vector<std::string>{"5"});
}

TEST_F(PreferencesControllerTest, TheMonitorSwitchStoresTwoWhenTurnedOffAndItsObserversHear) {
  auto preferences = open();
  auto mixed = preferences->storage().mixedPreferences();
  std::vector<Json> heard;
  auto token =
      preferences->observe("mixedPreferences.isDuplicatesMonitorEnabled", Executor::immediate(),
                           [&](const Json& v) { heard.push_back(v); });
  EXPECT_FALSE(mixed->isDuplicatesMonitorEnabled());
  mixed->setDuplicatesMonitorEnabled(false);
  EXPECT_EQ(mixed->duplicatesMonitorPermission(), 2);
  EXPECT_FALSE(mixed->isDuplicatesMonitorEnabled());
  mixed->setDuplicatesMonitorEnabled(true);
  EXPECT_EQ(heard, (std::vector<Json>{false, true}));
}

TEST_F(PreferencesControllerTest, NestedSuppressionsWriteOnceWhenTheLastEnds) {
  auto preferences = open();
  {
    auto outer = preferences->suppressStoring();
    {
      auto inner = preferences->suppressStoring();
      ASSERT_TRUE(preferences->setValue("mixedPreferences.statusItemIcon", 6).hasValue());
      EXPECT_EQ(preferences->storage().mixedPreferences()->valueForKey("statusItemIcon"), 6)
          << "applied in memory";
    }
    EXPECT_EQ(preferences->storeSuppressionCounter(), 1);
    EXPECT_EQ(::access((dir / "settings.json").c_str(), F_OK), -1) << "not stored while suppressed";
  }
  EXPECT_EQ(parseJson(testing::contentsOf(dir / "settings.json"))
                .value()["mixedPreferences"]["statusItemIcon"],
            6);
}

TEST_F(PreferencesControllerTest,
       AFolderIsIgnoredOnceUnderItsTildeFormWithOrWithoutATrailingSeparator) {
  auto preferences = open();
  const std::string photos = home.dir("Photos");
  EXPECT_TRUE(preferences->canAddNodeToIgnoreList(photos));
  ASSERT_TRUE(preferences->addNodesToIgnoreList({photos}).hasValue());
  EXPECT_FALSE(preferences->canAddNodeToIgnoreList(photos));
  EXPECT_FALSE(preferences->canAddNodeToIgnoreList(photos + "/"));
  ASSERT_EQ(preferences->lists().ignoreItems.size(), 1u);
  EXPECT_EQ(preferences->lists().ignoreItems[0].path, "~/Photos/");
  EXPECT_TRUE(preferences->canRemoveNodeFromIgnoreList(photos + "/"));
  ASSERT_TRUE(preferences->removeNodesFromIgnoreList({photos + "/"}).hasValue());
  EXPECT_TRUE(preferences->lists().ignoreItems.empty());
}

TEST_F(PreferencesControllerTest, ExtensionsAreComparedInLowerCase) {
  auto preferences = open();
  ASSERT_TRUE(preferences->addExtensionToIgnoreList(".ISO").hasValue());
  EXPECT_FALSE(preferences->canAddExtensionToIgnoreList("iso"));
  EXPECT_FALSE(preferences->canAddExtensionToIgnoreList("/some/where/disk.Iso"));
  ASSERT_TRUE(preferences->addExtensionToIgnoreList("tmp").hasValue());
  ASSERT_EQ(preferences->lists().ignoreItems.size(), 1u) << "the user's extensions share one group";
  ASSERT_TRUE(preferences->removeExtensionFromIgnoreList("ISO").hasValue());
  EXPECT_EQ(preferences->lists().ignoreItems[0].pathExtensions, std::vector<std::string>{"tmp"});
}

TEST_F(PreferencesControllerTest, TheExtendedPreferencesCarryTheListsAndTheStoredRules) {
  {
    auto preferences = open();
    ASSERT_TRUE(preferences->addNodesToIgnoreList({home.dir("Cache")}).hasValue());
    ASSERT_TRUE(preferences->addExtensionToIgnoreList("iso").hasValue());
    ASSERT_TRUE(preferences->addNameExpressionToIgnoreList("^~\\$").hasValue());
    ASSERT_TRUE(preferences->neverSelectLocation(home.dir("Photos")).hasValue());
    ASSERT_TRUE(preferences->alwaysSelectLocation(home.dir("Downloads")).hasValue());
    ASSERT_TRUE(preferences
                    ->addSmartSelectionRuleInfo(
                        {SmartSelectionRule(SmartSelectionRule::Kind::nonLoved), true})
                    .hasValue());
    ASSERT_TRUE(preferences->setValue("cleaningRules.removeEmptyDirectories", false).hasValue());
    ASSERT_TRUE(
        preferences->setValue("autoselectionRules.selectRandomAmongEqual", true).hasValue());
  }
  auto preferences = open();  // everything read back from the files
  const Preferences& extended = preferences->extendedPreferences();
  EXPECT_EQ(extended.scanRules->exclusionRulesByPath().count("~/Cache/"), 1u);
  EXPECT_EQ(extended.scanRules->exclusionRulesByPathExtension().count("iso"), 1u);
  EXPECT_EQ(extended.scanRules->nodeNameRegExpByMembershipMode().at("Regular"),
            std::vector<std::string>{"^~\\$"});
  EXPECT_TRUE(extended.scanRules->exactMatchEnabled());
  EXPECT_EQ(extended.autoselectionRules.neverSelectPaths,
            std::vector<std::string>{home / "Photos"});
  EXPECT_EQ(extended.autoselectionRules.alwaysSelectPaths,
            std::vector<std::string>{home / "Downloads"});
  ASSERT_EQ(extended.autoselectionRules.smartSelectionRuleInfos.size(), 1u);
  EXPECT_TRUE(extended.autoselectionRules.selectRandomAmongEqual);
  EXPECT_FALSE(extended.cleaningRules.removeEmptyDirectories);
}

TEST_F(PreferencesControllerTest, AFolderHasOneSelectionRuleTheLastOneGiven) {
  auto preferences = open();
  const std::string folder = home.dir("Shared");
  ASSERT_TRUE(preferences->alwaysSelectLocation(folder).hasValue());
  ASSERT_TRUE(preferences->neverSelectLocation(folder).hasValue());
  ASSERT_EQ(preferences->lists().selectionRules.size(), 1u);
  EXPECT_EQ(preferences->lists().selectionRules[0].kind, ZKSelectionRule::Kind::never);
  EXPECT_FALSE(preferences->removeSelectionRule(ZKSelectionRule::Kind::always, folder).value());
  EXPECT_TRUE(preferences->removeSelectionRule(ZKSelectionRule::Kind::never, folder).value());
}

TEST_F(PreferencesControllerTest, AFirstLaunchStartsWithTheDescribedListsAndRestoresThem) {
  const std::string description = dir.file("defaults.json", R"({
    "preference values": {"mixedPreferences": {"statusItemIcon": 1}, "scanRules": {"rawImageMatchThreshold": 4}},
    "ignored extension": [{"enabled": true, "editable": false, "hidden": false, "membershipMode": "Regular", "pathExtensions": ["part"]}],
    "ignored nodes": [{"enabled": true, "editable": true, "hidden": false, "membershipMode": "Regular", "path": "~/.cache/"}],
    "always selection rules": [], "never selection rules": [{"enabled": true, "hidden": false, "path": "~/Pictures/"}],
    "smart selection rules": [{"rule": {"identifier": "NonLoved"}, "isEnabled": false}]})");
  auto preferences = open(description);
  EXPECT_EQ(preferences->defaults().mixedPreferences()->valueForKey("statusItemIcon"), 1);
  EXPECT_EQ(preferences->storage().scanRules()->rawImageMatchThreshold(), 4);
  ASSERT_EQ(preferences->lists().ignoreItems.size(), 2u);
  ASSERT_EQ(preferences->lists().smartSelectionRules.size(), 1u);
  EXPECT_FALSE(preferences->lists().smartSelectionRules[0].isEnabled());
  EXPECT_FALSE(preferences->canRemoveNodeFromIgnoreList(home / "missing")) << "never listed";
  ASSERT_TRUE(preferences->removeNodesFromIgnoreList({home / ".cache"}).hasValue());
  ASSERT_TRUE(preferences->removeExtensionFromIgnoreList("part").hasValue());
  EXPECT_EQ(preferences->lists().ignoreItems.size(), 1u) << "a group the user may not edit stays";
  ASSERT_TRUE(preferences->restoreDefaultIgnoreItems().hasValue());
  EXPECT_EQ(preferences->lists().ignoreItems.size(), 2u);
  EXPECT_EQ(open(description)->lists().ignoreItems.size(), 2u) << "filled on the first launch only";
  const Json built = preferences->buildDefaultValuesInfo();
  EXPECT_EQ(built["ignored nodes"].size(), 1u);
  EXPECT_EQ(built["never selection rules"][0]["path"], "~/Pictures/");
}

TEST_F(PreferencesControllerTest, ItemsOfTheWrongFormAreRefusedWithTheirText) {
  auto refused = ZKIgnoreItem::fromJson(Json::array(), ZKIgnoreItem::Kind::node);
  ASSERT_TRUE(refused.hasError());
  EXPECT_EQ(refused.error().description, "Invalid ignore item json []");
  auto group =
      ZKIgnoreItem::fromJson(Json{{"pathExtensions", 3}}, ZKIgnoreItem::Kind::extensionGroup);
  EXPECT_EQ(group.error().description,
            "Invalid extension ignore item group json object {\"pathExtensions\":3}");
  EXPECT_TRUE(
      ZKSelectionRule::fromJson(Json{{"path", 1}}, ZKSelectionRule::Kind::never).hasError());
}

TEST_F(PreferencesControllerTest, ADamagedStoreIsSetAsideAndTheListsStartAgain) {
  ASSERT_TRUE(open()->addExtensionToIgnoreList("iso").hasValue());
  dir.file("preferences.db", std::string(8192, 'x'));
  auto preferences = open();
  ASSERT_EQ(preferences->notices().size(), 1u);
  EXPECT_NE(preferences->notices()[0].find(dir / "preferences.db.damaged-"), std::string::npos)
      << preferences->notices()[0];
  EXPECT_TRUE(preferences->lists().ignoreItems.empty());
  ASSERT_TRUE(preferences->addExtensionToIgnoreList("iso").hasValue())
      << "the fresh store takes changes";
}

TEST(TolerantJsonReader, KeepsWholeMembersBeforeACutAndDropsUnfinishedListsAndNumbers) {
  auto reading = readJsonTolerantly(R"({"a": true, "b": {"c": "x", "d": [1, 2)");
  EXPECT_FALSE(reading.complete);
  EXPECT_EQ(reading.value, (Json{{"a", true}, {"b", {{"c", "x"}}}}));
  EXPECT_EQ(readJsonTolerantly(R"({"a": 1, "b": 12)").value, (Json{{"a", 1}}))
      << "12 may be the start of 125";
  EXPECT_TRUE(readJsonTolerantly(R"({"a": 1})").complete);
}

TEST(TolerantJsonReader, RefusesNestingDeeperThanTheLimit) {
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  auto reading = readJsonTolerantly(deep);
  EXPECT_FALSE(reading.complete);
  EXPECT_NE(reading.problem.find("nested deeper"), std::string::npos);
  EXPECT_TRUE(readJsonTolerantly(std::string(64, '[') + std::string(64, ']')).complete);
}

}  // namespace
}  // namespace zarnik
