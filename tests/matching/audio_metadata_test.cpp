// Similar audio by metadata: the text rules (case, spaces, composed and decomposed accents,
// user-perceived characters), the distances, the duration window and groups through chains.
#include "matching/audio_metadata.h"

#include <gtest/gtest.h>

#include <cmath>

#include "file_model/scan_location.h"
#include "foundation/url_resolver.h"
#include "matching/matching_node.h"

namespace zarnik {
namespace {

TEST(AudioMetadata, TextsCompareByPerceivedCharactersWhateverTheirCaseSpacesAndComposition) {
  EXPECT_EQ(perceivedText("Title \n"), perceivedText("title"));
  EXPECT_EQ(perceivedText("Caf\xC3\xA9"), perceivedText("cafe\xCC\x81"));  // é composed and decomposed
  EXPECT_EQ(perceivedText("e\xCC\x81x").size(), 2u);  // e + combining accent is one character
  EXPECT_TRUE(perceivedText("  ").empty());
  EXPECT_EQ(normalizedDistance(perceivedText("abc"), perceivedText("abd")), 1.0 / 3);
  EXPECT_EQ(normalizedDistance(perceivedText("same"), perceivedText("SAME ")), 0.0);
  EXPECT_EQ(editDistance(perceivedText("kitten"), perceivedText("sitting")).distance, 3u);
  EXPECT_EQ(estimatedDistance(perceivedText("ab"), perceivedText("abcd")), 0.5);
}

TEST(AudioMetadata, TheDurationWindowAndMissingTitlesKeepTracksApart) {
  const AudioMetadataEquivalenceInfo a("Song", "Album", "Artist", 200.0);
  const AudioMetadataEquivalenceInfo near("song ", "album", "artist", 202.5);
  const AudioMetadataEquivalenceInfo far("Song", "Album", "Artist", 203.5);
  const AudioMetadataEquivalenceInfo untitled(std::nullopt, "Album", "Artist", 200.0);
  const AudioMetadataEquivalenceInfo emptyTitle("", "Album", "Artist", 200.0);
  EXPECT_EQ(a.estimatedDistance(near), 0.0);
  EXPECT_EQ(a.metadataDistance(near), 0.0);
  EXPECT_TRUE(std::isinf(a.estimatedDistance(far)));
  EXPECT_TRUE(std::isinf(a.estimatedDistance(untitled)));
  EXPECT_FALSE(std::isinf(a.estimatedDistance(emptyTitle)));  // an empty title is a title
  const AudioMetadataEquivalenceInfo threeLetters("abc", "x", std::nullopt, 10);
  const AudioMetadataEquivalenceInfo lastDiffers("abd", "x", std::nullopt, 10);
  EXPECT_DOUBLE_EQ(threeLetters.metadataDistance(lastDiffers), 1.0 / 3);
}

TEST(AudioMetadata, MusicLibraryTracksAreComparedByNameAndNeedALength) {
  ITunesItemInfo track;
  track.name = "Blue Moon";
  track.album = "Songs";
  EXPECT_EQ(AudioMetadataEquivalenceInfo::of(track), nullptr);  // the library gives no length
  track.duration = 200.0;
  const auto fromLibrary = AudioMetadataEquivalenceInfo::of(track);
  ASSERT_NE(fromLibrary, nullptr);
  AudioInfo file;
  file.title = "blue moon";
  file.album = "Songs";
  file.artist = "Someone";  // the library track has no artist: the field is not compared
  file.duration = 201.0;
  EXPECT_EQ(fromLibrary->metadataDistance(*AudioMetadataEquivalenceInfo::of(file)), 0.0);
  EXPECT_EQ(fromLibrary->estimatedDistance(*AudioMetadataEquivalenceInfo::of(file)), 0.0);
}

class AudioAccumulatorTest : public ::testing::Test {
 protected:
  OVURLResolver resolver{"/nonexistent-home"};
  ScanLocationPtr location = ScanLocation::make("/music", resolver);

  MatchingNodePtr track(const std::string& name) {
    return std::make_shared<MatchingFileNode>(nullptr, nullptr, name, NodeAttributes{}, location);
  }
  static std::set<std::set<std::string>> groupsOf(const EquivalenceCandidatesMatchingContext& context) {
    std::set<std::set<std::string>> groups;
    for (const auto& group : context.equivalencesToModel) {
      std::set<std::string> names;
      for (const auto& member : group->duplicates()) names.insert(std::string(member->node()->name()));
      groups.insert(names);
    }
    return groups;
  }
};

TEST_F(AudioAccumulatorTest, AChainOfCloseTracksIsOneGroupEvenWhenItsEndsAreFarApart) {
  MetadataAudioEquivalenceCandidatesAccumulator accumulator(nullptr, 0.4);
  // Each title is one letter from the next (1/4 apart); the ends are three letters apart.
  accumulator.add(track("1"), std::make_shared<AudioMetadataEquivalenceInfo>("abcd", std::nullopt, std::nullopt, 100));
  accumulator.add(track("2"), std::make_shared<AudioMetadataEquivalenceInfo>("abcx", std::nullopt, std::nullopt, 101));
  accumulator.add(track("3"), std::make_shared<AudioMetadataEquivalenceInfo>("abyx", std::nullopt, std::nullopt, 102));
  accumulator.add(track("4"), std::make_shared<AudioMetadataEquivalenceInfo>("azyx", std::nullopt, std::nullopt, 103));
  accumulator.add(track("5"), std::make_shared<AudioMetadataEquivalenceInfo>("abcd", std::nullopt, std::nullopt, 110));
  EquivalenceCandidatesMatchingContext context;
  accumulator.finish(context);
  EXPECT_EQ(groupsOf(context), (std::set<std::set<std::string>>{{"1", "2", "3", "4"}}));
}

TEST_F(AudioAccumulatorTest, AnAccumulatorCancelledWithAdditionsQueuedEndsWithoutThem) {
  // The graph is built on the accumulator's own queue: additions may still be queued when the
  // scan is cancelled and the accumulator let go.
  std::vector<MatchingNodePtr> tracks;
  for (int i = 0; i < 2000; ++i) tracks.push_back(track(std::to_string(i)));
  auto accumulator = std::make_unique<MetadataAudioEquivalenceCandidatesAccumulator>(nullptr, 0.5);
  for (const auto& node : tracks) {
    accumulator->add(node, std::make_shared<AudioMetadataEquivalenceInfo>("same title", std::nullopt, std::nullopt, 100));
  }
  accumulator->cancel();
  accumulator->add(track("late"), std::make_shared<AudioMetadataEquivalenceInfo>("same title", std::nullopt, std::nullopt, 100));
  std::map<std::string, MatchingNodePtr> members;
  accumulator->collectNodesByPath(members);
  EXPECT_LT(members.size(), tracks.size() + 1);  // the late one never; the rest as far as they got
  EXPECT_EQ(members.count("/music/late"), 0u);
  accumulator.reset();  // must not touch what is gone
}

}  // namespace
}  // namespace zarnik
