// Black-box tests of `zarnik scan`: run the program on generated trees and read its output.
#include "e2e/zarnik_runner.h"
#include "support/pictures.h"
#include "support/test_dir.h"

#include "base/json.h"
#include "platform/image_decoding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <utility>
#include <vector>

namespace zarnik {
namespace {

using testing::quoted;
using testing::runZarnik;

using ScanCommandTest = testing::ZarnikProgramTest;

TEST_F(ScanCommandTest, JsonOutputIsTheExportDocumentAndNothingElse) {
  tree.file("a/photo.jpg", "identical bytes");
  tree.file("b/photo (1).jpg", "identical bytes");
  tree.file("b/caf\xE9.txt", "another pair");
  tree.file("c/caf\xE9 copy.txt", "another pair");
  tree.file("c/single.txt", "alone");
  auto run = runZarnik("scan --exact --min-size 0 --json " + quoted(tree.path()), scratch);
  ASSERT_EQ(run.status, 0) << run.err;
  auto json = parseJson(run.out);
  ASSERT_TRUE(json.hasValue()) << run.out;
  const Json& equivalences = json.value()["groups"];
  ASSERT_EQ(equivalences.size(), 2u);
  std::set<std::string> paths;
  for (const auto& equivalence : equivalences) {
    EXPECT_EQ(equivalence["type"], "exact hash");
    EXPECT_TRUE(equivalence["differences"].is_array());
    for (const auto& duplicate : equivalence["duplicates"]) {
      EXPECT_EQ(bytesFromJson(duplicate["scanLocation"]), tree.path() + "/");
      paths.insert(*bytesFromJson(duplicate["path"]));
    }
  }
  EXPECT_EQ(paths, (std::set<std::string>{"a/photo.jpg", "b/photo (1).jpg", "b/caf\xE9.txt",
                                          "c/caf\xE9 copy.txt"}));
  EXPECT_EQ(run.err.find("[scan]"), std::string::npos) << "timing lines only with --verbose";
}

TEST_F(ScanCommandTest, TimingLinesGoToStandardErrorOnlyWhenAskedAndAlwaysToTheLog) {
  tree.file("a/one.txt", "same");
  tree.file("b/one.txt", "same");
  const auto quiet = runZarnik("scan -q --exact --min-size 0 " + quoted(tree.path()), scratch);
  ASSERT_EQ(quiet.status, 0) << quiet.err;
  EXPECT_EQ(quiet.out.find("[scan]"), std::string::npos) << quiet.out;
  EXPECT_EQ(quiet.err.find("[scan]"), std::string::npos) << quiet.err;
  const auto verbose =
      runZarnik("scan -q --verbose --exact --min-size 0 " + quoted(tree.path()), scratch);
  ASSERT_EQ(verbose.status, 0) << verbose.err;
  EXPECT_EQ(verbose.out.find("[scan]"), std::string::npos) << verbose.out;
  EXPECT_NE(verbose.err.find("[scan] Enumeration finished "), std::string::npos) << verbose.err;
  EXPECT_NE(verbose.err.find("[scan] Total time "), std::string::npos) << verbose.err;
  EXPECT_NE(testing::contentsOf(scratch / "zarnik/zarnik.log").find("[scan] Total time "),
            std::string::npos);
}

TEST_F(ScanCommandTest, VerifyComparesWholeFilesAndTheExportSaysWhichGroupsWereVerified) {
  // 5 MiB: the sampled digest reads the first four MiB only, and the files differ in the fifth.
  constexpr size_t kMiB = 1'048'576;
  std::string content(5 * kMiB, 'v');
  for (size_t i = 0; i < content.size(); i += 4096) content[i] = static_cast<char>(i / 4096);
  tree.file("big/a.bin", content);
  content[4 * kMiB + 12345] ^= 1;
  tree.file("big/b.bin", content);
  tree.file("small/a.txt", "read whole by the digest");
  tree.file("small/b.txt", "read whole by the digest");
  auto verifiedByPath = [](const Json& document) {
    std::map<std::string, bool> verified;
    for (const auto& equivalence : document["groups"]) {
      verified[*bytesFromJson(equivalence["duplicates"][0]["path"])] =
          equivalence["verified"].get<bool>();
    }
    return verified;
  };
  const auto sampled =
      runZarnik("scan -q --exact --min-size 0 --json " + quoted(tree.path()), scratch);
  ASSERT_EQ(sampled.status, 0) << sampled.err;
  EXPECT_EQ(verifiedByPath(Json::parse(sampled.out)),
            (std::map<std::string, bool>{{"big/a.bin", false}, {"small/a.txt", true}}));
  const auto text = runZarnik("scan -q --exact --min-size 0 " + quoted(tree.path()), scratch);
  EXPECT_NE(
      text.out.find("1 group of exact duplicates has the same size and the same sampled content"),
      std::string::npos)
      << text.out;

  const auto verified =
      runZarnik("scan -q --verify --exact --min-size 0 --json " + quoted(tree.path()), scratch);
  ASSERT_EQ(verified.status, 0) << verified.err;
  EXPECT_EQ(verifiedByPath(Json::parse(verified.out)),
            (std::map<std::string, bool>{{"small/a.txt", true}}));
  const auto verifiedText =
      runZarnik("scan -q --verify --exact --min-size 0 " + quoted(tree.path()), scratch);
  EXPECT_NE(verifiedText.out.find(
                "Every group of exact duplicates was checked over the whole content of its files."),
            std::string::npos)
      << verifiedText.out;
  const auto help = runZarnik("scan --help", scratch);
  EXPECT_NE(help.out.find("sampled content"), std::string::npos) << help.out;
}

TEST_F(ScanCommandTest, SummaryListsGroupsAndTheSpaceToFree) {
  tree.fileOfSize("x/one.bin", 5000, 'q');
  tree.fileOfSize("y/two.bin", 5000, 'q');
  auto run = runZarnik("scan --exact --min-size 0 " + quoted(tree.path()), scratch);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Exact duplicates (2 copies, 5 KB each)"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(tree / "x/one.bin"), std::string::npos);
  // What can be freed is the space allocated on disk, which depends on the file system.
  EXPECT_NE(run.out.find("Found 1 group with 2 copies; "), std::string::npos) << run.out;
  // Nothing tells the two apart: both are kept.
  EXPECT_NE(run.out.find(" could be freed; no copy proposed for removal."), std::string::npos)
      << run.out;
}

TEST_F(ScanCommandTest, TheSummaryAndTheExportShowWhichCopiesAreProposedForRemoval) {
  tree.file("docs/report.pdf", "quarterly numbers");
  tree.file("docs/report copy.pdf", "quarterly numbers");
  tree.file("mine/n.txt", "never touch");
  tree.file("other/n copy.txt", "never touch");
  tree.file("mine/m copy.txt", "mine too");
  tree.file("other/m.txt", "mine too");
  const auto run = runZarnik("scan -q --exact --min-size 0 --never-select " +
                                 quoted(tree / "mine") + " " + quoted(tree.path()),
                             scratch);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("remove " + tree / "docs/report copy.pdf"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("keep   " + tree / "docs/report.pdf"), std::string::npos) << run.out;
  // A copy word does not make a copy in a never-select folder go; its twin goes instead.
  EXPECT_NE(run.out.find("keep   " + tree / "mine/m copy.txt" +
                         "  (protected: in a never-select folder)"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("remove " + tree / "other/n copy.txt"), std::string::npos) << run.out;

  const auto json = runZarnik("scan -q --json --min-size 0 " + quoted(tree / "docs"), scratch);
  ASSERT_EQ(json.status, 0) << json.err;
  const Json document = Json::parse(json.out);
  ASSERT_EQ(document["groups"].size(), 1u);
  for (const auto& duplicate : document["groups"][0]["duplicates"]) {
    EXPECT_EQ(duplicate["autoselect"].get<bool>(), duplicate["path"] == "report copy.pdf");
  }
  EXPECT_NE(std::find(document["groups"][0]["differences"].begin(),
                      document["groups"][0]["differences"].end(), Json("Name")),
            document["groups"][0]["differences"].end());
}

TEST_F(ScanCommandTest, CopiesWithNothingToTellThemApartAreKeptUnlessOneMayBePickedAtRandom) {
  tree.file("a/same.txt", "twin");
  tree.file("b/same.txt", "twin");
  const auto kept = runZarnik("scan -q --exact --min-size 0 " + quoted(tree.path()), scratch);
  ASSERT_EQ(kept.status, 0) << kept.err;
  EXPECT_EQ(kept.out.find("remove "), std::string::npos) << kept.out;
  EXPECT_NE(kept.out.find("In 1 group nothing tells the copies apart"), std::string::npos)
      << kept.out;
  const auto picked = runZarnik(
      "scan -q --exact --min-size 0 --select-random-among-equal " + quoted(tree.path()), scratch);
  ASSERT_EQ(picked.status, 0) << picked.err;
  EXPECT_NE(picked.out.find("keep   " + tree / "a/same.txt"), std::string::npos)
      << picked.out;  // the smaller path stays
  EXPECT_NE(picked.out.find("remove " + tree / "b/same.txt" +
                            "  (equal to the copy kept, which is first by path)"),
            std::string::npos)
      << picked.out;
  EXPECT_NE(picked.out.find("1 copy ("), std::string::npos) << picked.out;
  EXPECT_EQ(picked.out.find("nothing tells the copies apart"), std::string::npos) << picked.out;
}

// Similar pictures differ, so picking one at random is never offered for them.
TEST_F(ScanCommandTest, SimilarPicturesAllKeptGetNoHintAboutEqualCopies) {
  const auto picture = testing::madeUpPicture(640, 480);
  tree.dir("photos");
  ASSERT_TRUE(writePicture(tree / "photos/beach.png", picture, 640, 480).hasValue());
  ASSERT_TRUE(writePicture(tree / "photos/beach again.png", picture, 640, 480).hasValue());
  ASSERT_TRUE(writePicture(tree / "photos/beach turned.png",
                           testing::turnedCounterClockwise(picture, 640, 480), 480, 640)
                  .hasValue());
  const auto run =
      runZarnik("scan -q --similar-images --min-size 0 " + quoted(tree.path()), scratch);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Similar images (3 copies"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("nothing tells the copies apart"), std::string::npos) << run.out;
}

TEST_F(ScanCommandTest, CompareTellsIdenticalExportsFromChangedOnes) {
  tree.file("docs/report.pdf", "quarterly numbers");
  tree.file("docs/report copy.pdf", "quarterly numbers");
  const auto first = runZarnik(
      "scan -q --json --min-size 0 " + quoted(tree.path()) + " >" + quoted(scratch / "a.json"),
      scratch);
  ASSERT_EQ(first.status, 0) << first.err;
  const auto same = runZarnik(
      "compare " + quoted(scratch / "a.json") + " " + quoted(scratch / "a.json"), scratch);
  EXPECT_EQ(same.status, 0) << same.out << same.err;
  EXPECT_NE(same.out.find("identical"), std::string::npos);
  // Protecting the folder changes the selection: the comparison says so and fails.
  const auto second =
      runZarnik("scan -q --json --min-size 0 --never-select " + quoted(tree / "docs") + " " +
                    quoted(tree.path()) + " >" + quoted(scratch / "b.json"),
                scratch);
  ASSERT_EQ(second.status, 0) << second.err;
  const auto changed = runZarnik(
      "compare " + quoted(scratch / "b.json") + " " + quoted(scratch / "a.json"), scratch);
  EXPECT_EQ(changed.status, 1);
  EXPECT_NE(changed.out.find("report copy.pdf: selection false-negative"), std::string::npos)
      << changed.out;
  const auto missing = runZarnik(
      "compare " + quoted(scratch / "none.json") + " " + quoted(scratch / "a.json"), scratch);
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("none.json"), std::string::npos);
}

TEST_F(ScanCommandTest, BadPathsGiveOneLineEachAndFailOnlyWhenNothingCanBeScanned) {
  tree.file("plain.txt", "x");
  auto nothing =
      runZarnik("scan " + quoted(tree / "missing") + " " + quoted(tree / "plain.txt"), scratch);
  EXPECT_EQ(nothing.status, 1);
  EXPECT_NE(nothing.err.find(tree / "missing" + ": No such file or directory"), std::string::npos)
      << nothing.err;
  EXPECT_NE(nothing.err.find(tree / "plain.txt" + ": Not a folder"), std::string::npos)
      << nothing.err;
  auto partly =
      runZarnik("scan -q " + quoted(tree / "missing") + " " + quoted(tree.path()), scratch);
  EXPECT_EQ(partly.status, 0) << partly.err;
}

TEST_F(ScanCommandTest, AnUnreadableLocationIsReportedAndAScanOfNothingButThatFails) {
  if (testing::runningAsRoot()) GTEST_SKIP() << "root may read any folder";
  tree.file("closed/inside.txt", "x");
  ASSERT_EQ(::chmod((tree / "closed").c_str(), 0), 0);
  const auto run = runZarnik("scan -q " + quoted(tree / "closed"), scratch);
  ::chmod((tree / "closed").c_str(), 0700);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(tree / "closed" + ": Permission denied"), std::string::npos) << run.err;
}

TEST_F(ScanCommandTest, NumberArgumentsOutOfRangeGiveOneClearLineAndExitWithTwo) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"scan --min-size 99999999999999999999 " + quoted(tree.path()),
       "99999999999999999999 is too large"},
      {"scan --min-size -5 " + quoted(tree.path()), "--min-size"},
      {"scan --min-size lots " + quoted(tree.path()), "lots is not a size"},
      {"scan --min-size 20000000EB " + quoted(tree.path()), "20000000EB is not a size"},
      {"select --select 0", "0 is not a number from the listing"},
      {"select --select 99999999999999999999", "99999999999999999999 is too large"},
      {"select --group -3 --strategy none", "--group"},
      {"select --deselect seven", "seven is not a number from the listing"},
  };
  for (const auto& [arguments, message] : cases) {
    SCOPED_TRACE(arguments);
    const auto run = runZarnik(arguments, scratch);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("terminate"), std::string::npos) << run.err;
  }
  const auto largest =
      runZarnik("scan -q --exact --min-size 9223372036854775807 " + quoted(tree.path()), scratch);
  EXPECT_EQ(largest.status, 0) << largest.err;
}

TEST_F(ScanCommandTest, CountsAndSizesReadRightInTheSingularAndForNothing) {
  tree.dir("empty");
  const auto alone = runZarnik("scan -q --exact --min-size 0 " + quoted(tree / "empty"), scratch);
  ASSERT_EQ(alone.status, 0) << alone.err;
  EXPECT_NE(alone.out.find("Scanned 1 item ("), std::string::npos)
      << alone.out;  // the folder itself

  tree.file("a/one.txt", "same");
  tree.file("b/one.txt", "same");
  tree.hardlink("b/link.txt", "a/one.txt");
  const auto run = runZarnik("scan -q --exact --min-size 0 " + quoted(tree.path()), scratch);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("(3 copies, 4 bytes each)"), std::string::npos) << run.out;
  for (const char* wrong : {"1 items", "1 copies", "1 groups", "Zero KB", "Finder"}) {
    EXPECT_EQ(run.out.find(wrong), std::string::npos) << wrong << " in " << run.out;
  }
}

// The groups and totals a listing shows, without the figures that follow them.
std::string groupsAndTotals(const std::string& listing) {
  const size_t totals = listing.find("\nScanned ");
  return totals == std::string::npos ? listing
                                     : listing.substr(0, listing.find('\n', totals + 1) + 1);
}

// The scan lists the groups it has just stored without reading them back: what it shows must be
// what the stored results show, identifiers included, also for the records of a cleaning that a
// later scan carries over.
TEST_F(ScanCommandTest, AScanListsItsGroupsAsTheStoredResultsListThem) {
  tree.file("docs/report.pdf", "quarterly numbers");
  tree.file("docs/report copy.pdf", "quarterly numbers");
  tree.file("a/same.txt", "twin");
  tree.file("b/same.txt", "twin");
  tree.hardlink("b/linked.txt", "b/same.txt");
  for (int group = 0; group < 30; ++group) {
    for (int copy = 0; copy < 2 + group % 3; ++copy)
      tree.fileOfSize("many/g" + std::to_string(group) + "/c" + std::to_string(copy) + ".bin",
                      100 + group * 700, static_cast<char>('a' + group));
  }
  const std::string scan =
      "scan -q --exact --min-size 0 --select-random-among-equal " + quoted(tree.path());
  const auto first = runZarnik(scan, scratch);
  ASSERT_EQ(first.status, 0) << first.err;
  ASSERT_NE(first.out.find("Found 32 groups"), std::string::npos) << first.out;
  EXPECT_EQ(groupsAndTotals(first.out), groupsAndTotals(runZarnik("results", scratch).out));

  ASSERT_EQ(runZarnik("clean --yes", scratch).status, 0);
  const auto again = runZarnik(scan, scratch);
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_NE(again.out.find("cleaned " + tree / "docs/report copy.pdf"), std::string::npos)
      << again.out;
  EXPECT_EQ(groupsAndTotals(again.out), groupsAndTotals(runZarnik("results", scratch).out));
}

TEST_F(ScanCommandTest, UsageErrorsExitWithTwo) {
  EXPECT_EQ(runZarnik("scan --min-size lots " + quoted(tree.path()), scratch).status, 2);
  EXPECT_EQ(runZarnik("scan --exact --folders --frobnicate", scratch).status, 2);
  EXPECT_EQ(runZarnik("--no-such-flag", scratch).status, 2);
  auto help = runZarnik("scan --help", scratch);
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--min-size"), std::string::npos);
}

TEST_F(ScanCommandTest, ExcludedFoldersAndExtensionsAreLeftOut) {
  tree.file("keep/a.dat", "twin data");
  tree.file("skip/b.dat", "twin data");
  tree.file("keep/c.tmp", "twin data");
  auto run = runZarnik("scan --exact --min-size 0 --json --exclude " + quoted(tree / "skip") +
                           " --exclude-ext .tmp " + quoted(tree.path()),
                       scratch);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(parseJson(run.out).value()["groups"].empty()) << run.out;
  auto hidden = runZarnik(
      "scan --exact --min-size 0 --json --include-hidden --exclude-ext tmp " + quoted(tree.path()),
      scratch);
  EXPECT_EQ(parseJson(hidden.out).value()["groups"].size(), 1u);
}

}  // namespace
}  // namespace zarnik

#include <signal.h>
#include <unistd.h>

namespace zarnik {
namespace {

TEST_F(ScanCommandTest, InterruptKeepsWhatWasFoundAndExitsWith130) {
  // Enough work that the scan is still running when the interrupt comes.
  for (int i = 0; i < 3000; ++i)
    tree.fileOfSize("f/" + std::to_string(i), 20000 + (i % 50), static_cast<char>('a' + i % 3));
  const std::string out = scratch / "out.json";
  const std::string command = std::string(ZARNIK_BINARY) + " scan --exact --min-size 0 --json " +
                              quoted(tree.path()) + " > " + quoted(out) + " 2>/dev/null";
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // The program reads signals once its work has started; an interrupt before that still ends
  // it with 130 (the shell's default action would too), so both outcomes are checked below.
  ::usleep(50'000);
  ::kill(child, SIGINT);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (WIFEXITED(status)) {
    EXPECT_TRUE(WEXITSTATUS(status) == 130 || WEXITSTATUS(status) == 0) << WEXITSTATUS(status);
    FILE* file = std::fopen(out.c_str(), "r");
    ASSERT_NE(file, nullptr);
    std::string text;
    std::array<char, 4096> buffer{};
    size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), file)) > 0)
      text.append(buffer.data(), n);
    std::fclose(file);
    auto json = parseJson(text);
    ASSERT_TRUE(json.hasValue()) << "an interrupted scan still prints a whole document";
    EXPECT_TRUE(json.value()["groups"].is_array());
  } else {
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGINT);  // interrupted before the handler was in place
  }
}

}  // namespace
}  // namespace zarnik
