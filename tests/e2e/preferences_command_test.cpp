// Black-box tests of the stored preferences: `zarnik config`, `ignore` and `rules` steer the next
// scans, a flag overrides a setting for one run, and bad input changes nothing.
#include "e2e/zarnik_runner.h"
#include "support/test_dir.h"

#include "base/json.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace zarnik {
namespace {

using testing::quoted;
using testing::runZarnik;

class PreferencesCommandTest : public testing::ZarnikProgramTest {
 protected:
  // Each group's copies as "path:autoselected".
  std::vector<std::vector<std::string>> groups(const std::string& flags) {
    auto run = runZarnik("scan -q --exact --json " + flags + " " + quoted(tree.path()), scratch);
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<std::vector<std::string>> found;
    auto document = parseJson(run.out);
    if (document.hasError()) return found;
    for (const auto& equivalence : document.value()["groups"]) {
      std::vector<std::string> copies;
      for (const auto& copy : equivalence["duplicates"]) {
        copies.push_back(*bytesFromJson(copy["path"]) +
                         (copy["autoselect"].get<bool>() ? ":remove" : ":keep"));
      }
      found.push_back(copies);
    }
    return found;
  }
  testing::Run zarnik(const std::string& arguments) { return runZarnik(arguments, scratch); }
  std::string settingsText() {
    return testing::contentsOf(scratch / "config/zarnik/settings.json");
  }
};

using Groups = std::vector<std::vector<std::string>>;

TEST_F(PreferencesCommandTest,
       AnIgnoredFolderAnIgnoredExtensionAndANeverSelectFolderChangeTheNextScans) {
  tree.file("a/x.txt", "pair one");
  tree.file("b/x.txt", "pair one");
  tree.file("skip/y.txt", "pair two");
  tree.file("c/y.txt", "pair two");
  tree.file("a/z.iso", "pair three");
  tree.file("b/z.iso", "pair three");
  tree.file("keep/w.txt", "pair four");
  tree.file("other/w.txt", "pair four");
  EXPECT_EQ(groups("--min-size 0").size(), 4u);

  ASSERT_EQ(zarnik("ignore add " + quoted(tree / "skip")).status, 0);
  ASSERT_EQ(zarnik("ignore add --ext ISO").status, 0);
  ASSERT_EQ(zarnik("rules never add " + quoted(tree / "keep")).status, 0);
  ASSERT_EQ(zarnik("rules always add " + quoted(tree / "other")).status, 0);
  const Groups expected = {{"a/x.txt:keep", "b/x.txt:keep"},
                           {"keep/w.txt:keep", "other/w.txt:remove"}};
  EXPECT_EQ(groups("--min-size 0"), expected);
  EXPECT_EQ(groups("--min-size 0"), expected) << "kept for every scan";

  auto listed = zarnik("ignore list --json");
  ASSERT_EQ(listed.status, 0) << listed.err;
  const Json ignored = parseJson(listed.out).value();
  EXPECT_EQ(ignored["extensions"], Json::array({"iso"}));
  EXPECT_EQ(ignored["paths"].size(), 1u);

  ASSERT_EQ(zarnik("ignore remove --ext iso " + quoted(tree / "skip")).status, 0);
  ASSERT_EQ(zarnik("rules always remove " + quoted(tree / "other")).status, 0);
  EXPECT_EQ(groups("--min-size 0").size(), 4u);
}

TEST_F(PreferencesCommandTest, AFlagOverridesItsSettingForOneRunOnly) {
  tree.file("a/small.txt", "small pair");
  tree.file("b/small.txt", "small pair");
  ASSERT_EQ(zarnik("config set scanRules.sizeThresholdOption 1000000").status, 0);
  EXPECT_TRUE(groups("").empty()) << "the stored threshold hides the small pair";
  EXPECT_EQ(groups("--min-size 0").size(), 1u);
  EXPECT_TRUE(groups("").empty()) << "the flag did not change the setting";
  auto got = zarnik("config get scanRules.sizeThresholdOption");
  EXPECT_EQ(got.out, "1000000\n");

  ASSERT_EQ(zarnik("rules never add " + quoted(tree / "a")).status, 0);
  const Groups withFlag = groups("--min-size 0 --always-select " + quoted(tree / "b"));
  EXPECT_EQ(withFlag, (Groups{{"a/small.txt:keep", "b/small.txt:remove"}}));
  EXPECT_EQ(groups("--min-size 0"), (Groups{{"a/small.txt:keep", "b/small.txt:keep"}}));
}

TEST_F(PreferencesCommandTest, ConfigSetRefusesAWrongTypeOrRangeNamingTheKeyAndWritesNothing) {
  ASSERT_EQ(zarnik("config set soundsEnabled false").status, 0);
  const std::string before = settingsText();
  auto wrongType = zarnik("config set scanRules.exactMatchEnabled maybe");
  EXPECT_EQ(wrongType.status, 2);
  EXPECT_EQ(wrongType.err,
            "zarnik: scanRules.exactMatchEnabled: maybe is not a boolean (true or false)\n");
  auto outOfRange = zarnik("config set duplicatesMonitorNodeLimit 0");
  EXPECT_EQ(outOfRange.status, 2);
  EXPECT_NE(outOfRange.err.find("an integer from 1 to 100000000"), std::string::npos)
      << outOfRange.err;
  EXPECT_EQ(zarnik("config set noSuchKey 1").status, 2);
  EXPECT_EQ(settingsText(), before);

  auto list = zarnik("config list");
  EXPECT_NE(list.out.find("mixedPreferences.soundsEnabled=false  (default: true)\n"),
            std::string::npos)
      << list.out;
  EXPECT_NE(list.out.find("scanRules.exactMatchEnabled=true\n"), std::string::npos);
  ASSERT_EQ(zarnik("config reset soundsEnabled").status, 0);
  EXPECT_EQ(zarnik("config get soundsEnabled").out, "true\n");
}

TEST_F(PreferencesCommandTest, ADamagedSettingsFileIsSetAsideAndTheUserToldOnceWhere) {
  ASSERT_EQ(zarnik("config set statusItemIcon 3").status, 0);
  const std::string whole = settingsText();
  const std::string cut = whole.substr(0, whole.find("\"scanRules\""));
  scratch.file("config/zarnik/settings.json", cut);
  auto first = zarnik("config get statusItemIcon");
  EXPECT_EQ(first.status, 0);
  EXPECT_EQ(first.out, "3\n") << "read before the damage";
  ASSERT_EQ(std::count(first.err.begin(), first.err.end(), '\n'), 1) << first.err;
  const auto at = first.err.find("moved to ");
  ASSERT_NE(at, std::string::npos) << first.err;
  const std::string aside = first.err.substr(at + 9, first.err.find(' ', at + 9) - at - 9);
  EXPECT_EQ(testing::contentsOf(aside), cut);
  auto second = zarnik("config get statusItemIcon");
  EXPECT_EQ(second.err, "") << "told once";
}

TEST_F(PreferencesCommandTest,
       ImportingMalformedOrHostileRulesChangesNothingAndExportedRulesComeBack) {
  ASSERT_EQ(zarnik("ignore add " + quoted(tree.dir("old"))).status, 0);
  ASSERT_EQ(zarnik("config set scanRules.rawImageMatchThreshold 5").status, 0);
  const std::string exported = scratch / "rules.json";
  ASSERT_EQ(zarnik("config export-rules " + quoted(exported)).status, 0);
  const std::string settings = settingsText();
  const std::string ignoreList = zarnik("ignore list --json").out;

  const std::vector<std::string> hostile = {
      std::string(5000, '[') + std::string(5000, ']'),
      "{\"exclusionRulesByPath\": " + std::string(3000, '{'),
      R"({"rawImageMatchThreshold": 1e400})",
      R"({"rawImageMatchThreshold": 123456789012345678901234567890})",
      R"({"exactMatchEnabled": "yes"})",
      R"({"sizeThresholdOption": {"kind": "size", "size": -1}})",
      R"({"exclusionRulesByPath": {"~/a/": {"membershipMode": 7}}})",
      R"({"exclusionRulesByPathExtension": {"iso": {"isIgnored": "yes"}}})",
      R"({"noSuchRule": true})",
      "[1, 2, 3]",
      "\x89PNG not json",
  };
  for (size_t i = 0; i < hostile.size(); ++i) {
    const std::string file = tree.file("hostile-" + std::to_string(i) + ".json", hostile[i]);
    auto run = zarnik("config import-rules " + quoted(file));
    EXPECT_EQ(run.status, 2) << hostile[i].substr(0, 80) << "\n" << run.err;
    EXPECT_NE(run.err.find(file), std::string::npos) << run.err;
  }
  EXPECT_EQ(settingsText(), settings);
  EXPECT_EQ(zarnik("ignore list --json").out, ignoreList);

  ASSERT_EQ(zarnik("config set scanRules.rawImageMatchThreshold 9").status, 0);
  ASSERT_EQ(zarnik("ignore remove " + quoted(tree / "old")).status, 0);
  auto imported = zarnik("config import-rules " + quoted(exported));
  ASSERT_EQ(imported.status, 0) << imported.err;
  EXPECT_EQ(zarnik("config get scanRules.rawImageMatchThreshold").out, "5\n");
  EXPECT_EQ(zarnik("ignore list --json").out, ignoreList);
}

TEST_F(PreferencesCommandTest, ACleaningTakesTheStoredWayUnlessAFlagGivesAnother) {
  tree.file("a/x.txt", "pair");
  tree.file("b/x.txt", "pair");
  ASSERT_EQ(zarnik("rules always add " + quoted(tree / "b")).status, 0);
  ASSERT_EQ(zarnik("scan -q --exact --min-size 0 " + quoted(tree.path())).status, 0);
  EXPECT_NE(zarnik("clean --dry-run").out.find("would be moved to the trash"), std::string::npos);
  auto refused = zarnik(R"(config set cleaningRules.cleaningOption '{"kind": "shred"}')");
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find(R"(JSON like {"kind":"moveToTrash"})"), std::string::npos)
      << refused.err;
  ASSERT_EQ(
      zarnik(R"(config set cleaningRules.cleaningOption '{"kind": "removePermanently"}')").status,
      0);
  EXPECT_NE(zarnik("clean --dry-run").out.find("would be deleted permanently"), std::string::npos);
  EXPECT_NE(zarnik("clean --dry-run --trash").out.find("would be moved to the trash"),
            std::string::npos);
  EXPECT_NE(zarnik("clean --dry-run").out.find("would be deleted permanently"), std::string::npos);
}

TEST_F(PreferencesCommandTest, EveryCommandHasHelpWithAnExample) {
  for (const char* command :
       {"config", "config set", "config list", "config import-rules", "ignore", "ignore add",
        "rules", "rules never add", "rules smart add"}) {
    auto help = zarnik(std::string(command) + " --help");
    EXPECT_EQ(help.status, 0) << command;
    EXPECT_NE(help.out.find("Example"), std::string::npos) << command << "\n" << help.out;
  }
}

}  // namespace
}  // namespace zarnik
