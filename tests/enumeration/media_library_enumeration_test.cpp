#include "enumeration/media_library_enumeration.h"

#include "support/test_dir.h"

#include "enumeration/media_library_locations.h"
#include "platform/sqlite_database.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>

namespace zarnik {
namespace {

using testing::contentsOf;
using testing::TestDir;

std::string fileURI(const std::string& path) {
  std::string uri = "file://";
  for (const char c : path) {
    if (c == ' ') {
      uri += "%20";
    } else if (c == '&') {
      uri += "&amp;";
    } else {
      uri += c;
    }
  }
  return uri;
}

std::string rhythmdbWithSongs(const std::vector<std::pair<std::string, int>>& pathsAndRatings) {
  std::string xml = "<?xml version=\"1.0\"?>\n<rhythmdb version=\"2.0\">\n";
  for (const auto& [path, rating] : pathsAndRatings) {
    xml += "<entry type=\"song\"><title>T</title><artist>A</artist><rating>" +
           std::to_string(rating) + "</rating><location>" + fileURI(path) +
           "</location><duration>120</duration></entry>\n";
  }
  return xml + "</rhythmdb>\n";
}

void makeShotwellDatabase(const std::string& path,
                          const std::vector<std::pair<std::string, int>>& photos) {
  auto database = SqliteDatabase::open(path);
  ASSERT_TRUE(database.hasValue()) << database.error().oneLine();
  auto& db = *database.value();
  ASSERT_TRUE(db.execute("CREATE TABLE PhotoTable (id INTEGER PRIMARY KEY, filename TEXT UNIQUE "
                         "NOT NULL, width INTEGER, "
                         "height INTEGER, filesize INTEGER, timestamp INTEGER, exposure_time "
                         "INTEGER, rating INTEGER "
                         "DEFAULT 0, title TEXT)")
                  .hasValue());
  ASSERT_TRUE(db.execute("CREATE TABLE VideoTable (id INTEGER PRIMARY KEY, filename TEXT UNIQUE "
                         "NOT NULL, width INTEGER, "
                         "height INTEGER, filesize INTEGER, timestamp INTEGER, exposure_time "
                         "INTEGER, rating INTEGER "
                         "DEFAULT 0, title TEXT)")
                  .hasValue());
  auto insert = db.prepare(
      "INSERT INTO PhotoTable (filename, width, height, filesize, timestamp, exposure_time, "
      "rating, title) "
      "VALUES (?, 640, 480, 10, 1600000000, 1500000000, ?, NULL)");
  ASSERT_TRUE(insert.hasValue());
  for (const auto& [file, rating] : photos) {
    ASSERT_TRUE(
        insert.value().bind(1, file).bind(2, static_cast<std::int64_t>(rating)).run().hasValue());
  }
}

class MediaLibraryEnumerationTest : public ::testing::Test {
 protected:
  TestDir dir;
  OVURLResolver resolver{"/nonexistent-home"};
  std::shared_ptr<ExtendedScanRules> rules = std::make_shared<ExtendedScanRules>();
  std::shared_ptr<MatchingNodesFactory> factory = MatchingNodesFactory::make(rules, resolver, {});
  std::shared_ptr<OperationQueue> work =
      OperationQueue::make("media-library-test.work", 2, QualityOfService::utility);
  std::mutex mutex;
  std::vector<Error> errors;

  MediaLibraryEnumerationContext context() {
    MediaLibraryEnumerationContext made;
    made.factory = factory;
    made.errorHandler = [this](const Error& error) {
      std::lock_guard lock(mutex);
      errors.push_back(error);
    };
    made.itemLocations = {ScanLocation::make(dir.path(), resolver)};
    return made;
  }

  std::shared_ptr<MatchingDirectoryNode> libraryNode(const MediaLibraryLocation& library) {
    auto attributes = NodeAttributes::resourceValuesOf(library.folder);
    EXPECT_TRUE(attributes.has_value()) << library.folder;
    auto node = std::dynamic_pointer_cast<MatchingDirectoryNode>(factory->buildNode(
        nullptr, "", library.folder, *attributes, ScanLocation::make(library.folder, resolver)));
    node->setMediaLibraryInfo(library.libraryInfo());
    return node;
  }

  Result<std::vector<MatchingNodePtr>> listMusic(
      const std::string& path, std::vector<ITunesLibraryEnumerationReport>* reports = nullptr) {
    auto library = musicLibraryAt(path);
    if (library.hasError()) return library.error();
    MediaLibraryEnumerationService service(context(), *work);
    auto task = service.perform(
        ITunesLibraryEnumerationRequest{libraryNode(library.value()), library.value().file,
                                        std::get<MusicLibraryFormat>(library.value().format)});
    task->setReportHandler([reports](const ITunesLibraryEnumerationReport& report) {
      if (reports) reports->push_back(report);
    });
    return task->start().wait().transform(
        [](const ITunesLibraryEnumerationResult& result) { return result.nodes; });
  }

  Result<std::vector<MatchingNodePtr>> listPhotos(const std::string& path) {
    auto library = photoLibraryAt(path);
    if (library.hasError()) return library.error();
    MediaLibraryEnumerationService service(context(), *work);
    auto task = service.perform(
        PhotosLibraryEnumerationRequest{libraryNode(library.value()), library.value().file,
                                        std::get<PhotoLibraryFormat>(library.value().format)});
    return task->start().wait().transform(
        [](const PhotosLibraryEnumerationResult& result) { return result.nodes; });
  }
};

TEST_F(MediaLibraryEnumerationTest, RhythmboxSongsBecomeLibraryItemNodesCarryingTheLibrarysFacts) {
  const std::string song = dir.file("Music/Blue & Green.mp3", "audio bytes");
  const std::string note = dir.file("Music/notes.txt", "not audio");
  dir.file("rhythmbox/rhythmdb.xml", rhythmdbWithSongs({{song, 4}, {note, 0}}));
  std::vector<ITunesLibraryEnumerationReport> reports;
  auto nodes = listMusic(dir / "rhythmbox", &reports);
  ASSERT_TRUE(nodes.hasValue()) << nodes.error().oneLine();
  ASSERT_EQ(nodes.value().size(), 1u);  // the text file is no media item
  const auto* track = dynamic_cast<const MatchingITunesItemNode*>(nodes.value()[0].get());
  ASSERT_NE(track, nullptr);
  EXPECT_EQ(track->path(), song);
  ASSERT_TRUE(track->iTunesItemInfo().has_value());
  EXPECT_EQ(track->iTunesItemInfo()->rating, 80.0F);
  ASSERT_NE(track->libraryNode(), nullptr);
  EXPECT_EQ(track->libraryNode()->path(), dir / "rhythmbox");
  ASSERT_TRUE(track->libraryNode()->mediaLibraryInfo().has_value());
  EXPECT_EQ(track->libraryNode()->mediaLibraryInfo()->applicationName, "Rhythmbox");
  ASSERT_EQ(reports.size(), 4u);
  EXPECT_EQ(reports.front().kind, ITunesLibraryEnumerationReport::Kind::didDetectNumberOfTracks);
  EXPECT_EQ(reports.front().count, 2);
  EXPECT_EQ(reports.back().kind, ITunesLibraryEnumerationReport::Kind::didDetectNumberOfNodes);
  EXPECT_EQ(reports.back().count, 1);
  EXPECT_TRUE(errors.empty());
}

TEST_F(MediaLibraryEnumerationTest, AFileTheLibraryListsButThatIsGoneIsReportedAndSkipped) {
  const std::string present = dir.file("Music/here.mp3", "audio");
  const std::string gone = dir / "Music/gone.mp3";
  dir.file("rhythmbox/rhythmdb.xml", rhythmdbWithSongs({{gone, 1}, {present, 2}}));
  auto nodes = listMusic(dir / "rhythmbox/rhythmdb.xml");
  ASSERT_TRUE(nodes.hasValue());
  ASSERT_EQ(nodes.value().size(), 1u);
  EXPECT_EQ(nodes.value()[0]->path(), present);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].domain, kItemResourceProviderErrorDomain);
  EXPECT_EQ(errors[0].path, gone);
}

TEST_F(MediaLibraryEnumerationTest, ALibraryFileCutShortFailsTheTaskNamingTheFile) {
  const std::string song = dir.file("Music/a.mp3", "audio");
  const std::string full = rhythmdbWithSongs({{song, 1}, {song, 2}});
  const std::string file = dir.file("rhythmbox/rhythmdb.xml", full.substr(0, full.size() - 30));
  auto nodes = listMusic(file);
  ASSERT_TRUE(nodes.hasError());
  EXPECT_EQ(nodes.error().domain, kMediaLibraryEnumerationErrorDomain);
  EXPECT_EQ(nodes.error().path, file);
}

TEST_F(MediaLibraryEnumerationTest,
       AMusicLibraryCopiedFromAnotherComputerFindsItsFilesInItsOwnMediaFolder) {
  const std::string song =
      dir.file("old-mac/iTunes/iTunes Media/Music/Singer/Song.m4a", "m4a audio");
  dir.file("old-mac/iTunes/iTunes Library.xml",
           "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
           "<key>Music "
           "Folder</key><string>file://localhost/Users/ann/Music/iTunes/iTunes%20Media/</string>"
           "<key>Tracks</key><dict><key>1</key><dict><key>Track ID</key><integer>1</integer>"
           "<key>Name</key><string>Song</string><key>Persistent "
           "ID</key><string>0A</string><key>Location</key>"
           "<string>file://localhost/Users/ann/Music/iTunes/iTunes%20Media/Music/Singer/Song.m4a</"
           "string></dict></dict>"
           "</dict></plist>");
  auto nodes = listMusic(dir / "old-mac/iTunes");
  ASSERT_TRUE(nodes.hasValue()) << nodes.error().oneLine();
  ASSERT_EQ(nodes.value().size(), 1u);
  EXPECT_EQ(nodes.value()[0]->path(), song);
}

TEST_F(MediaLibraryEnumerationTest, ShotwellPicturesBecomeLibraryItemsWithTheirRating) {
  const std::string rated = dir.file("Pictures/rated.jpg", "jpeg one");
  const std::string rejected = dir.file("Pictures/rejected.jpg", "jpeg two");
  dir.dir("shotwell/data");
  makeShotwellDatabase(
      dir / "shotwell/data/photo.db",
      {{rated, 4}, {rejected, -1}, {dir / "Pictures/gone.jpg", 3}, {"Pictures/rated.jpg", 1}});
  auto nodes = listPhotos(dir / "shotwell");
  ASSERT_TRUE(nodes.hasValue()) << nodes.error().oneLine();
  ASSERT_EQ(nodes.value().size(), 2u);
  const auto* first = dynamic_cast<const MatchingPhotosItemNode*>(nodes.value()[0].get());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->masterNode()->path(), rated);
  EXPECT_EQ(first->photosItemInfo().rating, 4);
  EXPECT_EQ(first->libraryNode()->path(), dir / "shotwell");
  const auto* second = dynamic_cast<const MatchingPhotosItemNode*>(nodes.value()[1].get());
  ASSERT_NE(second, nullptr);
  EXPECT_FALSE(second->photosItemInfo().rating.has_value());
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].path, dir / "Pictures/gone.jpg");
}

// Shotwell's trash keeps the files: a photo or video thrown away there is no library item.
TEST_F(MediaLibraryEnumerationTest, PicturesAndVideosInShotwellsTrashAreNotListed) {
  const std::string kept = dir.file("Pictures/kept.jpg", "jpeg one");
  const std::string trashed = dir.file("Pictures/trashed.jpg", "jpeg two");
  const std::string video = dir.file("Videos/kept.mp4", "video one");
  const std::string trashedVideo = dir.file("Videos/trashed.mp4", "video two");
  dir.dir("shotwell/data");
  auto database = SqliteDatabase::open(dir / "shotwell/data/photo.db");
  ASSERT_TRUE(database.hasValue());
  for (const char* table : {"PhotoTable", "VideoTable"}) {
    ASSERT_TRUE(database.value()
                    ->execute(std::string("CREATE TABLE ") + table +
                              " (id INTEGER PRIMARY KEY, filename TEXT, width INTEGER, height "
                              "INTEGER, timestamp INTEGER, exposure_time INTEGER, rating INTEGER, "
                              "title TEXT, flags INTEGER)")
                    .hasValue());
  }
  // A photo's trash bit is 4 (2 marks a flagged one), a video's is 1.
  ASSERT_TRUE(database.value()
                  ->execute("INSERT INTO PhotoTable VALUES (1, '" + kept +
                            "', 1, 1, 1, 1, 0, NULL, 2), (2, '" + trashed +
                            "', 1, 1, 1, 1, 0, NULL, 6)")
                  .hasValue());
  ASSERT_TRUE(database.value()
                  ->execute("INSERT INTO VideoTable VALUES (1, '" + video +
                            "', 1, 1, 1, 1, 0, NULL, 4), (2, '" + trashedVideo +
                            "', 1, 1, 1, 1, 0, NULL, 1)")
                  .hasValue());
  database.value().reset();
  auto nodes = listPhotos(dir / "shotwell");
  ASSERT_TRUE(nodes.hasValue()) << nodes.error().oneLine();
  std::vector<std::string> listed;
  for (const auto& node : nodes.value())
    listed.push_back(dynamic_cast<const MatchingPhotosItemNode&>(*node).masterNode()->path());
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, (std::vector<std::string>{kept, video}));
}

TEST_F(MediaLibraryEnumerationTest, APhotoDatabaseHeldByAWriterIsReadAtOnceAndLeftAsItWas) {
  const std::string picture = dir.file("Pictures/a.jpg", "jpeg");
  dir.dir("shotwell/data");
  const std::string databasePath = dir / "shotwell/data/photo.db";
  makeShotwellDatabase(databasePath, {{picture, 2}});
  auto writer = SqliteDatabase::open(databasePath);
  ASSERT_TRUE(writer.hasValue());
  ASSERT_TRUE(writer.value()->execute("BEGIN EXCLUSIVE").hasValue());
  ASSERT_TRUE(writer.value()->execute("UPDATE PhotoTable SET rating = 5").hasValue());
  const std::string before = contentsOf(databasePath);

  const auto started = std::chrono::steady_clock::now();
  auto nodes = listPhotos(databasePath);
  const auto waited = std::chrono::steady_clock::now() - started;

  ASSERT_TRUE(nodes.hasValue()) << nodes.error().oneLine();
  ASSERT_EQ(nodes.value().size(), 1u);
  // The committed rating: what the writer has not committed is not seen.
  EXPECT_EQ(dynamic_cast<const MatchingPhotosItemNode&>(*nodes.value()[0]).photosItemInfo().rating,
            2);
  // A busy handler would have waited for the writer's lock for seconds.
  EXPECT_LT(waited, std::chrono::seconds(2));
  EXPECT_EQ(contentsOf(databasePath), before);
  EXPECT_TRUE(writer.value()->execute("COMMIT").hasValue());
}

// A running program in write-ahead-log mode: what it committed last is in the log only.
TEST_F(MediaLibraryEnumerationTest, APhotoDatabaseInUseIsReadWithItsLogAndLeftAsItWas) {
  const std::string picture = dir.file("Pictures/a.jpg", "jpeg");
  const std::string added = dir.file("Pictures/b.jpg", "jpeg 2");
  dir.dir("shotwell/data");
  const std::string databasePath = dir / "shotwell/data/photo.db";
  makeShotwellDatabase(databasePath, {{picture, 2}});
  auto writer = SqliteDatabase::open(databasePath);
  ASSERT_TRUE(writer.hasValue());
  ASSERT_TRUE(writer.value()->execute("PRAGMA journal_mode=WAL").hasValue());
  ASSERT_TRUE(writer.value()->execute("PRAGMA wal_autocheckpoint=0").hasValue());
  ASSERT_TRUE(writer.value()->execute("UPDATE PhotoTable SET rating = 5").hasValue());
  ASSERT_TRUE(writer.value()
                  ->execute("INSERT INTO PhotoTable (filename, width, height, filesize, timestamp, "
                            "exposure_time, rating) VALUES ('" +
                            added + "', 1, 1, 6, 1600000000, 1500000000, 1)")
                  .hasValue());
  const std::string before = contentsOf(databasePath);
  const std::string logBefore = contentsOf(databasePath + "-wal");

  auto nodes = listPhotos(databasePath);

  ASSERT_TRUE(nodes.hasValue()) << nodes.error().oneLine();
  ASSERT_EQ(nodes.value().size(), 2u);
  EXPECT_EQ(dynamic_cast<const MatchingPhotosItemNode&>(*nodes.value()[0]).photosItemInfo().rating,
            5);
  EXPECT_EQ(dynamic_cast<const MatchingPhotosItemNode&>(*nodes.value()[1]).masterNode()->path(),
            added);
  EXPECT_EQ(contentsOf(databasePath), before);
  EXPECT_EQ(contentsOf(databasePath + "-wal"), logBefore);
}

TEST_F(MediaLibraryEnumerationTest,
       APhotosLibraryDatabaseListsEachMasterOutsideTheTrashOnceWithItsFirstVersion) {
  const std::string library = dir.dir("Photos Library.photoslibrary");
  const std::string kept =
      dir.file("Photos Library.photoslibrary/Masters/2019/05/01/kept.jpg", "jpeg kept");
  const std::string preview =
      dir.file("Photos Library.photoslibrary/Previews/2019/05/01/kept.jpg", "jpeg preview");
  dir.file("Photos Library.photoslibrary/Masters/2019/05/01/trashed.jpg", "jpeg trashed");
  dir.dir("Photos Library.photoslibrary/database");
  {
    auto database = SqliteDatabase::open(library + "/database/photos.db");
    ASSERT_TRUE(database.hasValue());
    auto& db = *database.value();
    ASSERT_TRUE(db.execute("CREATE TABLE RKMaster (modelId INTEGER PRIMARY KEY, uuid TEXT, "
                           "imagePath TEXT, isInTrash INTEGER)")
                    .hasValue());
    ASSERT_TRUE(db.execute("CREATE TABLE RKVersion (modelId INTEGER PRIMARY KEY, uuid TEXT, "
                           "masterUuid TEXT, name TEXT, isInTrash INTEGER)")
                    .hasValue());
    ASSERT_TRUE(db.execute("INSERT INTO RKMaster VALUES (1, 'M1', '2019/05/01/kept.jpg', 0), (2, "
                           "'M2', '2019/05/01/trashed.jpg', 0), "
                           "(3, 'M3', '../../outside.jpg', 0)")
                    .hasValue());
    // V4 is an edit of V1's master: its file is listed once, as V1.
    ASSERT_TRUE(db.execute("INSERT INTO RKVersion VALUES (4, 'V4', 'M1', 'Kept, cropped', 0), "
                           "(1, 'V1', 'M1', 'Kept', 0), (2, 'V2', 'M2', 'Trashed', 1), "
                           "(3, 'V3', 'M3', 'Outside', 0)")
                    .hasValue());
  }
  auto nodes = listPhotos(library);
  ASSERT_TRUE(nodes.hasValue()) << nodes.error().oneLine();
  ASSERT_EQ(nodes.value().size(), 1u);
  const auto& item = dynamic_cast<const MatchingPhotosItemNode&>(*nodes.value()[0]);
  EXPECT_EQ(item.masterNode()->path(), kept);
  EXPECT_EQ(item.photosItemInfo().identifier, "V1");
  EXPECT_EQ(item.photosItemInfo().name, "Kept");
  ASSERT_NE(item.previewNode(), nullptr);
  EXPECT_EQ(item.previewNode()->path(), preview);
}

TEST_F(MediaLibraryEnumerationTest,
       APhotosLibraryWithoutDatabaseIsListedFromItsMastersPreviewsAndThumbnails) {
  const std::string library = dir.dir("Old.photoslibrary");
  const std::string master = dir.file("Old.photoslibrary/Masters/2018/a.jpg", "master");
  const std::string preview = dir.file("Old.photoslibrary/Previews/2018/a.jpg", "preview");
  const std::string thumbnail =
      dir.file("Old.photoslibrary/Thumbnails/2018/V1/thumb_a_1024.jpg", "thumbnail");
  const std::string beside = dir.file("Old.photoslibrary/Thumbnails/2018/a_small.jpg", "small");
  dir.file("Old.photoslibrary/Thumbnails/2018/V2/thumb_ab_1024.jpg", "another's");
  dir.file("Old.photoslibrary/Thumbnails/2017/V3/thumb_a_1024.jpg", "another year's");
  auto nodes = listPhotos(library);
  ASSERT_TRUE(nodes.hasValue()) << nodes.error().oneLine();
  ASSERT_EQ(nodes.value().size(), 1u);
  const auto& item = dynamic_cast<const MatchingPhotosItemNode&>(*nodes.value()[0]);
  EXPECT_EQ(item.masterNode()->path(), master);
  ASSERT_NE(item.previewNode(), nullptr);
  EXPECT_EQ(item.previewNode()->path(), preview);
  std::vector<std::string> thumbnails;
  for (const auto& node : item.thumbnailNodes()) thumbnails.push_back(node->path());
  std::sort(thumbnails.begin(), thumbnails.end());
  EXPECT_EQ(thumbnails, (std::vector<std::string>{thumbnail, beside}));
}

TEST_F(MediaLibraryEnumerationTest, APhotoDatabaseOfAnotherShapeFailsTheTaskNamingIt) {
  dir.dir("shotwell/data");
  {
    auto database = SqliteDatabase::open(dir / "shotwell/data/photo.db");
    ASSERT_TRUE(database.hasValue());
    ASSERT_TRUE(database.value()->execute("CREATE TABLE Other (x INTEGER)").hasValue());
  }
  const std::string notADatabase =
      dir.file("elsewhere/photo.db", "these bytes are no database at all, not even close");
  for (const std::string& path : {dir / "shotwell/data/photo.db", notADatabase}) {
    auto nodes = listPhotos(path);
    ASSERT_TRUE(nodes.hasError()) << path;
    EXPECT_EQ(nodes.error().path, path);
  }
}

TEST(MediaLibraryLocations, ALibraryIsFoundFromItsFileOrItsFolderAndAnythingElseIsNamedInTheError) {
  TestDir dir;
  dir.file("rb/rhythmdb.xml", "<rhythmdb/>");
  dir.file("sw/data/photo.db", "");
  dir.file("plain/readme.txt", "");
  auto music = musicLibraryAt(dir / "rb");
  ASSERT_TRUE(music.hasValue());
  EXPECT_EQ(music.value().file, dir / "rb/rhythmdb.xml");
  EXPECT_EQ(music.value().folder, dir / "rb");
  auto photos = photoLibraryAt(dir / "sw/data/photo.db");
  ASSERT_TRUE(photos.hasValue());
  EXPECT_EQ(photos.value().folder, dir / "sw");
  EXPECT_EQ(photoLibraryAt(dir / "sw").value().file, dir / "sw/data/photo.db");
  for (const std::string& path : {dir / "plain", dir / "plain/readme.txt", dir / "missing"}) {
    auto none = musicLibraryAt(path);
    ASSERT_TRUE(none.hasError());
    EXPECT_EQ(none.error().path, path);
    EXPECT_TRUE(photoLibraryAt(path).hasError());
  }
}

}  // namespace
}  // namespace zarnik
