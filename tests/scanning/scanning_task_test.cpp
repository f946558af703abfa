#include "scanning/scanning_task.h"

#include "support/pictures.h"
#include "support/test_dir.h"

#include "foundation/logger.h"
#include "platform/image_decoding.h"
#include "scanning/content_verification.h"

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <set>

namespace zarnik {
namespace {

using testing::TestDir;

class ScanningTaskTest : public ::testing::Test {
 protected:
  TestDir dir;
  OVURLResolver resolver{"/nonexistent-home"};
  ScanningService service;

  void SetUp() override { Logger::shared().setConsole(nullptr); }

  std::shared_ptr<ExtendedScanRules> exactRules(
      SizeThresholdOption threshold = SizeThresholdOption::size(0)) {
    auto rules = std::make_shared<ExtendedScanRules>();
    rules->setExactMatchEnabled(true);
    rules->setSizeThresholdOption(threshold);
    return rules;
  }

  Result<ScanningServiceResult> scan(std::shared_ptr<ExtendedScanRules> rules,
                                     std::vector<std::string> roots = {}) {
    if (roots.empty()) roots.push_back(dir.path());
    ScanningServiceRequest request;
    for (const auto& root : roots)
      request.specifications.push_back({ScanLocation::make(root, resolver), {}});
    request.scanRules = std::move(rules);
    request.resolver = resolver;
    auto scanned = service.perform(std::move(request))->start().wait();
    if (scanned.hasError()) return scanned.error();
    return *scanned.value();
  }

  static std::set<std::set<std::string>> groupsOf(const ScanningServiceResult& result) {
    std::set<std::set<std::string>> groups;
    for (const auto& detection : result.detectionResults) {
      std::set<std::string> names;
      for (const auto& duplicate : detection.equivalence.duplicates)
        names.insert(duplicate.node->location().relativePath());
      groups.insert(names);
    }
    return groups;
  }
};

TEST_F(ScanningTaskTest, FindsExactDuplicatesAcrossFoldersAndNothingElse) {
  dir.file("a/report.pdf", "same content");
  dir.file("b/report copy.pdf", "same content");
  dir.file("b/other.pdf", "same length!");  // same size, other content
  dir.file("c/unique.txt", "unique");
  dir.file("e1", "");
  dir.file("e2", "");
  dir.symlink("l1", "a/report.pdf");
  dir.symlink("l2", "a/report.pdf");
  auto result = scan(exactRules());
  ASSERT_TRUE(result.hasValue()) << result.error().oneLine();
  EXPECT_EQ(groupsOf(result.value()),
            (std::set<std::set<std::string>>{{"a/report.pdf", "b/report copy.pdf"}}));
  EXPECT_EQ(result.value().detectionResults[0].equivalence.equivalenceKind,
            EquivalenceKind::exactHash);
  EXPECT_EQ(result.value().scannedNodesCount, 12);  // 4 folders (with the root), 6 files, 2 links
}

TEST_F(ScanningTaskTest, FilesOfOneSizeAreToldApartByTheirFirstBlockOrTheirWholeContent) {
  // Larger than the first block, so that the block is looked at before any digest.
  const std::string content(std::size_t{10} * 1024, 'c');
  for (const char* name : {"one", "two", "three"}) dir.file(std::string("same/") + name, content);
  std::string otherStart = content;
  otherStart[10] = 'S';
  dir.file("other/start", otherStart);
  std::string otherEnd = content;
  otherEnd[8000] = 'E';  // the same first block: only the digest tells it apart
  dir.file("other/end", otherEnd);
  dir.file("other/end twin", otherEnd);
  dir.hardlink("other/start link", "other/start");  // the same file twice is no duplicate
  auto result = scan(exactRules());
  ASSERT_TRUE(result.hasValue()) << result.error().oneLine();
  EXPECT_EQ(groupsOf(result.value()),
            (std::set<std::set<std::string>>{{"same/one", "same/two", "same/three"},
                                             {"other/end", "other/end twin"}}));
}

TEST_F(ScanningTaskTest, FoldersHoldingTheSameThingsAreDuplicatesAtTheirHighestLevelOnly) {
  // A and B hold the same files, listed in other orders, and a duplicate subfolder each; C
  // holds one file more; E1 and E2 are empty; U1 and U2 hold a file no other file matches.
  for (const char* folder : {"A", "B"}) {
    const std::string base = std::string("top/") + folder;
    dir.file(base + (folder[0] == 'A' ? "/x.txt" : "/y.txt"), folder[0] == 'A' ? "xxxx" : "yyyyyy");
    dir.file(base + (folder[0] == 'A' ? "/y.txt" : "/x.txt"), folder[0] == 'A' ? "yyyyyy" : "xxxx");
    dir.file(base + "/sub/z.txt", "zzzzzzzz");
  }
  dir.file("top/C/x.txt", "xxxx");
  dir.file("top/C/y.txt", "yyyyyy");
  dir.file("top/C/extra.txt", "extra content");
  dir.file("top/C/sub/z.txt", "zzzzzzzz");
  dir.dir("top/E1");
  dir.dir("top/E2");
  dir.file("top/U1/u.txt", "unique size in the whole tree");
  dir.file("top/U2/u.txt", "unique size in the whole tree!");
  auto rules = exactRules();
  rules->setExactMatchEnabled(false);  // folders alone: their files are digested all the same
  rules->setDirectoriesMatchEnabled(true);
  auto result = scan(rules);
  ASSERT_TRUE(result.hasValue()) << result.error().oneLine();
  std::set<std::set<std::string>> folders;
  ByteCount folderSize = 0;
  for (const auto& detection : result.value().detectionResults) {
    if (detection.equivalence.equivalenceKind != EquivalenceKind::directory) continue;
    std::set<std::string> names;
    for (const auto& duplicate : detection.equivalence.duplicates) {
      names.insert(duplicate.node->location().relativePath());
      folderSize = duplicate.node->exactSize();
    }
    folders.insert(names);
  }
  EXPECT_EQ(folders, (std::set<std::set<std::string>>{{"top/A", "top/B"}}));
  EXPECT_EQ(folderSize, 4 + 6 + 8);  // what the folder's matched contents weigh
  EXPECT_EQ(result.value().detectionResults.size(), 1u);  // no file groups were asked for
  rules->setExactMatchEnabled(true);
  auto both = scan(rules);
  ASSERT_TRUE(both.hasValue());
  // The files of A and B are inside a matched folder: only C's copies remain, each alone.
  EXPECT_EQ(both.value().detectionResults.size(), 1u);

  // Without folder matching the same tree has only file groups.
  auto files = scan(exactRules());
  ASSERT_TRUE(files.hasValue());
  for (const auto& detection : files.value().detectionResults) {
    EXPECT_NE(detection.equivalence.equivalenceKind, EquivalenceKind::directory);
  }
  EXPECT_EQ(files.value().detectionResults.size(), 3u);  // x, y and z, three copies each
}

TEST_F(ScanningTaskTest, PlacesOfTheirOwnAreNeverCopiesAndTheirFilesAreMatchedOneByOne) {
  // The user's folders (named in user-dirs.dirs), the scan locations themselves and working
  // copies holding ".git" would each pair up as duplicate folders; none of them may.
  TestDir config;
  const char* previous = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = previous != nullptr ? previous : "";
  ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
  dir.file("home/Pictures/sunset.jpg", "the same photo");
  dir.file("home/Downloads/sunset.jpg", "the same photo");
  dir.file("home/Projects/site/index.html", "<html>");
  dir.file("home/Projects/site/.git/HEAD", "ref: refs/heads/main");
  dir.file("home/Projects/site-clone/index.html", "<html>");
  dir.file("home/Projects/site-clone/.git/HEAD", "ref: refs/heads/main");
  dir.file("home/Old/a/notes.txt", "a plain folder");
  dir.file("home/Old/b/notes.txt", "a plain folder");
  dir.file("one/report.pdf", "two locations");
  dir.file("two/report.pdf", "two locations");
  config.file("user-dirs.dirs", "XDG_PICTURES_DIR=\"" + dir / "home/Pictures" +
                                    "\"\nXDG_DOWNLOAD_DIR=\"" + dir / "home/Downloads" + "\"\n");
  auto rules = exactRules();
  rules->setDirectoriesMatchEnabled(true);
  ScanningServiceRequest request;
  for (const char* root : {"home", "one", "two"}) {
    request.specifications.push_back({ScanLocation::make(dir / root, resolver), {}});
  }
  request.scanRules = rules;
  request.resolver = resolver;
  request.includeHiddenItems = true;
  auto scanned = service.perform(std::move(request))->start().wait();
  if (previous != nullptr)
    ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else
    ::unsetenv("XDG_CONFIG_HOME");
  ASSERT_TRUE(scanned.hasValue()) << scanned.error().oneLine();
  std::set<std::set<std::string>> folders;
  std::set<std::set<std::string>> files;
  for (const auto& detection : scanned.value()->detectionResults) {
    std::set<std::string> paths;
    for (const auto& duplicate : detection.equivalence.duplicates)
      paths.insert(duplicate.node->path());
    (detection.equivalence.equivalenceKind == EquivalenceKind::directory ? folders : files)
        .insert(paths);
  }
  // Only the plain folders pair up.
  EXPECT_EQ(folders, (std::set<std::set<std::string>>{{dir / "home/Old/a", dir / "home/Old/b"}}));
  EXPECT_EQ(files.count({dir / "home/Pictures/sunset.jpg", dir / "home/Downloads/sunset.jpg"}), 1u);
  EXPECT_EQ(files.count({dir / "home/Projects/site/index.html",
                         dir / "home/Projects/site-clone/index.html"}),
            1u);
  EXPECT_EQ(files.count({dir / "one/report.pdf", dir / "two/report.pdf"}), 1u);
}

TEST_F(ScanningTaskTest, WhatCanBeFreedCountsTheFileSizesOfTheProposedCopiesFoldersIncluded) {
  dir.file("top/A/x.txt", "xxxx");
  dir.file("top/A/y.txt", "yyyyyy");
  dir.file("top/A copy/x.txt", "xxxx");
  dir.file("top/A copy/y.txt", "yyyyyy");
  dir.fileOfSize("files/a.bin", 5000, 'a');
  dir.fileOfSize("files/a copy.bin", 5000, 'a');
  // Folders nothing tells apart: nothing is proposed, keeping one would free the other.
  dir.fileOfSize("one/t.bin", 3000, 't');
  dir.fileOfSize("two/t.bin", 3000, 't');
  auto rules = exactRules();
  rules->setDirectoriesMatchEnabled(true);
  auto result = scan(rules);
  ASSERT_TRUE(result.hasValue()) << result.error().oneLine();
  std::map<std::string, ByteCount> freedByFirstName;
  for (const auto& detection : result.value().detectionResults) {
    freedByFirstName[std::string(lastPathComponent(
        detection.equivalence.duplicates.front().node->path()))] = detection.reclaimableSize();
  }
  EXPECT_EQ(freedByFirstName,
            (std::map<std::string, ByteCount>{{"A", 10}, {"a copy.bin", 5000}, {"one", 3000}}));
}

TEST_F(ScanningTaskTest, TurnedResizedAndRecompressedPhotosAreSimilarAndOthersAreNot) {
  const auto original = testing::madeUpPicture(640, 480);
  dir.dir("photos");
  const std::map<std::string, std::string> exif = {
      {"exif-ifd0-Make", "Zarnik Cam"},
      {"exif-ifd0-Model", "Z 1"},
      {"exif-ifd2-DateTimeOriginal", "2021:02:03 04:05:06"},
      {"exif-ifd2-SubSecTimeOriginal", "25"},
      {"exif-ifd2-ISOSpeedRatings", "200"},
      {"exif-ifd3-GPSLatitude", "51/1 30/1 36/1"},
      {"exif-ifd3-GPSLatitudeRef", "S"},
      {"exif-ifd3-GPSLongitude", "10/1 0/1 0/1"},
      {"exif-ifd3-GPSLongitudeRef", "E"}};
  ASSERT_TRUE(writePicture(dir / "photos/original.jpg", original, 640, 480, 90, exif).hasValue());
  ASSERT_TRUE(writePicture(dir / "photos/recompressed.jpg", original, 640, 480, 35).hasValue());
  ASSERT_TRUE(writePicture(dir / "photos/turned.png",
                           testing::turnedCounterClockwise(original, 640, 480), 480, 640)
                  .hasValue());
  ASSERT_TRUE(writePicture(dir / "photos/smaller.jpg", testing::madeUpPicture(600, 450), 600, 450)
                  .hasValue());
  ASSERT_TRUE(writePicture(dir / "photos/other.jpg", testing::madeUpPicture(640, 480, 4), 640, 480)
                  .hasValue());
  ASSERT_TRUE(
      writePicture(dir / "photos/tiny.png", testing::madeUpPicture(100, 80), 100, 80).hasValue());
  dir.file("photos/broken.jpg", std::string("\xFF\xD8\xFF\xE0") + " not really a picture");
  auto rules = std::make_shared<ExtendedScanRules>();
  rules->setSimilarsDetectionEnabled(true);
  rules->setSimilarImagesMatchAllowed(true);
  rules->setSizeThresholdOption(SizeThresholdOption::size(0));
  auto result = scan(rules);
  ASSERT_TRUE(result.hasValue()) << result.error().oneLine();
  EXPECT_EQ(groupsOf(result.value()),
            (std::set<std::set<std::string>>{{"photos/original.jpg", "photos/recompressed.jpg",
                                              "photos/turned.png", "photos/smaller.jpg"}}));
  ASSERT_EQ(result.value().detectionResults.size(), 1u);
  EXPECT_EQ(result.value().detectionResults[0].equivalence.equivalenceKind,
            EquivalenceKind::similarImage);
  // What the picture's EXIF block says is kept with it.
  for (const auto& duplicate : result.value().detectionResults[0].equivalence.duplicates) {
    const auto& info = duplicate.node->content().imageInfo;
    ASSERT_TRUE(info.has_value());
    if (duplicate.node->location().relativePath() != "photos/original.jpg") {
      EXPECT_FALSE(info->cameraInfo.has_value());
      continue;
    }
    EXPECT_EQ(info->size, (ImageSize{640, 480}));
    ASSERT_TRUE(info->cameraInfo.has_value());
    EXPECT_EQ(info->cameraInfo->manufacturer, "Zarnik Cam");
    EXPECT_EQ(info->cameraInfo->model, "Z 1");
    EXPECT_EQ(info->creationDate, Date(std::chrono::seconds(1612325106)));
    EXPECT_EQ(info->creationMsec, 250);
    EXPECT_EQ(info->iso, 200);
    ASSERT_TRUE(info->location.has_value());
    EXPECT_NEAR(info->location->latitude, -51.51, 1e-9);
    EXPECT_NEAR(info->location->longitude, 10.0, 1e-9);
  }

  // A copy of the original is an exact duplicate: it leaves the similar group with the original.
  dir.file("photos/copy.jpg", testing::contentsOf(dir / "photos/original.jpg"));
  rules->setExactMatchEnabled(true);
  auto both = scan(rules);
  ASSERT_TRUE(both.hasValue());
  EXPECT_EQ(groupsOf(both.value()),
            (std::set<std::set<std::string>>{
                {"photos/original.jpg", "photos/copy.jpg"},
                {"photos/recompressed.jpg", "photos/turned.png", "photos/smaller.jpg"}}));
}

TEST_F(ScanningTaskTest, RecordingsThatDifferOnlyInTheirTagsAreIdenticalAudio) {
  const auto tagged = [](const std::string& title, const std::string& frames) {
    const std::string payload = "TIT2" + std::string("\0\0\0", 3) + char(title.size() + 1) +
                                std::string(2, '\0') + '\3' + title;
    const auto n = payload.size();
    return std::string("ID3\4\0\0\0\0", 8) + char((n >> 7) & 0x7F) + char(n & 0x7F) + payload +
           frames;
  };
  const std::string frames = std::string("\xFF\xFB\x90\x00", 4) + std::string(5000, '\x21');
  const std::string otherFrames = std::string("\xFF\xFB\x90\x00", 4) + std::string(5000, '\x22');
  dir.file("music/song.mp3", tagged("Song", frames));
  dir.file("music/song retagged.mp3",
           tagged("A song with a much longer title", frames) + "TAG" + std::string(125, 'v'));
  dir.file("music/other.mp3", tagged("Song", otherFrames));
  dir.file("music/not really.mp3", "no frames here at all");
  auto rules = exactRules();
  rules->setExactAudioContentMatchEnabled(true);
  auto result = scan(rules);
  ASSERT_TRUE(result.hasValue()) << result.error().oneLine();
  EXPECT_EQ(groupsOf(result.value()),
            (std::set<std::set<std::string>>{{"music/song.mp3", "music/song retagged.mp3"}}));
  ASSERT_EQ(result.value().detectionResults.size(), 1u);
  EXPECT_EQ(result.value().detectionResults[0].equivalence.equivalenceKind,
            EquivalenceKind::exactAudioHash);

  // As files they differ: without audio matching nothing is grouped.
  auto files = scan(exactRules());
  ASSERT_TRUE(files.hasValue());
  EXPECT_TRUE(files.value().detectionResults.empty());
}

// An MP3 file TagLib reads: an ID3v2.4 tag with title, album and artist, then `frames` MPEG-1
// layer III frames (128 kbit/s, 44.1 kHz, 417 bytes, 26 ms each) filled with `fill`.
std::string madeUpMp3(const std::string& title, const std::string& album, const std::string& artist,
                      int frames, char fill) {
  std::string payload;
  for (const auto& [id, text] :
       {std::pair{"TIT2", title}, std::pair{"TALB", album}, std::pair{"TPE1", artist}}) {
    const auto size = text.size() + 1;
    payload += std::string(id) + char(0) + char(0) + char((size >> 7) & 0x7F) + char(size & 0x7F) +
               std::string(2, '\0') + '\3' + text;
  }
  const auto n = payload.size();
  std::string file =
      std::string("ID3\4\0\0\0\0", 8) + char((n >> 7) & 0x7F) + char(n & 0x7F) + payload;
  for (int i = 0; i < frames; ++i)
    file += std::string("\xFF\xFB\x90\x00", 4) + std::string(413, fill);
  return file;
}

TEST_F(ScanningTaskTest, TracksWithCloseTagsAndLengthsAreSimilarAudio) {
  dir.file("a/track.mp3", madeUpMp3("Blue Moon", "Songs", "Someone", 200, '\x11'));
  dir.file("b/track.mp3", madeUpMp3("blue moon ", "Songs", "Someone", 201, '\x22'));
  dir.file("c/track.mp3", madeUpMp3("Red Sun", "Other Songs", "Someone Else", 200, '\x33'));
  dir.file("d/track.mp3", madeUpMp3("Blue Moon", "Songs", "Someone", 400, '\x44'));  // 5 s longer
  auto rules = std::make_shared<ExtendedScanRules>();
  rules->setSimilarsDetectionEnabled(true);
  rules->setSimilarAudioMatchAllowed(true);
  rules->setSizeThresholdOption(SizeThresholdOption::size(0));
  auto result = scan(rules);
  ASSERT_TRUE(result.hasValue()) << result.error().oneLine();
  EXPECT_EQ(groupsOf(result.value()),
            (std::set<std::set<std::string>>{{"a/track.mp3", "b/track.mp3"}}));
  ASSERT_EQ(result.value().detectionResults.size(), 1u);
  EXPECT_EQ(result.value().detectionResults[0].equivalence.equivalenceKind,
            EquivalenceKind::similarAudio);
  // Each copy keeps what was read of it, for telling the copies apart.
  for (const auto& duplicate : result.value().detectionResults[0].equivalence.duplicates) {
    const auto& audio = duplicate.node->content().audioInfo;
    ASSERT_TRUE(audio.has_value()) << duplicate.node->location().relativePath();
    EXPECT_EQ(audio->album, "Songs");
    EXPECT_EQ(audio->bitrate, 128u);
    const int frames = duplicate.node->location().relativePath() == "a/track.mp3" ? 200 : 201;
    EXPECT_EQ(audio->contentSize, frames * 417);
    EXPECT_NEAR(audio->duration, frames * 0.026, 0.05);
  }
}

TEST(ContentPrefixGate, TheFirstWaitsTheSecondOpensLaterOnesPassAndWaitersAreMadeAgain) {
  TestDir dir;
  OVURLResolver resolver{"/nonexistent-home"};
  const std::string content(10000, 'x');
  for (const char* name : {"a", "b", "c", "d", "changed", "vanished", "twin"})
    dir.file(std::string("f/") + name, content);
  auto factory = MatchingNodesFactory::make(std::make_shared<ExtendedScanRules>(), resolver);
  auto location = ScanLocation::make(dir.path(), resolver);
  auto folder = std::static_pointer_cast<MatchingDirectoryNode>(factory->buildNode(
      nullptr, "f", dir / "f", *NodeAttributes::resourceValuesOf(dir / "f"), location));
  const auto node = [&](const std::string& name) {
    return factory->buildNode(folder, name, dir / ("f/" + name),
                              *NodeAttributes::resourceValuesOf(dir / ("f/" + name)), nullptr);
  };
  ContentPrefixGate gate;
  const auto admit = [&](const MatchingNodePtr& file, std::uint64_t prefix, bool park = true) {
    return gate.admit(ParkedFileNode(file, false), 10000, prefix, park).due;
  };
  auto first = node("a");
  const NodeAttributes listedAttributes = first->attributes();
  std::weak_ptr<MatchingNode> parked = first;
  EXPECT_TRUE(admit(first, 7).empty());
  EXPECT_TRUE(admit(node("a"), 7).empty());  // listed again: takes its own place
  first.reset();
  EXPECT_TRUE(parked.expired());             // a waiting file costs no node
  EXPECT_TRUE(admit(node("b"), 8).empty());  // another first block
  auto second = node("c");
  auto due = admit(second, 7);
  ASSERT_EQ(due.size(), 2u);
  ASSERT_TRUE(due[0].hasValue()) << due[0].error().oneLine();
  EXPECT_EQ(due[0].value()->path(), dir / "f/a");
  EXPECT_EQ(due[0].value()->parentNode(), folder);
  EXPECT_EQ(due[0].value()->attributes(), listedAttributes);
  EXPECT_EQ(due[1].value(), second);  // it did not wait: the very node
  const auto passing = node("d");
  auto later = admit(passing, 7);
  ASSERT_EQ(later.size(), 1u);
  EXPECT_EQ(later[0].value(), passing);        // passes as it came: not made again
  EXPECT_EQ(folder->numberOfNodes.load(), 5);  // made again, not counted again

  // The first digest offered behind an open gate is handed to the files that pass it later.
  EXPECT_FALSE(gate.admit(ParkedFileNode(node("d"), true), 10000, 7, false).reference);
  gate.offerReference(
      10000, 7, DigestReference{dir / "f/a", listedAttributes.dateOfModification, {{1}, 10000}});
  gate.offerReference(
      10000, 7, DigestReference{dir / "f/c", listedAttributes.dateOfModification, {{2}, 10000}});
  gate.offerReference(
      10000, 8, DigestReference{dir / "f/b", listedAttributes.dateOfModification, {{3}, 10000}});
  const auto passed = gate.admit(ParkedFileNode(node("d"), true), 10000, 7, false);
  ASSERT_TRUE(passed.reference);
  EXPECT_EQ(passed.reference->path, dir / "f/a");
  EXPECT_EQ(passed.reference->hash.data[0], 1);
  EXPECT_TRUE(gate.admit(ParkedFileNode(node("twin"), true), 10000, 8, false).due.size() ==
              2);  // b's gate was closed

  // A node another owner needs waits whole, and is due as that very node.
  const auto owned = node("b");
  EXPECT_TRUE(admit(owned, 11, false).empty());
  auto opened = admit(node("c"), 11);
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0].value(), owned);

  // A waiting file that changed or vanished is due as the reason it is not matched.
  EXPECT_TRUE(admit(node("changed"), 9).empty());
  dir.file("f/changed", content + "longer");
  auto changed = admit(node("twin"), 9);
  ASSERT_EQ(changed.size(), 2u);
  ASSERT_TRUE(changed[0].hasError());
  EXPECT_EQ(changed[0].error().code, FileServicesError::exactHashingFailedToAnalyze);
  EXPECT_EQ(changed[0].error().path, dir / "f/changed");
  EXPECT_TRUE(changed[1].hasValue());
  EXPECT_TRUE(admit(node("vanished"), 10).empty());
  std::filesystem::remove(dir / "f/vanished");
  auto vanished = admit(node("d"), 10);
  ASSERT_EQ(vanished.size(), 2u);
  ASSERT_TRUE(vanished[0].hasError());
  EXPECT_EQ(vanished[0].error().code, FileServicesError::exactHashingFailedToGainAccess);
  EXPECT_TRUE(vanished[1].hasValue());
}

TEST(ContentPrefixGate, ThousandsOfWaitingFilesAreEachFoundByTheirOwnGate) {
  TestDir dir;
  OVURLResolver resolver{"/nonexistent-home"};
  constexpr int kFiles = 3000;  // past the first few sizes of the gate's table
  for (int i = 0; i < kFiles; ++i) dir.fileOfSize("f/w" + std::to_string(i), 10000);
  auto factory = MatchingNodesFactory::make(std::make_shared<ExtendedScanRules>(), resolver);
  auto location = ScanLocation::make(dir.path(), resolver);
  auto folder = std::static_pointer_cast<MatchingDirectoryNode>(factory->buildNode(
      nullptr, "f", dir / "f", *NodeAttributes::resourceValuesOf(dir / "f"), location));
  const auto parked = [&](int i) {
    const std::string name = "w" + std::to_string(i % kFiles);
    return ParkedFileNode(
        factory->buildNode(folder, name, dir / ("f/" + name),
                           *NodeAttributes::resourceValuesOf(dir / ("f/" + name)), nullptr),
        true);
  };
  ContentPrefixGate gate;
  for (int i = 0; i < kFiles; ++i)
    ASSERT_TRUE(gate.admit(parked(i), 10000, static_cast<std::uint64_t>(i), false).due.empty());
  EXPECT_TRUE(gate.admit(parked(5), 10001, 5, false).due.empty());  // another size: another gate
  for (int i = 0; i < kFiles; ++i) {
    auto due = gate.admit(parked(i + 1), 10000, static_cast<std::uint64_t>(i), false).due;
    ASSERT_EQ(due.size(), 2u) << i;
    ASSERT_TRUE(due[0].hasValue()) << due[0].error().oneLine();
    EXPECT_EQ(due[0].value()->path(), dir / ("f/w" + std::to_string(i)));
  }
  gate.clear();
  EXPECT_TRUE(gate.admit(parked(0), 10000, 0, false).due.empty());  // cleared: the first again
}

TEST(ContentPrefixGate, ABatchIsAdmittedAsItsFilesWouldBeOneByOne) {
  TestDir dir;
  OVURLResolver resolver{"/nonexistent-home"};
  constexpr size_t kFiles = 60;
  for (size_t i = 0; i < kFiles; ++i) dir.fileOfSize("f/b" + std::to_string(i), 10000);
  auto factory = MatchingNodesFactory::make(std::make_shared<ExtendedScanRules>(), resolver);
  auto location = ScanLocation::make(dir.path(), resolver);
  auto folder = std::static_pointer_cast<MatchingDirectoryNode>(factory->buildNode(
      nullptr, "f", dir / "f", *NodeAttributes::resourceValuesOf(dir / "f"), location));
  // Few first blocks among many files: gates wait, open and let files pass within one batch;
  // every fifth file must stay whole. At the end, one batch where a file arrives twice while it
  // waits, then a second file opens its gate and a third passes.
  std::vector<ParkedFileNode> files;
  const auto listed = [&](const std::string& name) {
    files.emplace_back(
        factory->buildNode(folder, name, dir / ("f/" + name),
                           *NodeAttributes::resourceValuesOf(dir / ("f/" + name)), nullptr),
        false);
  };
  for (size_t i = 0; i < kFiles; ++i) listed("b" + std::to_string(i));
  for (const char* name : {"b1", "b1", "b2", "b3"}) listed(name);
  std::vector<ContentPrefixGate::Arrival> arrivals;
  for (size_t i = 0; i < kFiles; ++i)
    arrivals.push_back({&files[i], 10000, (i * 5) % 9, i % 5 != 0});
  for (size_t i = kFiles; i < files.size(); ++i) arrivals.push_back({&files[i], 10000, 100, true});

  ContentPrefixGate oneByOne;
  ContentPrefixGate inBatches;
  std::vector<ContentPrefixGate::Admission> expected;
  std::vector<ContentPrefixGate::Admission> batched;
  expected.reserve(arrivals.size());
  const std::vector<size_t> batchStarts = {0, 16, 32, 48, kFiles, arrivals.size()};
  for (size_t b = 0; b + 1 < batchStarts.size(); ++b) {
    // Between turns, a digest made behind a gate becomes its reference.
    const DigestReference reference{dir / ("f/b" + std::to_string(b)), Date{}, {{1}, 10000}};
    oneByOne.offerReference(10000, b % 9, reference);
    inBatches.offerReference(10000, b % 9, reference);
    const auto first = arrivals.begin() + static_cast<std::ptrdiff_t>(batchStarts[b]);
    const auto end = arrivals.begin() + static_cast<std::ptrdiff_t>(batchStarts[b + 1]);
    for (auto arrival = first; arrival != end; ++arrival) {
      expected.push_back(oneByOne.admit(*arrival->file, arrival->size, arrival->prefixHash,
                                        arrival->parkWhileWaiting));
    }
    for (auto& admission : inBatches.admitAll({first, end}))
      batched.push_back(std::move(admission));
  }
  ASSERT_EQ(batched.size(), expected.size());
  size_t opened = 0;
  size_t withReference = 0;
  for (size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(batched[i].due.size(), expected[i].due.size()) << i;
    for (size_t k = 0; k < expected[i].due.size(); ++k) {
      ASSERT_TRUE(batched[i].due[k].hasValue()) << batched[i].due[k].error().oneLine();
      EXPECT_EQ(batched[i].due[k].value()->path(), expected[i].due[k].value()->path()) << i;
    }
    // A file that passes at once is the very node it came as, in a batch too.
    if (batched[i].due.size() == 1) {
      EXPECT_EQ(batched[i].due[0].value(), *files[i].wholeNode()) << i;
    }
    ASSERT_EQ(batched[i].reference.has_value(), expected[i].reference.has_value()) << i;
    if (batched[i].reference) {
      EXPECT_EQ(batched[i].reference->path, expected[i].reference->path) << i;
      ++withReference;
    }
    if (batched[i].due.size() == 2) ++opened;
  }
  EXPECT_EQ(opened, 10U);  // one gate for each of the nine first blocks, and the last batch's
  EXPECT_GT(withReference, 0U);
  // The last batch: b1 waits (twice: its own place), b2 opens for both, b3 passes.
  const size_t last = kFiles;
  EXPECT_TRUE(batched[last].due.empty());
  EXPECT_TRUE(batched[last + 1].due.empty());
  ASSERT_EQ(batched[last + 2].due.size(), 2U);
  EXPECT_EQ(batched[last + 2].due[0].value()->path(), dir / "f/b1");
  EXPECT_EQ(batched[last + 3].due.size(), 1U);
}

TEST_F(ScanningTaskTest, HardLinksAloneAreNoGroupButWithACopyTheyShareAGroupId) {
  dir.file("x/original", "linked data");
  dir.hardlink("x/link", "x/original");
  auto onlyLinks = scan(exactRules());
  ASSERT_TRUE(onlyLinks.hasValue());
  EXPECT_TRUE(onlyLinks.value().detectionResults.empty());

  dir.file("y/copy", "linked data");
  auto withCopy = scan(exactRules());
  ASSERT_EQ(withCopy.value().detectionResults.size(), 1u);
  const auto& duplicates = withCopy.value().detectionResults[0].equivalence.duplicates;
  ASSERT_EQ(duplicates.size(), 3u);
  std::map<std::string, std::optional<std::int64_t>> ids;
  for (const auto& d : duplicates) ids[d.node->location().relativePath()] = d.hardlinkedGroupID;
  EXPECT_TRUE(ids["x/original"].has_value());
  EXPECT_EQ(ids["x/original"], ids["x/link"]);
  EXPECT_FALSE(ids["y/copy"].has_value());
}

TEST_F(ScanningTaskTest, FixedAndAutomaticThresholdsTreatMixedGroupsDifferently) {
  // Two 500-byte files and a 2000-byte file cannot share a group by content, so the rule is
  // checked on a group of three equal 2000-byte files and a group of small ones.
  dir.fileOfSize("big/1", 2000, 'b');
  dir.fileOfSize("big/2", 2000, 'b');
  dir.fileOfSize("small/1", 500, 's');
  dir.fileOfSize("small/2", 500, 's');
  auto fixed = scan(exactRules(SizeThresholdOption::size(1000)));
  EXPECT_EQ(groupsOf(fixed.value()), (std::set<std::set<std::string>>{{"big/1", "big/2"}}));
  EXPECT_EQ(fixed.value().usedSizeThreshold, 1000);
  EXPECT_FALSE(fixed.value().keepDuplicatesSmallerThanThresholdIfEquivalenceFits);
  auto automatic = scan(exactRules(SizeThresholdOption::automatic()));
  EXPECT_TRUE(automatic.value().keepDuplicatesSmallerThanThresholdIfEquivalenceFits);
  EXPECT_GE(automatic.value().detectionResults.size(), 1u);
}

TEST_F(ScanningTaskTest, NestedLocationsAreScannedOnceAndHiddenFilesAreLeftOut) {
  dir.file("p/a.txt", "twin");
  dir.file("p/q/b.txt", "twin");
  dir.file("p/.c.txt", "twin");
  auto result = scan(exactRules(), {dir / "p", dir / "p/q"});
  ASSERT_TRUE(result.hasValue());
  ASSERT_EQ(result.value().detectionResults.size(), 1u);
  EXPECT_EQ(result.value().detectionResults[0].equivalence.duplicates.size(), 2u);
}

TEST_F(ScanningTaskTest, NoAcceptableLocationGivesAnEmptyResult) {
  ScanningServiceRequest request;
  request.scanRules = exactRules();
  request.resolver = resolver;
  auto result = service.perform(std::move(request))->start().wait();
  ASSERT_TRUE(result.hasValue());
  EXPECT_TRUE(result.value()->detectionResults.empty());
  EXPECT_EQ(result.value()->usedSizeThreshold, 0);
  EXPECT_FALSE(result.value()->keepDuplicatesSmallerThanThresholdIfEquivalenceFits);
}

TEST_F(ScanningTaskTest, CancellingWithoutResultsFailsAndWithResultsDelivers) {
  for (int i = 0; i < 200; ++i) dir.file("many/" + std::to_string(i), "x" + std::to_string(i % 10));
  ScanningServiceRequest request;
  request.specifications.push_back({ScanLocation::make(dir.path(), resolver), {}});
  request.scanRules = exactRules();
  request.resolver = resolver;
  auto stopped = service.perform(request);
  stopped->cancel(false);
  stopped->cancel(true);  // the first cancellation wins
  auto stoppedResult = stopped->start().wait();
  ASSERT_TRUE(stoppedResult.hasError());
  EXPECT_TRUE(stoppedResult.error().isCancellation());

  auto kept = service.perform(request);
  kept->cancel(true);
  auto keptResult = kept->start().wait();
  ASSERT_TRUE(keptResult.hasValue());
}

TEST_F(ScanningTaskTest, StatusSnapshotsEndInTheFinishedPhase) {
  dir.file("s/1", "same");
  dir.file("s/2", "same");
  ScanningServiceRequest request;
  request.specifications.push_back({ScanLocation::make(dir.path(), resolver), {}});
  request.scanRules = exactRules();
  request.resolver = resolver;
  auto task = service.perform(request);
  std::mutex mutex;
  std::vector<ConstantScanningStatus> snapshots;
  task->status().onUpdate(Executor::immediate(), [&](const ConstantScanningStatus& s) {
    std::lock_guard lock(mutex);
    snapshots.push_back(s);
  });
  ASSERT_TRUE(task->start().wait().hasValue());
  ASSERT_TRUE(task->status().completion().wait().hasValue());
  std::lock_guard lock(mutex);
  ASSERT_FALSE(snapshots.empty());
  for (size_t i = 1; i < snapshots.size(); ++i)
    EXPECT_GE(snapshots[i].phase, snapshots[i - 1].phase);
}

TEST_F(ScanningTaskTest, VerifyingSplitsCopiesThatDifferOnlyWhereTheDigestDoesNotRead) {
  // 5 MiB: the digest reads the first four MiB, so a byte in the fifth is never seen by it.
  constexpr size_t kMiB = 1'048'576;
  std::string content(5 * kMiB, 'v');
  for (size_t i = 0; i < content.size(); i += 4096) content[i] = static_cast<char>(i / 4096);
  dir.file("big/a.bin", content);
  dir.file("big/b.bin", content);
  std::string changed = content;
  changed[4 * kMiB + kMiB / 2] ^= 1;
  dir.file("big/c.bin", changed);
  dir.file("small/a.txt", "small enough to be read whole");
  dir.file("small/b.txt", "small enough to be read whole");

  auto scanWith = [&](bool verifies) -> Result<ScanningServiceResult> {
    ScanningServiceRequest request;
    request.specifications.push_back({ScanLocation::make(dir.path(), resolver), {}});
    request.scanRules = exactRules();
    request.resolver = resolver;
    auto task = service.perform(std::move(request));
    task->setVerifiesContents(verifies);
    auto scanned = task->start().wait();
    if (scanned.hasError()) return scanned.error();
    return *scanned.value();
  };
  auto verifiedOf = [](const ScanningServiceResult& result) {
    std::map<std::string, bool> verified;  // by the group's first member in name order
    for (const auto& detection : result.detectionResults) {
      std::set<std::string> names;
      for (const auto& duplicate : detection.equivalence.duplicates)
        names.insert(duplicate.node->location().relativePath());
      verified[*names.begin()] = detection.verified;
    }
    return verified;
  };

  auto sampled = scanWith(false);
  ASSERT_TRUE(sampled.hasValue()) << sampled.error().oneLine();
  EXPECT_EQ(groupsOf(sampled.value()),
            (std::set<std::set<std::string>>{{"big/a.bin", "big/b.bin", "big/c.bin"},
                                             {"small/a.txt", "small/b.txt"}}));
  // Files the digest read whole are verified without reading them again; sampled ones are not.
  EXPECT_EQ(verifiedOf(sampled.value()),
            (std::map<std::string, bool>{{"big/a.bin", false}, {"small/a.txt", true}}));

  auto verified = scanWith(true);
  ASSERT_TRUE(verified.hasValue()) << verified.error().oneLine();
  EXPECT_EQ(groupsOf(verified.value()),
            (std::set<std::set<std::string>>{{"big/a.bin", "big/b.bin"},
                                             {"small/a.txt", "small/b.txt"}}));
  EXPECT_EQ(verifiedOf(verified.value()),
            (std::map<std::string, bool>{{"big/a.bin", true}, {"small/a.txt", true}}));

  // A copy that differs from every other is dropped; the group goes when one file is left.
  dir.file("big/b.bin", changed.substr(0, changed.size() - 1) + "z");
  auto alone = scanWith(true);
  ASSERT_TRUE(alone.hasValue());
  EXPECT_EQ(groupsOf(alone.value()),
            (std::set<std::set<std::string>>{{"small/a.txt", "small/b.txt"}}));
}

TEST(SplitByWholeContent, MembersThatDifferFromTheFirstAreComparedAmongThemselves) {
  TestDir dir;
  const auto location = ScanLocation::make(dir.path(), OVURLResolver("/nonexistent-home"));
  std::vector<MatchingNodePtr> members;
  for (const char* name : {"a1", "b1", "a2", "b2", "c1"}) {
    members.push_back(
        std::make_shared<MatchingNode>(nullptr, nullptr, name, NodeAttributes{}, location));
  }
  // Equal when the names start alike.
  const WholeContentComparison byLetter = [](const MatchingNode& first,
                                             const MatchingNode& other) -> Result<bool> {
    return first.name().front() == other.name().front();
  };
  auto sets = splitByWholeContent(members, byLetter, nullptr);
  ASSERT_TRUE(sets.hasValue());
  std::vector<std::vector<std::string>> names;
  for (const auto& set : sets.value()) {
    names.emplace_back();
    for (const auto& node : set) names.back().emplace_back(node->name());
  }
  EXPECT_EQ(names, (std::vector<std::vector<std::string>>{{"a1", "a2"}, {"b1", "b2"}, {"c1"}}));

  // An unreadable first member is left out, and the others still meet each other.
  std::vector<std::string> unreadable;
  const WholeContentComparison firstUnreadable = [&](const MatchingNode& first,
                                                     const MatchingNode& other) -> Result<bool> {
    if (first.name() == "a1") return Error::posix(EIO, first.path());
    return first.name().front() == other.name().front();
  };
  auto without = splitByWholeContent(members, firstUnreadable,
                                     [&](const Error& error) { unreadable.push_back(error.path); });
  ASSERT_TRUE(without.hasValue());
  ASSERT_EQ(without.value().size(), 3u);
  EXPECT_EQ(without.value()[0].size(), 2u);  // b1 and b2
  EXPECT_EQ(without.value()[0][0]->name(), "b1");
  EXPECT_EQ(unreadable, std::vector<std::string>{members[0]->path()});

  // Stopping gives no split at all.
  const WholeContentComparison stopped =
      [](const MatchingNode&, const MatchingNode&) -> Result<bool> { return Error::cancelled(); };
  auto cancelled = splitByWholeContent(members, stopped, nullptr);
  ASSERT_TRUE(cancelled.hasError());
  EXPECT_TRUE(cancelled.error().isCancellation());
}

TEST(ContentProgress, CountsWorkAnnouncedAndDoneAndNamesAFileOnlyWhileOneIsRead) {
  ContentProgress progress;
  progress.announce(3, 300);
  progress.begin("/data/one");
  progress.begin("/data/two");
  progress.advance(40);
  auto during = progress.snapshot();
  EXPECT_EQ(during.filesToRead, 3);
  EXPECT_EQ(during.bytesRead, 40);
  EXPECT_EQ(during.readingNow, "/data/one");  // a name stays a moment, to be read
  progress.end(1, 60);                        // two's remaining 60 bytes count as done with it
  EXPECT_TRUE(progress.snapshot().readingNow.has_value());  // one is still in hand
  progress.end(1, 100);
  progress.skip(1, 100);  // stopped before it was read
  const auto after = progress.snapshot();
  EXPECT_EQ(after.filesRead, 3);
  EXPECT_EQ(after.bytesRead, 300);
  EXPECT_FALSE(after.readingNow.has_value());

  // A long read is named at once, whatever was named a moment before.
  progress.begin("/data/short", 4096);
  progress.end(1, 0);
  progress.begin("/data/long", ByteCount{64} << 20);
  EXPECT_EQ(progress.snapshot().readingNow, "/data/long");
  progress.end(1, 0);
}

TEST(ScanningStatus, PhaseFollowsTheLatestDateAndFractionCountsWork) {
  MutableScanningStatus status;
  EXPECT_EQ(status.phase(), ScanningPhase::initial);
  EXPECT_FALSE(status.canKeepResults());
  EXPECT_FALSE(status.constantCopy().latestProcessedURL.has_value());
  status.dateOfStartScan = dateNow();
  EXPECT_EQ(status.phase(), ScanningPhase::enumerating);
  status.dateOfFinishScan = dateNow();
  EXPECT_EQ(status.phase(), ScanningPhase::finished);
  status.numberOfNodesToMatch = 3;
  status.numberOfMatchedNodes = 1;
  status.numberOfItemsToAccumulate = 1;
  status.numberOfAccumulatedItems = 1;
  EXPECT_DOUBLE_EQ(status.estimatedCompletionFraction(), 0.5);
  status.estimatedSizeOfFoundDuplicates = 1;
  EXPECT_TRUE(status.constantCopy().canKeepResults);
  EXPECT_FALSE(scanningPhaseFromRawValue(5).has_value());
}

}  // namespace
}  // namespace zarnik

namespace zarnik {
namespace {

constexpr const char* kToolPlist =
    "<plist><dict><key>CFBundleIdentifier</key><string>com.example.tool</string>"
    "<key>CFBundleShortVersionString</key><string>2.0</string></dict></plist>";

TEST_F(ScanningTaskTest, ApplicationBundlesAreMatchedByIdentifierVersionAndWholeSize) {
  dir.file("one/Tool.app/Contents/Info.plist", kToolPlist);
  dir.fileOfSize("one/Tool.app/Contents/MacOS/tool", 9000, 'b');
  dir.file("two/Tool.app/Contents/Info.plist", kToolPlist);
  dir.fileOfSize("two/Tool.app/Contents/MacOS/tool", 9000, 'b');
  dir.file("three/Tool.app/Contents/Info.plist", kToolPlist);
  dir.fileOfSize("three/Tool.app/Contents/MacOS/tool", 90000, 'b');  // another size
  dir.file(
      "bare/Tool.app/Contents/Info.plist",
      "<plist><dict><key>CFBundleIdentifier</key><string>com.example.tool</string></dict></plist>");
  auto rules = std::make_shared<ExtendedScanRules>();
  rules->setApplicationsMatchEnabled(true);
  rules->setSizeThresholdOption(SizeThresholdOption::size(0));
  auto result = scan(rules);
  ASSERT_TRUE(result.hasValue()) << result.error().oneLine();
  ASSERT_EQ(result.value().detectionResults.size(), 1u);
  const auto& group = result.value().detectionResults[0].equivalence;
  EXPECT_EQ(group.equivalenceKind, EquivalenceKind::exactApp);
  std::set<std::string> paths;
  for (const auto& d : group.duplicates) {
    paths.insert(d.node->location().relativePath());
    EXPECT_GE(d.node->exactSize(), 9000);  // the whole bundle, not the folder entry
  }
  EXPECT_EQ(paths, (std::set<std::string>{"one/Tool.app", "two/Tool.app"}));
}

}  // namespace
}  // namespace zarnik

namespace zarnik {
namespace {

TEST_F(ScanningTaskTest, LibraryItemsReachedAlsoThroughAFolderAreMatchedOnceAsTheLibrarysItems) {
  const std::string song = dir.file("Music/song.mp3", "the same audio bytes");
  dir.file("Downloads/song.mp3", "the same audio bytes");
  dir.file("rhythmbox/rhythmdb.xml",
           "<rhythmdb version=\"2.0\"><entry type=\"song\"><title>S</title><location>file://" +
               song + "</location></entry></rhythmdb>");
  ScanningServiceRequest request;
  request.specifications.push_back({ScanLocation::make(dir.path(), resolver), {}});
  request.scanRules = exactRules();
  request.resolver = resolver;
  auto library = musicLibraryAt(dir / "rhythmbox");
  ASSERT_TRUE(library.hasValue());
  request.mediaLibraries.push_back(library.value());
  auto scanned = service.perform(std::move(request))->start().wait();
  ASSERT_TRUE(scanned.hasValue()) << scanned.error().oneLine();
  const auto& result = *scanned.value();
  ASSERT_EQ(result.detectionResults.size(), 1u);
  const auto& members = result.detectionResults[0].equivalence.duplicates;
  ASSERT_EQ(members.size(), 2u);
  int libraryItems = 0;
  for (const auto& member : members) {
    if (const auto* track = dynamic_cast<const ZKITunesLibraryItemNode*>(member.node.get())) {
      ++libraryItems;
      EXPECT_EQ(track->path(), song);
      ASSERT_NE(track->mediaLibraryNode(), nullptr);
      EXPECT_EQ(track->mediaLibraryNode()->path(), dir / "rhythmbox");
    }
  }
  EXPECT_EQ(libraryItems, 1);
  ASSERT_EQ(result.mediaLibraries.size(), 1u);
  EXPECT_EQ(result.mediaLibraries[0]->type(), NodeType::iTunesLibrary);
}

TEST_F(ScanningTaskTest, ALibraryThatCannotBeReadIsReportedOnceAndTheFoldersAreStillMatched) {
  dir.file("a/report.pdf", "same content");
  dir.file("b/report.pdf", "same content");
  const std::string file =
      dir.file("rhythmbox/rhythmdb.xml", "<rhythmdb version=\"2.0\"><entry type=\"song\"><ti");
  ScanningServiceRequest request;
  request.specifications.push_back({ScanLocation::make(dir / "a", resolver), {}});
  request.specifications.push_back({ScanLocation::make(dir / "b", resolver), {}});
  request.scanRules = exactRules();
  request.resolver = resolver;
  request.mediaLibraries.push_back(musicLibraryAt(file).value());
  auto task = service.perform(std::move(request));
  std::mutex mutex;
  std::vector<Error> errors;
  task->setErrorHandler([&](const Error& error) {
    std::lock_guard lock(mutex);
    errors.push_back(error);
  });
  auto scanned = task->start().wait();
  ASSERT_TRUE(scanned.hasValue()) << scanned.error().oneLine();
  EXPECT_EQ(scanned.value()->detectionResults.size(), 1u);
  EXPECT_TRUE(scanned.value()->mediaLibraries.empty());
  std::lock_guard lock(mutex);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].path, file);
}

}  // namespace
}  // namespace zarnik
