// Perceptual hashes of pictures, as plain functions over raster buffers: a picture is turned to
// grey, blurred, scaled to 32 × 32, transformed by a DCT, and its low frequencies compared with
// their mean give 64 bits. Four hashes are kept, one per quarter turn, so that a turned copy is
// found; two pictures are close when some pair of their hashes differs in few bits.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace zarnik {

using PerceptualHashWords = std::array<std::uint64_t, 4>;

// An 8-bit RGB(A) picture, `channels` bytes a pixel (3 or 4, red first), rows `stride` apart.
struct RasterPicture {
  const std::uint8_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  int channels = 3;
  size_t stride = 0;
};

inline constexpr int kMinimumShorterSide = 32;
inline constexpr int kMinimumLongerSide = 128;
[[nodiscard]] bool isHashableSize(int width, int height);

// The four hashes (as turned 0, 90, 180 and 270 degrees counter-clockwise); nothing for a
// picture too small to hash.
[[nodiscard]] std::optional<PerceptualHashWords> perceptualHashes(const RasterPicture& picture);

// The steps, exposed for tests.
[[nodiscard]] std::vector<std::uint8_t> greyOf(const RasterPicture& picture);
[[nodiscard]] std::vector<std::uint8_t> boxBlurred7(const std::vector<std::uint8_t>& grey, int width, int height);
// Area-averaging scale of a float plane to size × size (bilinear when enlarging).
[[nodiscard]] std::vector<float> scaledPlane(const std::vector<float>& plane, int width, int height, int size);
// Turned 90 degrees counter-clockwise.
[[nodiscard]] std::vector<float> turnedCounterClockwise(const std::vector<float>& square, int size);
[[nodiscard]] std::uint64_t dctHash(const std::vector<float>& square32);

[[nodiscard]] int hammingDistance(std::uint64_t a, std::uint64_t b);
// The smallest distance between hashes of the same turn.
[[nodiscard]] int sameTurnDistance(const PerceptualHashWords& a, const PerceptualHashWords& b);
// The smallest distance between any two hashes: however either picture is turned.
[[nodiscard]] int flexibleDistance(const PerceptualHashWords& a, const PerceptualHashWords& b);
[[nodiscard]] inline bool isRotated(const PerceptualHashWords& a, const PerceptualHashWords& b) {
  return flexibleDistance(a, b) < sameTurnDistance(a, b);
}
// Four words from a list of hashes: word k is hash k modulo the list's length.
[[nodiscard]] PerceptualHashWords wordsOf(const std::vector<std::uint64_t>& hashes);

}  // namespace zarnik
