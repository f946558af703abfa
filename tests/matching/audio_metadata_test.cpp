// Similar audio by metadata: the text rules (case, spaces, composed and decomposed accents,
// user-perceived characters), the distances, the duration window and groups through chains.
#include "matching/audio_metadata.h"

#include <gtest/gtest.h>

#include <cmath>

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

}  // namespace
}  // namespace zarnik
