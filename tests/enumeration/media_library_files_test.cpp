#include "enumeration/media_library_records.h"
#include "enumeration/music_library_files.h"
#include "enumeration/xml_reader.h"

#include <gtest/gtest.h>

namespace zarnik {
namespace {

std::vector<XmlEvent> eventsOf(std::string_view document, Error* failure = nullptr) {
  XmlReader reader(document, "library.xml");
  std::vector<XmlEvent> events;
  while (true) {
    auto event = reader.next();
    if (event.hasError()) {
      if (failure) *failure = event.error();
      return events;
    }
    if (event.value().kind == XmlEvent::Kind::endOfDocument) return events;
    events.push_back(event.value());
  }
}

TEST(XmlReader, DecodesEntitiesCharacterReferencesAndCDataInTextAndAttributes) {
  Error failure;
  const auto events = eventsOf(
      "<?xml version=\"1.0\"?><!-- made by a test --><a k=\"x &amp; y\"><b>Tom &amp; Jerry&#39;s "
      "&#x263A;</b>"
      "<c><![CDATA[<raw> & kept]]></c><d/></a>",
      &failure);
  ASSERT_TRUE(failure.description.empty()) << failure.oneLine();
  ASSERT_EQ(events.size(), 10u);
  EXPECT_EQ(*events[0].attribute("k"), "x & y");
  EXPECT_EQ(events[2].text, "Tom & Jerry's \u263A");
  EXPECT_EQ(events[5].text, "<raw> & kept");
  EXPECT_EQ(events[7].name, "d");
  EXPECT_EQ(events[7].kind, XmlEvent::Kind::startElement);
  EXPECT_EQ(events[8].kind, XmlEvent::Kind::endElement);
}

TEST(XmlReader, RefusesDocumentsThatAreCutShortMisnestedOrDeclareTypes) {
  for (const char* document :
       {"<a><b>text</b>", "<a><b></a></b>", "<!DOCTYPE a [<!ENTITY x \"y\">]><a>&x;</a>",
        "<a>&unknown;</a>", "", "just text", "<a k=1></a>", "<a><b k=\"v></b></a>"}) {
    Error failure;
    eventsOf(document, &failure);
    EXPECT_FALSE(failure.description.empty()) << document;
    EXPECT_EQ(failure.path, "library.xml") << document;
  }
}

TEST(FileURI, GivesThePathWithItsEscapesDecodedAndOnlyForLocalFiles) {
  EXPECT_EQ(pathOfFileURI("file:///home/ann/Music/A%20B%23%25.mp3"), "/home/ann/Music/A B#%.mp3");
  EXPECT_EQ(pathOfFileURI("file://localhost/Users/ann/Music/x.m4a"), "/Users/ann/Music/x.m4a");
  EXPECT_EQ(pathOfFileURI("FILE:///a"), "/a");
  EXPECT_EQ(pathOfFileURI("http://example.org/stream.mp3"), std::nullopt);
  EXPECT_EQ(pathOfFileURI("file://otherhost/a.mp3"), std::nullopt);
  EXPECT_EQ(pathOfFileURI("file:///a%2"), std::nullopt);
  EXPECT_EQ(pathOfFileURI("file:///a%zz"), std::nullopt);
  EXPECT_EQ(pathOfFileURI("file:///a%00b"), std::nullopt);
  EXPECT_EQ(pathOfFileURI(std::string_view("file:///a\0b", 10)), std::nullopt);
}

constexpr std::string_view kRhythmdb = R"(<?xml version="1.0" standalone="yes"?>
<rhythmdb version="2.0">
  <entry type="song">
    <title>Blue &amp; Green</title>
    <artist>The Band</artist>
    <album>First</album>
    <duration>245</duration>
    <file-size>4000000</file-size>
    <location>file:///home/ann/Music/Blue%20%26%20Green.mp3</location>
    <play-count>7</play-count>
    <rating>4</rating>
    <bitrate>320</bitrate>
    <last-played>1700000000</last-played>
  </entry>
  <entry type="iradio">
    <title>Radio</title>
    <location>http://radio.example.org/live</location>
  </entry>
  <entry type="song">
    <title>Streamed</title>
    <location>http://example.org/a.mp3</location>
  </entry>
  <entry type="song"><title>Quiet</title><location>file:///home/ann/Music/quiet.ogg</location></entry>
</rhythmdb>
)";

TEST(RhythmboxDatabase, ListsTheSongsOfLocalFilesWithTheLibrarysFacts) {
  auto listing = readRhythmboxDatabase(kRhythmdb, "rhythmdb.xml");
  ASSERT_TRUE(listing.hasValue()) << listing.error().oneLine();
  ASSERT_EQ(listing.value().tracks.size(), 2u);
  EXPECT_EQ(listing.value().skippedTracks, 2);
  const LibraryTrack& track = listing.value().tracks[0];
  EXPECT_EQ(track.path, "/home/ann/Music/Blue & Green.mp3");
  EXPECT_EQ(track.info.name, "Blue & Green");
  EXPECT_EQ(track.info.artist, "The Band");
  EXPECT_EQ(track.info.album, "First");
  EXPECT_EQ(track.info.duration, 245.0);
  EXPECT_EQ(track.info.bitrate, 320u);
  EXPECT_EQ(track.info.playCount, 7);
  EXPECT_EQ(track.info.rating, 80.0F);  // four stars of five
  EXPECT_EQ(track.info.playDate, dateFromSecondsSince1970(1700000000));
  const LibraryTrack& quiet = listing.value().tracks[1];
  EXPECT_EQ(quiet.info.name, "Quiet");
  EXPECT_FALSE(quiet.info.rating.has_value());
  EXPECT_FALSE(quiet.info.playCount.has_value());
}

TEST(RhythmboxDatabase, FailsNamingTheFileWhenItIsCutShortOrOfAnotherFormat) {
  const std::string cut(kRhythmdb.substr(0, kRhythmdb.size() / 2));
  for (const std::string& bytes : {cut, std::string("<playlists><playlist/></playlists>"),
                                   std::string("\x89PNG\r\n"), std::string()}) {
    auto listing = readRhythmboxDatabase(bytes, "/data/rhythmbox/rhythmdb.xml");
    ASSERT_TRUE(listing.hasError());
    EXPECT_EQ(listing.error().path, "/data/rhythmbox/rhythmdb.xml");
  }
}

constexpr std::string_view kITunesList = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple Computer//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
  <key>Music Folder</key><string>file://localhost/Users/ann/Music/iTunes/iTunes%20Media/</string>
  <key>Tracks</key>
  <dict>
    <key>101</key>
    <dict>
      <key>Track ID</key><integer>101</integer>
      <key>Name</key><string>Song &amp; Dance</string>
      <key>Artist</key><string>Singer</string>
      <key>Total Time</key><integer>185000</integer>
      <key>Bit Rate</key><integer>256</integer>
      <key>Play Count</key><integer>12</integer>
      <key>Play Date UTC</key><date>2020-05-01T10:00:00Z</date>
      <key>Rating</key><integer>100</integer>
      <key>Loved</key><true/>
      <key>Persistent ID</key><string>00000000000000FF</string>
      <key>Location</key><string>file://localhost/Users/ann/Music/iTunes/iTunes%20Media/Music/Singer/Song.m4a</string>
    </dict>
    <key>102</key>
    <dict>
      <key>Track ID</key><integer>102</integer>
      <key>Name</key><string>Film</string>
      <key>Has Video</key><true/>
      <key>Location</key><string>file://localhost/Users/ann/Movies/film.m4v</string>
    </dict>
    <key>103</key>
    <dict>
      <key>Track ID</key><integer>103</integer>
      <key>Name</key><string>Stream</string>
      <key>Track Type</key><string>URL</string>
      <key>Location</key><string>http://radio.example.org/</string>
    </dict>
  </dict>
</dict>
</plist>
)";

TEST(ITunesLibraryList, ListsTracksWithTheirIdentityAndFactsAndWhereItsMediaFolderWas) {
  auto listing = readITunesLibraryList(kITunesList, "iTunes Library.xml");
  ASSERT_TRUE(listing.hasValue()) << listing.error().oneLine();
  EXPECT_EQ(listing.value().mediaFolder, "/Users/ann/Music/iTunes/iTunes Media/");
  EXPECT_EQ(listing.value().skippedTracks, 1);
  ASSERT_EQ(listing.value().tracks.size(), 2u);
  const LibraryTrack& song = listing.value().tracks[0];
  EXPECT_EQ(song.path, "/Users/ann/Music/iTunes/iTunes Media/Music/Singer/Song.m4a");
  ASSERT_TRUE(song.identifier.has_value());
  EXPECT_EQ(song.identifier->uniqueIdentifier, 255);
  EXPECT_EQ(song.info.trackID, 101);
  EXPECT_EQ(song.info.name, "Song & Dance");
  EXPECT_EQ(song.info.duration, 185.0);
  EXPECT_EQ(song.info.bitrate, 256u);
  EXPECT_EQ(song.info.playCount, 12);
  EXPECT_EQ(song.info.rating, 100.0F);
  EXPECT_EQ(song.info.loved, true);
  EXPECT_TRUE(song.info.playDate.has_value());
  EXPECT_EQ(song.info.type, ITunesItemType::audio);
  EXPECT_EQ(listing.value().tracks[1].info.type, ITunesItemType::video);
}

TEST(ITunesLibraryList, FailsNamingTheFileWhenItIsCutShortOrHoldsNoTracks) {
  const std::string cut(kITunesList.substr(0, kITunesList.size() * 2 / 3));
  const std::string noTracks =
      "<?xml version=\"1.0\"?><plist "
      "version=\"1.0\"><dict><key>Playlists</key><array/></dict></plist>";
  for (const std::string& bytes : {cut, noTracks, std::string(kRhythmdb)}) {
    auto listing = readITunesLibraryList(bytes, "/lib/iTunes Library.xml");
    ASSERT_TRUE(listing.hasError());
    EXPECT_EQ(listing.error().path, "/lib/iTunes Library.xml");
  }
}

}  // namespace
}  // namespace zarnik
