// Music and photo libraries scanned from the command line: a made-up home whose Rhythmbox and
// Shotwell libraries hold files that also lie elsewhere. The library's copy is the one kept, the
// other is cleaned, and a library that cannot be read is named once while the scan goes on.
#include "e2e/zarnik_runner.h"
#include "support/test_dir.h"

#include "base/json.h"
#include "platform/sqlite_database.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace zarnik {
namespace {

using testing::contentsOf;
using testing::quoted;
using testing::runZarnik;
using testing::ZarnikProgramTest;

constexpr size_t kSize = 100'000;

bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

class MediaLibrariesTest : public ZarnikProgramTest {
 protected:
  std::string home() const { return scratch.path(); }
  std::string dataHome() const { return scratch / "data"; }

  // Cleans the last scan's marked copies and checks which files went and which stayed.
  void cleanAndExpect(const std::vector<std::string>& gone, const std::vector<std::string>& kept) {
    const auto cleaned = runZarnik("clean --yes", scratch);
    ASSERT_EQ(cleaned.status, 0) << cleaned.out << cleaned.err;
    for (const auto& path : gone) EXPECT_FALSE(exists(path)) << path;
    for (const auto& path : kept) EXPECT_TRUE(exists(path)) << path;
  }

  void makeRhythmboxLibrary(const std::vector<std::string>& songs) {
    std::string xml = "<?xml version=\"1.0\" standalone=\"yes\"?>\n<rhythmdb version=\"2.0\">\n";
    for (const auto& song : songs) {
      xml +=
          "  <entry type=\"song\">\n    <title>Song</title>\n    <artist>Band</artist>\n    "
          "<play-count>9</play-count>\n"
          "    <rating>5</rating>\n    <location>file://" +
          song + "</location>\n  </entry>\n";
    }
    scratch.file("data/rhythmbox/rhythmdb.xml", xml + "</rhythmdb>\n");
  }

  void makeShotwellLibrary(const std::vector<std::string>& pictures, int rating) {
    scratch.dir("data/shotwell/data");
    auto database = SqliteDatabase::open(dataHome() + "/shotwell/data/photo.db");
    ASSERT_TRUE(database.hasValue());
    ASSERT_TRUE(database.value()
                    ->execute("CREATE TABLE PhotoTable (id INTEGER PRIMARY KEY, filename TEXT "
                              "UNIQUE NOT NULL, width "
                              "INTEGER, height INTEGER, filesize INTEGER, timestamp INTEGER, "
                              "exposure_time INTEGER, "
                              "rating INTEGER DEFAULT 0, title TEXT)")
                    .hasValue());
    auto insert = database.value()->prepare(
        "INSERT INTO PhotoTable (filename, width, height, filesize, timestamp, exposure_time, "
        "rating) "
        "VALUES (?, 800, 600, 100000, 1600000000, 1500000000, ?)");
    ASSERT_TRUE(insert.hasValue());
    for (const auto& picture : pictures) {
      ASSERT_TRUE(insert.value()
                      .bind(1, picture)
                      .bind(2, static_cast<std::int64_t>(rating))
                      .run()
                      .hasValue());
    }
  }

  // The scan's export; each member as {path, autoselect, library kind or ""}.
  struct Member {
    std::string path;
    bool autoselect = false;
    std::string library;
  };
  std::vector<std::vector<Member>> scanGroups(const std::string& libraryOptions,
                                              testing::Run* run = nullptr) {
    auto scanned = runZarnik(
        "scan " + quoted(home()) + " --json --exact --min-size 0 -q " + libraryOptions, scratch);
    if (run) *run = scanned;
    EXPECT_EQ(scanned.status, 0) << scanned.err;
    std::vector<std::vector<Member>> groups;
    const Json document = Json::parse(scanned.out, nullptr, false);
    if (!document.is_object() || !document.contains("groups")) {
      ADD_FAILURE() << scanned.out;
      return groups;
    }
    for (const auto& group : document["groups"]) {
      std::vector<Member> members;
      for (const auto& duplicate : group["duplicates"]) {
        Member member;
        std::string location = duplicate["scanLocation"].get<std::string>();
        if (location.starts_with("~")) location = home() + location.substr(1);
        while (location.size() > 1 && location.back() == '/') location.pop_back();
        member.path = location + "/" + duplicate["path"].get<std::string>();
        member.autoselect = duplicate.value("autoselect", false);
        if (duplicate.contains("library"))
          member.library = duplicate["library"]["kind"].get<std::string>();
        members.push_back(member);
      }
      std::sort(members.begin(), members.end(),
                [](const Member& a, const Member& b) { return a.path < b.path; });
      groups.push_back(members);
    }
    return groups;
  }

  const std::vector<Member>* groupHolding(const std::vector<std::vector<Member>>& groups,
                                          const std::string& path) {
    for (const auto& group : groups) {
      for (const auto& member : group) {
        if (member.path == path) return &group;
      }
    }
    return nullptr;
  }
};

TEST_F(MediaLibrariesTest, TheLibrarysCopyIsKeptWithItsFactsAndTheOtherCopyIsCleaned) {
  const std::string song = scratch.fileOfSize("Music/Band/song.mp3", kSize, 's');
  const std::string songElsewhere = scratch.fileOfSize("Downloads/song.mp3", kSize, 's');
  const std::string picture = scratch.fileOfSize("Pictures/2024/beach.jpg", kSize, 'b');
  const std::string pictureElsewhere = scratch.fileOfSize("Downloads/beach.jpg", kSize, 'b');
  makeRhythmboxLibrary({song});
  makeShotwellLibrary({picture}, 4);

  const auto groups = scanGroups("--music-library --photo-library");
  const auto* songs = groupHolding(groups, song);
  ASSERT_NE(songs, nullptr);
  // The library's track, reached also by the walk of the home folder, is one member, not two.
  ASSERT_EQ(songs->size(), 2u);
  EXPECT_EQ((*songs)[0].path, songElsewhere);
  EXPECT_TRUE((*songs)[0].autoselect);
  EXPECT_EQ((*songs)[0].library, "");
  EXPECT_EQ((*songs)[1].path, song);
  EXPECT_FALSE((*songs)[1].autoselect);
  EXPECT_EQ((*songs)[1].library, "music");

  const auto* pictures = groupHolding(groups, picture);
  ASSERT_NE(pictures, nullptr);
  ASSERT_EQ(pictures->size(), 2u);
  EXPECT_EQ((*pictures)[0].path, pictureElsewhere);
  EXPECT_TRUE((*pictures)[0].autoselect);
  EXPECT_EQ((*pictures)[1].library, "photo");
  EXPECT_FALSE((*pictures)[1].autoselect);

  const auto results = runZarnik("results", scratch);
  EXPECT_NE(results.out.find("rated 4 stars in Shotwell"), std::string::npos) << results.out;
  EXPECT_NE(results.out.find("in your music library"), std::string::npos) << results.out;

  cleanAndExpect({songElsewhere, pictureElsewhere}, {song, picture});
}

// The formats of libraries copied from another computer: a music library's XML list naming its
// tracks at their old place, and a photo library's database of versions and masters.
TEST_F(MediaLibrariesTest, CopiedMusicAndPhotoLibrariesKeepTheirCopiesAndTheOthersAreCleaned) {
  const std::string song =
      scratch.fileOfSize("Music/iTunes/iTunes Media/Music/Band/Song.mp3", kSize, 's');
  const std::string songElsewhere = scratch.fileOfSize("Downloads/Song.mp3", kSize, 's');
  scratch.file("Music/iTunes/iTunes Library.xml",
               "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
               "<key>Music Folder</key><string>file://localhost/Users/ann/Music/iTunes/"
               "iTunes%20Media/</string><key>Tracks</key><dict><key>1</key><dict>"
               "<key>Track ID</key><integer>1</integer><key>Name</key><string>Song</string>"
               "<key>Play Count</key><integer>12</integer><key>Persistent ID</key>"
               "<string>0A</string><key>Location</key><string>file://localhost/Users/ann/Music/"
               "iTunes/iTunes%20Media/Music/Band/Song.mp3</string></dict></dict></dict></plist>");
  const std::string library = scratch.dir("Pictures/Photos Library.photoslibrary");
  const std::string picture = scratch.fileOfSize(
      "Pictures/Photos Library.photoslibrary/Masters/2019/beach.jpg", kSize, 'b');
  const std::string pictureElsewhere = scratch.fileOfSize("Downloads/beach.jpg", kSize, 'b');
  scratch.dir("Pictures/Photos Library.photoslibrary/database");
  {
    auto database = SqliteDatabase::open(library + "/database/photos.db");
    ASSERT_TRUE(database.hasValue());
    ASSERT_TRUE(database.value()
                    ->execute("CREATE TABLE RKMaster (modelId INTEGER PRIMARY KEY, uuid TEXT, "
                              "imagePath TEXT, isInTrash INTEGER);"
                              "CREATE TABLE RKVersion (modelId INTEGER PRIMARY KEY, uuid TEXT, "
                              "masterUuid TEXT, name TEXT, isInTrash INTEGER);"
                              "INSERT INTO RKMaster VALUES (1, 'M1', '2019/beach.jpg', 0);"
                              "INSERT INTO RKVersion VALUES (1, 'V1', 'M1', 'Beach', 0)")
                    .hasValue());
  }

  const auto groups = scanGroups("--music-library " + quoted(scratch / "Music/iTunes") +
                                 " --photo-library " + quoted(library));
  for (const auto& [kept, elsewhere, kind] :
       {std::tuple{song, songElsewhere, "music"}, std::tuple{picture, pictureElsewhere, "photo"}}) {
    const auto* group = groupHolding(groups, kept);
    ASSERT_NE(group, nullptr) << kept;
    ASSERT_EQ(group->size(), 2u) << kept;
    const auto& [inLibrary, other] = (*group)[0].path == kept ? std::pair{(*group)[0], (*group)[1]}
                                                              : std::pair{(*group)[1], (*group)[0]};
    EXPECT_EQ(inLibrary.library, kind);
    EXPECT_FALSE(inLibrary.autoselect);
    EXPECT_EQ(other.path, elsewhere);
    EXPECT_TRUE(other.autoselect);
  }

  cleanAndExpect({songElsewhere, pictureElsewhere}, {song, picture});
}

// Both copies belong to the library: one goes to the trash, the library's own file is left as it
// was, the cleaning says the library will miss the item, and a revert puts the file back.
TEST_F(MediaLibrariesTest, ALibrarysOwnCopyIsTrashedWithANoteAndARevertPutsItBack) {
  const std::string song = scratch.fileOfSize("Music/Band/song.mp3", kSize, 's');
  const std::string songAgain = scratch.fileOfSize("Music/Band/song (2).mp3", kSize, 's');
  const std::string picture = scratch.fileOfSize("Pictures/2024/beach.jpg", kSize, 'b');
  const std::string pictureAgain = scratch.fileOfSize("Pictures/2024/beach-1.jpg", kSize, 'b');
  makeRhythmboxLibrary({song, songAgain});
  makeShotwellLibrary({picture, pictureAgain}, 3);
  const std::string rhythmdb = dataHome() + "/rhythmbox/rhythmdb.xml";
  const std::string photoDb = dataHome() + "/shotwell/data/photo.db";
  const std::string rhythmdbBefore = contentsOf(rhythmdb);
  const std::string photoDbBefore = contentsOf(photoDb);

  const auto groups = scanGroups("--music-library --photo-library");
  for (const auto& path : {song, picture}) {
    const auto* group = groupHolding(groups, path);
    ASSERT_NE(group, nullptr) << path;
    ASSERT_EQ(group->size(), 2u);
    EXPECT_NE((*group)[0].library, "");
    EXPECT_NE((*group)[1].library, "");
    EXPECT_NE((*group)[0].autoselect, (*group)[1].autoselect) << path;
  }

  const auto cleaned = runZarnik("clean --yes", scratch);
  ASSERT_EQ(cleaned.status, 0) << cleaned.out << cleaned.err;
  EXPECT_NE(exists(song), exists(songAgain));
  EXPECT_NE(exists(picture), exists(pictureAgain));
  EXPECT_NE(cleaned.out.find("Rhythmbox will list this track as missing"), std::string::npos)
      << cleaned.out;
  EXPECT_NE(cleaned.out.find("Shotwell will list this picture as missing"), std::string::npos)
      << cleaned.out;
  EXPECT_EQ(contentsOf(rhythmdb), rhythmdbBefore);
  EXPECT_EQ(contentsOf(photoDb), photoDbBefore);

  const auto reverted = runZarnik("revert --all", scratch);
  ASSERT_EQ(reverted.status, 0) << reverted.out << reverted.err;
  for (const auto& path : {song, songAgain, picture, pictureAgain})
    EXPECT_TRUE(exists(path)) << path;
}

TEST_F(MediaLibrariesTest, ALibraryThatCannotBeReadIsNamedOnceAndTheScanGoesOn) {
  scratch.fileOfSize("Documents/a.pdf", kSize, 'a');
  scratch.fileOfSize("Documents/b.pdf", kSize, 'a');
  const std::string song = scratch.fileOfSize("Music/song.mp3", kSize, 's');
  makeRhythmboxLibrary({song});
  const std::string library = dataHome() + "/rhythmbox/rhythmdb.xml";
  const std::string whole = contentsOf(library);
  scratch.file("data/rhythmbox/rhythmdb.xml", whole.substr(0, whole.size() / 2));
  const std::string shotwell =
      scratch.file("data/shotwell/data/photo.db", "not a database but some words");
  const std::string before = contentsOf(shotwell);

  testing::Run run;
  const auto groups = scanGroups("--music-library --photo-library", &run);
  EXPECT_NE(groupHolding(groups, scratch / "Documents/a.pdf"), nullptr);
  size_t mentions = 0;
  for (size_t at = run.err.find(library); at != std::string::npos;
       at = run.err.find(library, at + 1))
    ++mentions;
  EXPECT_EQ(mentions, 1u) << run.err;
  EXPECT_NE(run.err.find(shotwell), std::string::npos) << run.err;
  EXPECT_EQ(contentsOf(shotwell), before);
}

TEST_F(MediaLibrariesTest,
       ALibraryPathThatHoldsNoLibraryIsAnErrorNamingItAndTheFoldersAreStillScanned) {
  scratch.fileOfSize("Documents/a.pdf", kSize, 'a');
  scratch.fileOfSize("Documents/b.pdf", kSize, 'a');
  const std::string nothing = scratch.dir("nothing-here");
  testing::Run run;
  const auto groups = scanGroups("--music-library " + quoted(nothing), &run);
  EXPECT_NE(groupHolding(groups, scratch / "Documents/a.pdf"), nullptr);
  EXPECT_NE(run.err.find(nothing), std::string::npos) << run.err;
  // A folder given to the option may have been meant as a folder to scan.
  EXPECT_NE(run.err.find("name it before --music-library"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace zarnik
