// Perceptual hashes of pictures: pinned values for made-up pictures (a change of any step would
// move them), the quarter-turn hashes, the size rule, the distances, and the index that must find
// exactly the pairs that measuring every pair finds.
#include "matching/perceptual_image_hash.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

#include "matching/perceptual_hash_index.h"
#include "platform/image_decoding.h"
#include "support/pictures.h"
#include "support/test_dir.h"

namespace zarnik {
namespace {

using testing::madeUpPicture;
using testing::turnedCounterClockwise;
using testing::TestDir;

RasterPicture rasterOf(const std::vector<std::uint8_t>& rgb, int width, int height) {
  return RasterPicture{rgb.data(), width, height, 3, static_cast<size_t>(width) * 3};
}

TEST(PerceptualImageHash, PinnedHashesOfMadeUpPictures) {
  const auto picture = madeUpPicture(256, 192);
  const auto hashes = perceptualHashes(rasterOf(picture, 256, 192));
  ASSERT_TRUE(hashes.has_value());
  const PerceptualHashWords expected = {18429790122762288932ULL, 39659640314008327ULL, 18404363203041891726ULL,
                                        10780235716403629ULL};
  EXPECT_EQ(*hashes, expected);
  const auto other = madeUpPicture(256, 192, 3);
  EXPECT_GT(flexibleDistance(*hashes, *perceptualHashes(rasterOf(other, 256, 192))), 3);
}

TEST(PerceptualImageHash, ATurnedPictureIsAtDistanceZeroWhateverItsTurn) {
  const int width = 256;
  const int height = 128;
  const auto picture = madeUpPicture(width, height);
  const auto turned = turnedCounterClockwise(picture, width, height);
  const auto a = *perceptualHashes(rasterOf(picture, width, height));
  const auto b = *perceptualHashes(rasterOf(turned, height, width));
  EXPECT_EQ(flexibleDistance(a, b), 0);
  EXPECT_EQ(b[0], a[1]);  // the turned picture's first hash is the original's second
  EXPECT_GT(sameTurnDistance(a, b), 0);
  EXPECT_TRUE(isRotated(a, b));
}

TEST(PerceptualImageHash, OnlyPicturesLargeEnoughAreHashed) {
  const auto tall = madeUpPicture(100, 3000);
  EXPECT_TRUE(perceptualHashes(rasterOf(tall, 100, 3000)).has_value());
  const auto narrow = madeUpPicture(31, 500);
  EXPECT_FALSE(perceptualHashes(rasterOf(narrow, 31, 500)).has_value());
  const auto small = madeUpPicture(127, 127);
  EXPECT_FALSE(perceptualHashes(rasterOf(small, 127, 127)).has_value());
}

TEST(PerceptualImageHash, DistancesCountDifferingBits) {
  const PerceptualHashWords a = {0b1111, 0, 0xFF00, 1};
  const PerceptualHashWords b = {0b0111, 0xF, 0, 0};
  EXPECT_EQ(hammingDistance(0b1111, 0b0111), 1);
  EXPECT_EQ(sameTurnDistance(a, b), 1);   // word 0 with word 0, word 3 with word 3
  EXPECT_EQ(flexibleDistance(a, b), 0);   // a[0] is b[1]
  EXPECT_EQ(wordsOf({5, 6}), (PerceptualHashWords{5, 6, 5, 6}));
}

TEST(PerceptualImageHash, EveryCommonFormatOfOnePictureHashesAlike) {
  TestDir dir;
  const auto original = madeUpPicture(640, 480);
  ASSERT_TRUE(writePicture(dir / "original.png", original, 640, 480).hasValue());
  const auto hashOf = [](const std::string& path) -> std::optional<PerceptualHashWords> {
    auto decoded = decodePictureForHashing(path);
    if (decoded.hasError()) return std::nullopt;
    const DecodedPicture& picture = decoded.value();
    EXPECT_EQ(picture.sourceWidth, 640) << path;
    EXPECT_EQ(picture.sourceHeight, 480) << path;
    return perceptualHashes(rasterOf(picture.rgb, picture.width, picture.height));
  };
  const auto reference = hashOf(dir / "original.png");
  ASSERT_TRUE(reference.has_value());
  for (const char* format : {"jpg", "webp", "tif", "gif", "heic"}) {
    const std::string path = dir / (std::string("copy.") + format);
    if (writePicture(path, original, 640, 480, 85).hasError()) {
      // Saving HEIC needs an encoder that some libheif builds lack; reading is what is tested.
      EXPECT_STREQ(format, "heic") << "cannot write " << path;
      continue;
    }
    const auto hash = hashOf(path);
    ASSERT_TRUE(hash.has_value()) << path;
    EXPECT_LE(flexibleDistance(*reference, *hash), 4) << path;  // the default threshold is 5
  }
}

TEST(PerceptualHashIndex, FindsExactlyThePairsThatMeasuringEveryPairFinds) {
  std::mt19937_64 random(42);
  for (int threshold : {0, 1, 3, 5, 8, 11, 20}) {
    // Clusters of nearby hashes, so that there are pairs to find at every threshold.
    std::vector<PerceptualHashWords> pictures;
    for (int i = 0; i < 600; ++i) {
      PerceptualHashWords words{};
      if (i % 3 != 0 && !pictures.empty()) {
        words = pictures[random() % pictures.size()];
        for (int flips = static_cast<int>(random() % 12); flips > 0; --flips) words[random() % 4] ^= std::uint64_t{1} << (random() % 64);
      } else {
        for (auto& word : words) word = random();
      }
      pictures.push_back(words);
    }
    PerceptualHashIndex index(threshold);
    std::set<std::pair<std::uint32_t, std::uint32_t>> found;
    std::set<std::pair<std::uint32_t, std::uint32_t>> expected;
    for (std::uint32_t i = 0; i < pictures.size(); ++i) {
      for (const auto& neighbour : index.addAndFindNeighbours(pictures[i])) found.insert({neighbour.entry, i});
      for (std::uint32_t j = 0; j < i; ++j) {
        if (flexibleDistance(pictures[i], pictures[j]) <= threshold) expected.insert({j, i});
      }
    }
    EXPECT_EQ(found, expected) << "threshold " << threshold;
    EXPECT_FALSE(expected.empty()) << "threshold " << threshold;
  }
}

}  // namespace
}  // namespace zarnik
