// The settings file: damaged files set aside with every readable key kept, unknown keys kept,
// older files migrated, and changes from two processes at once all kept.
#include "support/test_dir.h"

#include "base/json.h"
#include "preferences/preferences_controller.h"
#include "preferences/setting_descriptions.h"
#include "preferences/settings_migration.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zarnik {
namespace {

using testing::TestDir;

class SettingsFileTest : public ::testing::Test {
 protected:
  TestDir dir;
  std::string settings = dir / "config/settings.json";

  PreferencesLocations locations() const { return {settings, std::nullopt, std::nullopt}; }
  std::unique_ptr<PreferencesController> open() {
    auto opened = PreferencesController::open(locations(), OVURLResolver("/home/someone"));
    EXPECT_TRUE(opened.hasValue()) << opened.error().oneLine();
    return std::move(opened).value();
  }
  Json value(const PreferencesController& preferences, std::string_view key) {
    const SettingDescription* setting = findSetting(key);
    const BaseStorage& owner = setting->owner.empty()
                                   ? static_cast<const BaseStorage&>(preferences.storage())
                                   : *preferences.storage().substorage(setting->owner);
    return owner.valueForKey(setting->name);
  }
  std::vector<std::string> setAsideFiles() {
    std::vector<std::string> names;
    DIR* folder = ::opendir((dir / "config").c_str());
    while (dirent* entry = folder ? ::readdir(folder) : nullptr) {
      if (std::string(entry->d_name).find("settings.json.damaged-") == 0)
        names.push_back(dir / "config/" + entry->d_name);
    }
    if (folder) ::closedir(folder);
    return names;
  }
};

TEST_F(SettingsFileTest, AFreshHomeHasTheDefaultsAndNothingToTell) {
  auto preferences = open();
  EXPECT_TRUE(preferences->notices().empty());
  EXPECT_TRUE(preferences->storage().scanRules()->exactMatchEnabled());
  EXPECT_TRUE(preferences->storage().scanRules()->sizeThresholdOption().isAutomatic());
  EXPECT_EQ(preferences->storage().mixedPreferences()->schedulePeriodOption(),
            SchedulePeriodOption::monthly);
  EXPECT_EQ(value(*preferences, "lastPreferencesMigrationAtVersionString"), "2.2.5");
}

TEST_F(SettingsFileTest, ValuesPersistAcrossOpeningsAndTheFileIsReadableJson) {
  ASSERT_TRUE(open()->setValue("mixedPreferences.soundsEnabled", false).hasValue());
  ASSERT_TRUE(open()->setValue("scanRules.rawImageMatchThreshold", 7).hasValue());
  auto preferences = open();
  EXPECT_EQ(value(*preferences, "soundsEnabled"), false);
  EXPECT_EQ(value(*preferences, "rawImageMatchThreshold"), 7);
  const std::string text = testing::contentsOf(settings);
  EXPECT_NE(text.find("\n  \"mixedPreferences\": {\n"), std::string::npos) << text;
}

TEST_F(SettingsFileTest, AWrongTypeOrOutOfRangeValueIsRefusedNamingKeyTypeAndRange) {
  auto preferences = open();
  auto wrongType = preferences->setValue("scanRules.exactMatchEnabled", "yes");
  ASSERT_TRUE(wrongType.hasError());
  EXPECT_NE(wrongType.error().description.find("scanRules.exactMatchEnabled"), std::string::npos);
  EXPECT_NE(wrongType.error().description.find("a boolean"), std::string::npos);
  auto outOfRange = parseSettingText(*findSetting("scanRules.rawImageMatchThreshold"), "65");
  ASSERT_TRUE(outOfRange.hasError());
  EXPECT_NE(outOfRange.error().description.find("an integer from 0 to 64"), std::string::npos)
      << outOfRange.error().description;
  EXPECT_TRUE(parseSettingText(*findSetting("schedulePeriodOption"), "fortnightly").hasError());
  EXPECT_EQ(parseSettingText(*findSetting("schedulePeriodOption"), "weekly").value(), 1);
  EXPECT_EQ(parseSettingText(*findSetting("scanRules.sizeThresholdOption"), "5000").value(),
            (Json{{"kind", "size"}, {"size", 5000}}));
  EXPECT_TRUE(parseSettingText(*findSetting("scanRules.sizeThresholdOption"), "-1").hasError());
  EXPECT_TRUE(parseSettingText(*findSetting("lastScanDate"), "2026-02-30").hasError());
  EXPECT_EQ(parseSettingText(*findSetting("lastScanDate"), "1970-01-02T00:00:10Z").value(),
            86410.0);
  EXPECT_EQ(::access(settings.c_str(), F_OK), -1) << "nothing written by refused values";
}

TEST_F(SettingsFileTest, ATruncatedFileKeepsTheKeysBeforeTheCutAndIsSetAsideOnce) {
  {
    auto preferences = open();
    ASSERT_TRUE(preferences->setValue("developerMode", true).hasValue());
    ASSERT_TRUE(preferences->setValue("mixedPreferences.statusItemIcon", 4).hasValue());
    ASSERT_TRUE(preferences->setValue("scanRules.rawImageMatchThreshold", 9).hasValue());
  }
  const std::string whole = testing::contentsOf(settings);
  const size_t cut = whole.find("\"scanRules\"");
  ASSERT_NE(cut, std::string::npos);
  dir.file("config/settings.json", whole.substr(0, cut + 40));

  auto preferences = open();
  EXPECT_EQ(value(*preferences, "developerMode"), true);
  EXPECT_EQ(value(*preferences, "statusItemIcon"), 4);
  EXPECT_EQ(value(*preferences, "rawImageMatchThreshold"), 3)
      << "written after the cut: its default applies";
  ASSERT_EQ(preferences->notices().size(), 1u);
  const auto aside = setAsideFiles();
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_NE(preferences->notices()[0].find(aside[0]), std::string::npos)
      << preferences->notices()[0];
  EXPECT_EQ(testing::contentsOf(aside[0]), whole.substr(0, cut + 40))
      << "the damaged file is kept as it was";
  EXPECT_TRUE(open()->notices().empty()) << "told once";
  EXPECT_EQ(value(*open(), "statusItemIcon"), 4);
}

TEST_F(SettingsFileTest, AValueOfTheWrongTypeFallsBackAloneAndTheOthersStay) {
  dir.file("config/settings.json", R"({"developerMode": true,
    "mixedPreferences": {"lastPreferencesMigrationAtVersionString": "2.3.0", "soundsEnabled": "loud",
                         "schedulePeriodOption": 99, "statusItemIcon": 2},
    "scanRules": {"exactMatchEnabled": false, "sizeThresholdOption": {"kind": "size", "size": -5}}})");
  auto preferences = open();
  EXPECT_EQ(value(*preferences, "developerMode"), true);
  EXPECT_EQ(value(*preferences, "statusItemIcon"), 2);
  EXPECT_EQ(value(*preferences, "exactMatchEnabled"), false);
  EXPECT_EQ(value(*preferences, "soundsEnabled"), true);
  EXPECT_EQ(value(*preferences, "schedulePeriodOption"), 3);
  EXPECT_TRUE(preferences->storage().scanRules()->sizeThresholdOption().isAutomatic());
  ASSERT_EQ(preferences->notices().size(), 1u);
  const std::string& notice = preferences->notices()[0];
  for (const char* key : {"mixedPreferences.soundsEnabled", "mixedPreferences.schedulePeriodOption",
                          "scanRules.sizeThresholdOption"}) {
    EXPECT_NE(notice.find(key), std::string::npos) << notice;
  }
  EXPECT_EQ(notice.find("statusItemIcon"), std::string::npos) << notice;
  EXPECT_EQ(setAsideFiles().size(), 1u);
}

TEST_F(SettingsFileTest, RandomBytesGiveEveryDefault) {
  std::mt19937 random(7);
  std::string bytes(512, '\0');
  for (auto& byte : bytes) byte = static_cast<char>(random());
  dir.file("config/settings.json", bytes);
  auto preferences = open();
  EXPECT_EQ(value(*preferences, "statusItemIcon"), 0);
  EXPECT_TRUE(preferences->storage().scanRules()->exactMatchEnabled());
  ASSERT_EQ(preferences->notices().size(), 1u);
  EXPECT_NE(preferences->notices()[0].find("every setting"), std::string::npos)
      << preferences->notices()[0];
  EXPECT_EQ(testing::contentsOf(setAsideFiles().at(0)), bytes);
  EXPECT_TRUE(parseJson(testing::contentsOf(settings)).hasValue()) << "written afresh";
}

TEST_F(SettingsFileTest, KeysThisVersionDoesNotKnowAreWrittenBack) {
  dir.file(
      "config/settings.json",
      R"({"fromALaterVersion": {"x": [1, 2]}, "mixedPreferences": {"lastPreferencesMigrationAtVersionString": "2.3.0", "newKnob": 5}})");
  ASSERT_TRUE(open()->setValue("mixedPreferences.statusItemIcon", 1).hasValue());
  auto written = parseJson(testing::contentsOf(settings)).value();
  EXPECT_EQ(written["fromALaterVersion"], (Json{{"x", {1, 2}}}));
  EXPECT_EQ(written["mixedPreferences"]["newKnob"], 5);
  EXPECT_EQ(written["mixedPreferences"]["statusItemIcon"], 1);
}

TEST_F(SettingsFileTest, ALinkedSettingsFileIsWrittenWhereItLies) {
  const std::string target = dir.file("dotfiles/zarnik-settings.json", "{}");
  dir.symlink("config/settings.json", target);
  ASSERT_TRUE(open()->setValue("mixedPreferences.statusItemIcon", 8).hasValue());
  EXPECT_EQ(parseJson(testing::contentsOf(target)).value()["mixedPreferences"]["statusItemIcon"],
            8);
  struct stat st {};
  ASSERT_EQ(::lstat(settings.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays";
}

TEST_F(SettingsFileTest, AFileOfTheOlderLayoutIsMigratedAndRewritten) {
  dir.file("config/settings.json",
           R"({"mixedPreferences": {"lastPreferencesMigrationAtVersionString": "2.2.5",
      "schedulePeriodOption": "onceInTwoWeeks", "statusItemIcon": 3},
    "scanRules": {"sizeThresholdOption": 5000}})");
  auto preferences = open();
  EXPECT_TRUE(preferences->notices().empty()) << preferences->notices()[0];
  EXPECT_EQ(preferences->storage().mixedPreferences()->schedulePeriodOption(),
            SchedulePeriodOption::onceInTwoWeeks);
  EXPECT_EQ(preferences->storage().scanRules()->sizeThresholdOption(),
            SizeThresholdOption::size(5000));
  EXPECT_EQ(value(*preferences, "statusItemIcon"), 3);
  auto written = parseJson(testing::contentsOf(settings)).value();
  EXPECT_EQ(written["mixedPreferences"]["lastPreferencesMigrationAtVersionString"],
            std::string(kSettingsVersion));
  EXPECT_EQ(written["mixedPreferences"]["schedulePeriodOption"], 2);
  EXPECT_EQ(written["scanRules"]["sizeThresholdOption"], (Json{{"kind", "size"}, {"size", 5000}}));
}

TEST_F(SettingsFileTest, AFileOfTheCurrentLayoutIsNotMigratedAgain) {
  Json document{
      {"mixedPreferences",
       {{"lastPreferencesMigrationAtVersionString", "2.3.0"}, {"schedulePeriodOption", "weekly"}}}};
  EXPECT_FALSE(migrateSettingsDocument(document));
  EXPECT_EQ(document["mixedPreferences"]["schedulePeriodOption"], "weekly")
      << "left for the reader to find damaged";
}

TEST_F(SettingsFileTest, TwoProcessesSettingDifferentKeysLoseNoChange) {
  ASSERT_TRUE(open()->setValue("mixedPreferences.duplicatesMonitorNodeLimit", 1).hasValue());
  auto writer = [&](std::string_view key) {
    const pid_t child = ::fork();
    if (child != 0) return child;
    auto opened = PreferencesController::open(locations(), OVURLResolver("/home/someone"));
    int failures = opened.hasError() ? 1 : 0;
    for (int i = 1; i <= 200 && failures == 0; ++i)
      failures += opened.value()->setValue(key, i).hasError() ? 1 : 0;
    ::_exit(failures == 0 ? 0 : 1);
  };
  const pid_t first = writer("mixedPreferences.duplicatesMonitorNodeLimit");
  const pid_t second = writer("mixedPreferences.schedulerNumberOfCleanupsThreshold");
  for (pid_t child : {first, second}) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  auto preferences = open();
  EXPECT_EQ(value(*preferences, "duplicatesMonitorNodeLimit"), 200);
  EXPECT_EQ(value(*preferences, "schedulerNumberOfCleanupsThreshold"), 200);
}

}  // namespace
}  // namespace zarnik
