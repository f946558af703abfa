// Black-box tests of reviewing: filtering, ordering, searching and limiting the results, the
// figures per criterion, the lifetime statistics after a scan and a cleaning, the achievements
// they unlock, and a statistics file that cannot be read.
#include "e2e/zarnik_runner.h"
#include "support/test_dir.h"

#include "base/json.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace zarnik {
namespace {

using testing::quoted;
using testing::runZarnik;

class ReviewTest : public testing::ZarnikProgramTest {
 protected:
  // Two groups of documents (one with a copy word, so one copy is proposed) and a pair of pictures.
  void scanTree() {
    tree.file("a/report.pdf", std::string(3000, 'r'));
    tree.file("b/report copy.pdf", std::string(3000, 'r'));
    tree.file("a/Caf\u00e9 notes.txt", std::string(2000, 'n'));
    tree.file("b/Cafe\u0301 notes.txt", std::string(2000, 'n'));
    tree.file("a/photo.jpg", std::string(1000, 'p'));
    tree.file("b/photo.jpg", std::string(1000, 'p'));
    auto scan = runZarnik("scan --exact --min-size 0 " + quoted(tree.path()), scratch);
    ASSERT_EQ(scan.status, 0) << scan.err;
    EXPECT_NE(scan.out.find("By type: Documents 4 copies (10 KB), Images 2 copies (2 KB)."),
              std::string::npos)
        << scan.out;
    EXPECT_NE(scan.out.find("Achievement unlocked: First look"), std::string::npos) << scan.out;
  }
  Json json(const std::string& arguments) {
    auto run = runZarnik(arguments, scratch);
    EXPECT_EQ(run.status, 0) << run.err;
    auto parsed = parseJson(run.out);
    EXPECT_TRUE(parsed.hasValue()) << run.out;
    return parsed.hasValue() ? parsed.value() : Json();
  }
};

TEST_F(ReviewTest, ResultsAreFilteredSortedSearchedAndLimited) {
  scanTree();
  auto images = runZarnik("results --filter images", scratch);
  ASSERT_EQ(images.status, 0) << images.err;
  EXPECT_NE(images.out.find("photo.jpg"), std::string::npos);
  EXPECT_EQ(images.out.find("report"), std::string::npos) << images.out;
  EXPECT_NE(images.out.find("Images: 2 copies (2 KB) in 1 group, none proposed for removal."),
            std::string::npos)
      << images.out;

  Json selected = json("results --json --filter selected --filter images");
  EXPECT_EQ(selected["groups"].size(), 2u);
  ASSERT_EQ(selected["criteria"].size(), 2u);
  EXPECT_EQ(selected["criteria"][0]["criterion"], "selected");
  EXPECT_EQ(selected["criteria"][0]["copies"], 1);
  EXPECT_EQ(selected["criteria"][0]["size"], 3000);

  // Either form of the accented letter finds both copies, in any letter case.
  Json cafe = json("results --json --search 'CAF\u00c9'");
  ASSERT_EQ(cafe["groups"].size(), 1u);
  EXPECT_EQ(cafe["criteria"][0]["copies"], 2);

  Json byName = json("results --json --sort name --limit 2");
  ASSERT_EQ(byName["groups"].size(), 2u);
  EXPECT_NE(bytesFromJson(byName["groups"][0]["duplicates"][0]["path"]).value_or("").find("notes"),
            std::string::npos);
  Json reversed = json("results --json --sort size --reverse --limit 1");
  ASSERT_EQ(reversed["groups"].size(), 1u);
  EXPECT_NE(
      bytesFromJson(reversed["groups"][0]["duplicates"][0]["path"]).value_or("").find("photo"),
      std::string::npos);

  auto wrong = runZarnik("results --filter pictures", scratch);
  EXPECT_EQ(wrong.status, 2);
  EXPECT_NE(wrong.err.find("pictures is not a filter; the filters are all, cleaned"),
            std::string::npos)
      << wrong.err;
}

TEST_F(ReviewTest, StatisticsTellTheTruthAfterAScanAndACleaning) {
  scanTree();
  auto cleaned = runZarnik("clean --yes", scratch);
  ASSERT_EQ(cleaned.status, 0) << cleaned.err;
  EXPECT_NE(cleaned.out.find("Cleaned so far in these results: Documents 1 copy (3 KB)."),
            std::string::npos)
      << cleaned.out;
  EXPECT_NE(
      cleaned.out.find("Achievement unlocked: First sweep (zarnik stats achievements lists them)."),
      std::string::npos)
      << cleaned.out;

  Json stats = json("stats --json");
  const Json& lifetime = stats["lifetime"];
  EXPECT_EQ(lifetime["numberOfFinishedScans"], 1);
  EXPECT_EQ(lifetime["numberOfFinishedCleans"], 1);
  EXPECT_EQ(lifetime["numberOfCleanedFiles"], 1);
  EXPECT_EQ(lifetime["cleanedSize"], 3000);
  EXPECT_EQ(lifetime["lastCleanupCompleteSuccessfully"], true);
  EXPECT_GE(lifetime["scannedSize"].get<std::int64_t>(), 12000);
  EXPECT_EQ(stats["lastReview"]["All"]["cleaned"]["count"], 1);
  EXPECT_EQ(stats["lastReview"]["All"]["total"]["count"], 6);
  EXPECT_EQ(stats["lastReview"]["Documents"]["total"]["size"], 10000);

  auto text = runZarnik("stats", scratch);
  EXPECT_NE(text.out.find("Cleaned 3 KB (1 copy) in 1 cleaning; 0 cleanings reverted."),
            std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("  Documents: 4 copies (10 KB) in 2 groups: 1 cleaned (3 KB)"),
            std::string::npos)
      << text.out;

  Json achievements = json("stats achievements --json");
  EXPECT_GT(achievements["fractionCompleted"].get<double>(), 0);
  EXPECT_FALSE(achievements["rank"].is_null());
  bool firstSweep = false;
  for (const auto& group : achievements["groups"]) {
    for (const auto& achievement : group["achievements"]) {
      if (achievement["identifier"] == "first-cleaning") firstSweep = achievement["accomplished"];
    }
  }
  EXPECT_TRUE(firstSweep);

  // What a revert brings back no longer counts as cleaned; the achievement stays.
  auto reverted = runZarnik("revert --all", scratch);
  ASSERT_EQ(reverted.status, 0) << reverted.err;
  Json after = json("stats --json")["lifetime"];
  EXPECT_EQ(after["cleanedSize"], 0);
  EXPECT_EQ(after["numberOfCleanedFiles"], 0);
  EXPECT_EQ(after["numberOfRevertedCleans"], 1);
  EXPECT_NE(runZarnik("stats achievements", scratch).out.find("[x] First sweep"),
            std::string::npos);
}

TEST_F(ReviewTest, KeepingTheNewestCopyByHandFiveTimesSuggestsTheRuleOnce) {
  // Five pairs that nothing but their dates tells apart: the scan keeps the first by path, the
  // older one.
  for (int i = 1; i <= 5; ++i) {
    const std::string name = "f" + std::to_string(i) + ".txt";
    tree.file("a/" + name, std::string(100 + i, static_cast<char>('a' + i)));
    tree.file("b/" + name, std::string(100 + i, static_cast<char>('a' + i)));
    tree.setModificationTime("a/" + name, 1'600'000'000);
    tree.setModificationTime("b/" + name, 1'700'000'000);
  }
  ASSERT_EQ(runZarnik("scan --exact --min-size 0 " + quoted(tree.path()), scratch).status, 0);
  Json groups = json("results --json")["groups"];
  ASSERT_EQ(groups.size(), 5u);
  for (size_t i = 0; i < groups.size(); ++i) {
    auto select = runZarnik(
        "select --strategy oldest --group " + std::to_string(groups[i]["identifier"].get<int>()),
        scratch);
    ASSERT_EQ(select.status, 0) << select.err;
    const bool offered = select.out.find("Suggestion: ") != std::string::npos;
    EXPECT_EQ(offered, i == 4) << select.out;  // after the fifth change, and only then
    if (offered) {
      EXPECT_NE(select.out.find("zarnik rules suggest accept 1 adds the smart rule "
                                "NonNewestModificationDate"),
                std::string::npos)
          << select.out;
    }
  }
  Json pending = json("rules suggest --json")["suggestions"];
  ASSERT_EQ(pending.size(), 1u);
  EXPECT_EQ(pending[0]["rule"]["identifier"], "NonNewestModificationDate");

  // Declined: kept turned off among the smart rules, and not suggested again.
  auto declined = runZarnik("rules suggest decline 1", scratch);
  ASSERT_EQ(declined.status, 0) << declined.err;
  EXPECT_TRUE(json("rules suggest --json")["suggestions"].empty());
  EXPECT_NE(runZarnik("rules list", scratch).out.find("NonNewestModificationDate"),
            std::string::npos);
  EXPECT_NE(runZarnik("rules list", scratch).out.find("(off)"), std::string::npos);
  // Turned on later by adding it.
  ASSERT_EQ(runZarnik("rules smart add NonNewestModificationDate", scratch).status, 0);
  EXPECT_EQ(runZarnik("rules list", scratch).out.find("(off)"), std::string::npos);
}

TEST_F(ReviewTest, ADamagedStatisticsFileIsSetAsideAndNewStatisticsBegin) {
  const std::string folder = scratch / "data/zarnik";
  std::filesystem::create_directories(folder);
  std::ofstream(folder + "/statistics.plist") << "<plist><dict><key>$class</key>";
  auto stats = runZarnik("stats", scratch);
  ASSERT_EQ(stats.status, 0) << stats.err;
  EXPECT_NE(stats.err.find("statistics.plist could not be read"), std::string::npos) << stats.err;
  EXPECT_NE(stats.err.find("it was set aside as"), std::string::npos) << stats.err;
  EXPECT_NE(stats.out.find("Scanned 0 bytes in 0 scans"), std::string::npos) << stats.out;
  scanTree();
  EXPECT_EQ(json("stats --json")["lifetime"]["numberOfFinishedScans"], 1);
}

}  // namespace
}  // namespace zarnik
