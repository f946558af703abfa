// Statistics and achievements: the predicate language and what it refuses, the statistics file
// read back, set aside when damaged or newer, and updated by several writers; the achievements
// resources (the shipped ones, and bad ones refused), the completion fraction, ranks, achievements
// granted by hand and what counts as newly unlocked.
#include "support/test_dir.h"

#include "platform/file_reading.h"
#include "platform/property_list.h"
#include "statistics/achievements_store.h"
#include "statistics/predicate.h"
#include "statistics/statistician.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace zarnik {
namespace {

using testing::TestDir;

std::optional<CounterKind> twoCounters(std::string_view name) {
  if (name == "size") return CounterKind::number;
  if (name == "done") return CounterKind::truthValue;
  return std::nullopt;
}

bool holds(std::string_view text, std::int64_t size, bool done) {
  auto predicate = Predicate::parse(text, twoCounters);
  EXPECT_TRUE(predicate.hasValue())
      << text << ": " << (predicate.hasError() ? predicate.error().description : "");
  if (predicate.hasError()) return false;
  return predicate.value().evaluate([&](std::string_view name) -> CounterValue {
    return name == "size" ? CounterValue{size} : CounterValue{done};
  });
}

std::string refusal(std::string_view text) {
  auto predicate = Predicate::parse(text, twoCounters);
  return predicate.hasError() ? predicate.error().description : std::string("accepted");
}

TEST(Predicate, ComparesCombinesAndNegates) {
  EXPECT_TRUE(holds("size >= 10", 10, false));
  EXPECT_FALSE(holds("size > 10", 10, false));
  EXPECT_TRUE(holds("size < 11 AND NOT done", 10, false));
  EXPECT_FALSE(holds("size < 11 && !done", 10, true));
  EXPECT_TRUE(holds("size == 3 OR done == TRUE", 4, true));
  EXPECT_TRUE(holds("NOT (size != 4 or done)", 4, false));  // words in any case
  EXPECT_TRUE(holds("done = YES", 0, true));
  EXPECT_TRUE(holds("TRUE", 0, false));
  EXPECT_TRUE(holds("size <= 9223372036854775807", 9, false));
  // AND binds closer than OR.
  EXPECT_TRUE(holds("done OR size > 5 AND size < 2", 9, true));
  EXPECT_FALSE(holds("(done OR size > 5) AND size < 2", 9, true));
}

TEST(Predicate, RefusesWhatIsNotAConditionOverKnownCounters) {
  EXPECT_NE(refusal("sizes >= 1").find("unknown counter sizes at 1"), std::string::npos);
  EXPECT_NE(refusal("size >=").find("ends too early"), std::string::npos);
  EXPECT_NE(refusal("size").find("a number, not true or false"), std::string::npos);
  EXPECT_NE(refusal("size AND done").find("joins a number"), std::string::npos);
  EXPECT_NE(refusal("done > 1").find("different kinds"), std::string::npos);
  EXPECT_NE(refusal("done > FALSE").find("different kinds"), std::string::npos);
  EXPECT_NE(refusal("size >= 1 ; rm -rf").find("unexpected character"), std::string::npos);
  EXPECT_NE(refusal("(done").find("ends too early"), std::string::npos);
  EXPECT_NE(refusal("done)").find("unexpected )"), std::string::npos);
  EXPECT_NE(refusal("size > 99999999999999999999").find("too large"), std::string::npos);
  EXPECT_NE(
      refusal(std::string(200, '(') + "done" + std::string(200, ')')).find("nested too deeply"),
      std::string::npos);
  EXPECT_NE(refusal("").find("ends too early"), std::string::npos);
  EXPECT_NE(refusal("1 < 2 < 3").find("unexpected <"), std::string::npos);
}

TEST(Predicate, WritesACanonicalTextThatParsesToTheSamePredicate) {
  auto predicate = Predicate::parse("!done || size>=5 && size < 8", twoCounters);
  ASSERT_TRUE(predicate.hasValue());
  EXPECT_EQ(predicate.value().canonicalText(), "((NOT done) OR ((size >= 5) AND (size < 8)))");
  auto again = Predicate::parse(predicate.value().canonicalText(), twoCounters);
  ASSERT_TRUE(again.hasValue());
  EXPECT_EQ(again.value().canonicalText(), predicate.value().canonicalText());
}

TEST(StatisticianStore, NeverShowsTheFoundSizeBelowASixthOfTheScannedSize) {
  StatisticianStore store;
  store.setNumber("scannedSize", 600'000'000);
  EXPECT_EQ(store.foundSize(), 100'000'000);
  store.setFoundSize(200'000'000);
  EXPECT_EQ(std::get<std::int64_t>(store.value("foundSize")), 200'000'000);
  store.add("cleanedSize", INT64_MAX);
  store.add("cleanedSize", 5);
  EXPECT_EQ(store.number("cleanedSize"), INT64_MAX);
}

TEST(StatisticianStore, ReadsBackWhatItWritesCounterForCounter) {
  StatisticianStore store;
  store.setNumber("cleanedSize", 5);
  store.setTruth("searchUsed", true);
  store.setCheatingAchievement("first-scan", true);
  store.setCheatingAchievement("a<b", true);  // not an identifier: ignored
  auto document = parsePropertyList(store.propertyListText(), "written");
  ASSERT_TRUE(document.hasValue());
  auto read = StatisticianStore::fromPropertyList(document.value());
  ASSERT_TRUE(read.hasValue()) << read.error().description;
  EXPECT_EQ(read.value(), store);
  EXPECT_TRUE(read.value().isCheatingAchievement("first-scan"));
  EXPECT_EQ(read.value().cheatingAchievementIdentifiers().size(), 1u);
  store.setTruth("searchUsed", false);
  EXPECT_NE(read.value(), store);
}

TEST(Statistician, KeepsTheStatisticsInTheirFileAcrossLaunches) {
  TestDir dir;
  {
    Statistician statistician(dir.path());
    EXPECT_FALSE(statistician.setAsideNotice());
    ASSERT_TRUE(statistician
                    .updateStatistics([](StatisticianStore& s) {
                      s.add("numberOfLaunches", 1);
                      s.setTruth("scannedExternalDrives", true);
                      s.setCheatingAchievement("first-scan", true);
                    })
                    .hasValue());
  }
  // Another command updates the file meanwhile: an update starts from the file, not from memory.
  Statistician first(dir.path());
  Statistician second(dir.path());
  ASSERT_TRUE(second.updateStatistics([](StatisticianStore& s) { s.add("numberOfLaunches", 1); })
                  .hasValue());
  ASSERT_TRUE(
      first.updateStatistics([](StatisticianStore& s) { s.add("numberOfFinishedScans", 1); })
          .hasValue());
  const Statistician reread(dir.path());
  EXPECT_EQ(reread.statistics().number("numberOfLaunches"), 2);
  EXPECT_EQ(reread.statistics().number("numberOfFinishedScans"), 1);
  EXPECT_TRUE(reread.statistics().truth("scannedExternalDrives"));
  EXPECT_TRUE(reread.statistics().isCheatingAchievement("first-scan"));
  EXPECT_EQ(reread.statistics(), first.statistics());
}

TEST(Statistician, SetsADamagedOrNewerFileAsideAndBeginsAgain) {
  for (const std::string& content :
       {std::string("<plist><dict><key>$class</key><string>StatisticianStore</string>"),  // cut off
        std::string(
            "<plist><dict><key>$class</key><string>StatisticianStore</string><key>version</key>"
            "<integer>99</integer></dict></plist>"),
        std::string(
            "<plist><dict><key>$class</key><string>StatisticianStore</string><key>version</key>"
            "<integer>1</integer><key>cleanedSize</key><string>lots</string></dict></plist>"),
        std::string("\x00\x01 not a property list", 20)}) {
    TestDir dir;
    dir.file("statistics.plist", content);
    Statistician statistician(dir.path());
    ASSERT_TRUE(statistician.setAsideNotice()) << content;
    EXPECT_NE(statistician.setAsideNotice()->find("set aside as"), std::string::npos);
    EXPECT_EQ(statistician.statistics(), StatisticianStore());
    size_t setAside = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      if (entry.path().filename().string().rfind("statistics.plist.damaged-", 0) == 0) ++setAside;
    }
    EXPECT_EQ(setAside, 1u);
    ASSERT_TRUE(
        statistician.updateStatistics([](StatisticianStore& s) { s.add("numberOfLaunches", 1); })
            .hasValue());
    EXPECT_FALSE(Statistician(dir.path()).setAsideNotice());
  }
  EXPECT_NE(Statistician(TestDir().path())
                .statistics()
                .propertyListText()
                .find("<key>version</key>\n\t<integer>1</integer>"),
            std::string::npos);
}

Json specificationOf(const std::vector<std::pair<std::string, double>>& achievements,
                     const std::vector<double>& ranks,
                     const std::string& predicate = "numberOfLaunches >= 1") {
  Json group = {{"identifier", "g"}, {"sharingIdentifier", 1}, {"achievements", Json::array()}};
  for (const auto& [identifier, points] : achievements) {
    group["achievements"].push_back({{"identifier", identifier},
                                     {"analyticsIdentifier", identifier},
                                     {"icon", "I"},
                                     {"pointsValue", points},
                                     {"predicate", predicate}});
  }
  Json spec = {{"groups", Json::array({group})}, {"ranks", Json::array()}};
  for (size_t i = 0; i < ranks.size(); ++i) {
    spec["ranks"].push_back({{"identifier", "r" + std::to_string(i)},
                             {"analyticsIdentifier", "r"},
                             {"icon", "R"},
                             {"sharingIdentifier", i},
                             {"reward", 0},
                             {"progress", ranks[i]}});
  }
  return spec;
}

Json localizationOf(const Json& specification) {
  Json localization = {{"groups", Json::array()}, {"ranks", Json::array()}};
  for (const auto& group : specification["groups"]) {
    Json localized = {
        {"identifier", group["identifier"]}, {"title", "G"}, {"achievements", Json::array()}};
    for (const auto& achievement : group["achievements"]) {
      localized["achievements"].push_back({{"identifier", achievement["identifier"]},
                                           {"title", "T"},
                                           {"locked_details", "L"},
                                           {"unlocked_details", "U"}});
    }
    localization["groups"].push_back(localized);
  }
  for (const auto& rank : specification["ranks"])
    localization["ranks"].push_back({{"identifier", rank["identifier"]}, {"title", "R"}});
  return localization;
}

TEST(AchievementsStore, CompletesByPointsAndHoldsTheHighestRankReached) {
  auto spec = specificationOf({{"a", 10}, {"b", 20}, {"c", 70}}, {0, 0.25, 0.5});
  spec["groups"][0]["achievements"][2]["predicate"] = "numberOfLaunches >= 5";
  auto store = AchievementsStore::load(spec, localizationOf(spec));
  ASSERT_TRUE(store.hasValue()) << store.error().description;
  StatisticianStore statistics;
  auto first = store.value().setStatistics(statistics);
  EXPECT_TRUE(first.newlyUnlocked.empty());
  EXPECT_EQ(store.value().currentRank()->identifier, "r0");
  EXPECT_FALSE(first.reachedRank);  // holding the first rank is no change from one rank to another

  statistics.add("numberOfLaunches", 1);
  auto second = store.value().setStatistics(statistics);
  EXPECT_DOUBLE_EQ(store.value().fractionCompleted(), 0.3);
  EXPECT_EQ(store.value().currentRank()->identifier, "r1");
  EXPECT_EQ(second.previousRank, "r0");
  EXPECT_EQ(second.reachedRank, "r1");
  ASSERT_EQ(second.newlyUnlocked.size(), 2u);
  EXPECT_EQ(second.newlyUnlocked[0]->identifier, "a");
  EXPECT_TRUE(second.newlyUnlocked[0]->isRecent);
  EXPECT_EQ(second.newlyUnlocked[0]->iconImage(), "I");
  EXPECT_EQ(store.value().groups()[0].achievements[2].detailedIconImage(),
            "PlaceholderAchievementDetailedIcon");

  // Accomplished before: not reported again.
  store.value().markAllAchievementsAsNotRecent();
  statistics.add("numberOfLaunches", 1);
  EXPECT_TRUE(store.value().setStatistics(statistics).newlyUnlocked.empty());
  EXPECT_FALSE(store.value().groups()[0].containsRecentAchievements());

  // Granted by hand: accomplished whatever its predicate says.
  statistics.setCheatingAchievement("c", true);
  auto granted = store.value().setStatistics(statistics);
  ASSERT_EQ(granted.newlyUnlocked.size(), 1u);
  EXPECT_TRUE(granted.newlyUnlocked[0]->isCheating);
  EXPECT_TRUE(store.value().groups()[0].isAccomplished());
  EXPECT_EQ(store.value().currentRank()->identifier, "r2");
}

TEST(AchievementsStore, RefusesBadResources) {
  const auto spec = specificationOf({{"a", 10}}, {0});
  const auto localization = localizationOf(spec);
  auto refused = [](const Json& s, const Json& l) {
    auto store = AchievementsStore::load(s, l);
    return store.hasError() ? store.error().description : std::string("loaded");
  };
  EXPECT_EQ(refused(spec, localization), "loaded");
  auto unknown = specificationOf({{"a", 10}}, {0}, "numberOfLaunchez >= 1");
  EXPECT_NE(refused(unknown, localization).find("unknown counter numberOfLaunchez"),
            std::string::npos);
  auto malformed = specificationOf({{"a", 10}}, {0}, "numberOfLaunches >=");
  EXPECT_NE(refused(malformed, localization).find("achievement a: Malformed predicate"),
            std::string::npos);
  auto extra = specificationOf({{"a", 10}, {"b", 5}}, {0});
  EXPECT_NE(refused(extra, localization).find("are not as many"), std::string::npos);
  auto renamed = localization;
  renamed["groups"][0]["achievements"][0]["identifier"] = "z";
  EXPECT_NE(refused(spec, renamed).find("do not pair up"), std::string::npos);
  auto untitled = localization;
  untitled["ranks"][0].erase("title");
  EXPECT_NE(refused(spec, untitled).find("rank r0 has no text \"title\""), std::string::npos);
  auto twice = specificationOf({{"a", 10}, {"a", 5}}, {0});
  EXPECT_NE(refused(twice, localizationOf(twice)).find("two achievements are named a"),
            std::string::npos);
  EXPECT_NE(refused(Json::array(), localization).find("no list \"groups\""), std::string::npos);
  // An entry unavailable in this build is left out of both.
  auto unavailable = specificationOf({{"a", 10}, {"b", 5}}, {0});
  unavailable["groups"][0]["achievements"][1]["unavailable"] = true;
  auto store = AchievementsStore::load(unavailable, localizationOf(unavailable));
  ASSERT_TRUE(store.hasValue());
  EXPECT_EQ(store.value().groups()[0].achievements.size(), 1u);
}

TEST(AchievementsStore, LoadsTheShippedResourcesAndAwardsTheFirstScan) {
  auto store = AchievementsStore::loadResources(ZARNIK_SOURCE_RESOURCES);
  ASSERT_TRUE(store.hasValue()) << store.error().oneLine();
  size_t achievements = 0;
  for (const auto& group : store.value().groups()) achievements += group.achievements.size();
  EXPECT_GE(achievements, 10u);
  EXPECT_GE(store.value().ranks().size(), 2u);
  StatisticianStore statistics;
  statistics.add("numberOfFinishedScans", 1);
  auto update = store.value().setStatistics(statistics);
  ASSERT_EQ(update.newlyUnlocked.size(), 1u);
  EXPECT_EQ(update.newlyUnlocked[0]->identifier, "first-scan");
  EXPECT_GT(store.value().fractionCompleted(), 0);
  ASSERT_NE(store.value().currentRank(), nullptr);
}

}  // namespace
}  // namespace zarnik
