// A made-up home folder as a person keeps one, scanned end to end: the user's folders are no
// copies of each other, numbers that are years or sequence numbers mark no copy, the trash is
// never looked into, and every proposal says why it is made.
#include "e2e/zarnik_runner.h"
#include "support/test_dir.h"

#include "base/json.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <vector>

namespace zarnik {
namespace {

using testing::quoted;
using testing::runZarnik;
using testing::TestDir;

class HomeFolderTest : public ::testing::Test {
 protected:
  TestDir home;
  TestDir scratch;

  void SetUp() override {
    ::setenv("HOME", home.path().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home / ".local/share").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (home / ".local/state").c_str(), 1);
    std::string dirs;
    for (const char* name :
         {"DESKTOP=Desktop", "DOCUMENTS=Documents", "DOWNLOAD=Downloads", "MUSIC=Music",
          "PICTURES=Pictures", "VIDEOS=Videos", "PUBLICSHARE=Public", "TEMPLATES=Templates"}) {
      const std::string entry(name);
      const std::string folder = entry.substr(entry.find('=') + 1);
      dirs += "XDG_" + entry.substr(0, entry.find('=')) + "_DIR=\"$HOME/" + folder + "\"\n";
      home.dir(folder);
    }
    home.file(".config/user-dirs.dirs", "# written by xdg-user-dirs-update\n" + dirs);

    // Each pair holds one content; 100 KB each, so that no size threshold hides a group.
    constexpr size_t kSize = 100'000;
    home.fileOfSize("Downloads/sunset.jpg", kSize, 's');
    home.fileOfSize("Pictures/sunset.jpg", kSize, 's');
    home.fileOfSize("Pictures/Trip to Rome 2019/colosseum.jpg", kSize, 'c');
    home.fileOfSize("Desktop/colosseum.jpg", kSize, 'c');
    home.fileOfSize("Documents/old/scan0001.pdf", kSize, 't');
    home.fileOfSize("Documents/taxes/tax-return-2023.pdf", kSize, 't');
    home.fileOfSize("Documents/taxes/receipts.pdf", kSize + 1, 'r');
    home.fileOfSize("Pictures/photo.jpg", kSize, 'p');
    home.fileOfSize("Pictures/photo (1).jpg", kSize, 'p');
    home.fileOfSize("Documents/manual.pdf", kSize, 'm');
    ::chmod(home.fileOfSize("Downloads/manual copy.pdf", kSize, 'm').c_str(), 0444);
    // Thrown away: the trash holds another copy of the sunset.
    home.fileOfSize(".local/share/Trash/files/sunset.jpg", kSize, 's');
    home.file(".local/share/Trash/info/sunset.jpg.trashinfo",
              "[Trash Info]\nPath=" + home / "Pictures/sunset.jpg" +
                  "\nDeletionDate=2026-01-01T10:00:00\n");
  }

  // The copy at `relative` in the export, or null.
  [[nodiscard]] const Json* exportedCopy(const Json& document, const std::string& relative) const {
    for (const auto& group : document["groups"]) {
      for (const auto& copy : group["duplicates"]) {
        if (copy["path"] == relative) return &copy;
      }
    }
    return nullptr;
  }
};

TEST_F(HomeFolderTest, TheTextListingProposesWhatACarefulPersonWouldAndSaysWhy) {
  const auto run = runZarnik("scan " + quoted(home.path()), scratch);
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string& out = run.out;
  // The user's folders are never copies: their files are listed one by one.
  EXPECT_EQ(out.find("Duplicate folders"), std::string::npos) << out;
  EXPECT_NE(out.find("keep   " + home / "Downloads/sunset.jpg"), std::string::npos) << out;
  EXPECT_NE(out.find("keep   " + home / "Pictures/sunset.jpg"), std::string::npos) << out;
  // The copy number beside the plain name marks the copy.
  EXPECT_NE(
      out.find("remove " + home / "Pictures/photo (1).jpg" + "  (name ends in a copy number)"),
      std::string::npos)
      << out;
  // A year and a sequence number mark nothing: nothing tells these copies apart, both stay.
  EXPECT_NE(out.find("keep   " + home / "Pictures/Trip to Rome 2019/colosseum.jpg"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("keep   " + home / "Desktop/colosseum.jpg"), std::string::npos) << out;
  EXPECT_NE(out.find("keep   " + home / "Documents/taxes/tax-return-2023.pdf"), std::string::npos)
      << out;
  EXPECT_NE(out.find("keep   " + home / "Documents/old/scan0001.pdf"), std::string::npos) << out;
  if (testing::runningAsRoot()) {  // root may write any file: nothing is read-only to it
    EXPECT_NE(
        out.find("remove " + home / "Downloads/manual copy.pdf" + "  (name marks it as a copy)"),
        std::string::npos)
        << out;
    EXPECT_NE(out.find("2 copies (200 KB) proposed for removal"), std::string::npos) << out;
  } else {
    EXPECT_NE(out.find("keep   " + home / "Downloads/manual copy.pdf" + "  (protected: read-only)"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("1 copy (100 KB) proposed for removal"), std::string::npos) << out;
  }
  EXPECT_EQ(out.find("Trash"), std::string::npos) << out;
  // File sizes, not blocks on disk (which would make 512 KB): one copy of each of five pairs.
  EXPECT_NE(out.find("; 500 KB could be freed;"), std::string::npos) << out;
}

TEST_F(HomeFolderTest, TheExportGivesEveryCopyItsReasonAndTheSameTreeGivesTheSameDocument) {
  const auto run = runZarnik("scan --json " + quoted(home.path()), scratch);
  ASSERT_EQ(run.status, 0) << run.err;
  const Json document = Json::parse(run.out);
  for (const auto& group : document["groups"])
    EXPECT_NE(group["type"], "directory") << group.dump();

  const Json* numbered = exportedCopy(document, "Pictures/photo (1).jpg");
  ASSERT_NE(numbered, nullptr) << run.out;
  EXPECT_EQ((*numbered)["autoselect"], true);
  EXPECT_EQ((*numbered)["reason"], "name ends in a copy number");
  EXPECT_EQ((*exportedCopy(document, "Pictures/photo.jpg"))["reason"], "original");
  for (const char* wellFiled :
       {"Pictures/Trip to Rome 2019/colosseum.jpg", "Documents/taxes/tax-return-2023.pdf"}) {
    const Json* copy = exportedCopy(document, wellFiled);
    ASSERT_NE(copy, nullptr) << wellFiled;
    EXPECT_EQ((*copy)["autoselect"], false) << wellFiled;
    EXPECT_TRUE((*copy)["reason"].is_string()) << wellFiled;
  }
  EXPECT_EQ(run.out.find("Trash"), std::string::npos);

  const auto again = runZarnik("scan --json " + quoted(home.path()), scratch);
  EXPECT_EQ(again.out, run.out);
}

// The program's own stores, settings and log are open while it cleans: a second scan finds them
// in the home folder and must leave them out, small as they are.
TEST_F(HomeFolderTest, TheTrashAndTheProgramsOwnFoldersAreNeverScannedEvenWithHiddenItems) {
  const std::string scan = "scan --include-hidden --exact --min-size 0 " + quoted(home.path());
  ASSERT_EQ(runZarnik(scan, scratch).status, 0);
  const auto run = runZarnik(scan, scratch);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.find("Trash"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("/zarnik/"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(home / "Pictures/sunset.jpg"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace zarnik
