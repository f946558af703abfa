#include "matching/perceptual_image_hash.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

namespace zarnik {
namespace {

constexpr int kHashSide = 32;
constexpr int kBlurRadius = 3;  // a 7 × 7 box

}  // namespace

bool isHashableSize(int width, int height) {
  return std::min(width, height) >= kMinimumShorterSide && std::max(width, height) >= kMinimumLongerSide;
}

std::vector<std::uint8_t> greyOf(const RasterPicture& picture) {
  std::vector<std::uint8_t> grey(static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height));
  for (int y = 0; y < picture.height; ++y) {
    const std::uint8_t* row = picture.pixels + static_cast<size_t>(y) * picture.stride;
    for (int x = 0; x < picture.width; ++x) {
      const std::uint8_t* pixel = row + static_cast<size_t>(x) * static_cast<size_t>(picture.channels);
      // BT.709 luma weights times 256, truncated; alpha does not count.
      grey[static_cast<size_t>(y) * picture.width + x] = static_cast<std::uint8_t>((54 * pixel[0] + 183 * pixel[1] + 18 * pixel[2]) / 256);
    }
  }
  return grey;
}

std::vector<std::uint8_t> boxBlurred7(const std::vector<std::uint8_t>& grey, int width, int height) {
  // Separable sums: rows, then columns; outside the picture counts as 0, the divisor stays 49.
  std::vector<int> rows(grey.size());
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      int sum = 0;
      for (int dx = -kBlurRadius; dx <= kBlurRadius; ++dx) {
        const int sx = x + dx;
        if (sx >= 0 && sx < width) sum += grey[static_cast<size_t>(y) * width + sx];
      }
      rows[static_cast<size_t>(y) * width + x] = sum;
    }
  }
  std::vector<std::uint8_t> blurred(grey.size());
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      int sum = 0;
      for (int dy = -kBlurRadius; dy <= kBlurRadius; ++dy) {
        const int sy = y + dy;
        if (sy >= 0 && sy < height) sum += rows[static_cast<size_t>(sy) * width + x];
      }
      blurred[static_cast<size_t>(y) * width + x] = static_cast<std::uint8_t>(sum / 49);
    }
  }
  return blurred;
}

std::vector<float> scaledPlane(const std::vector<float>& plane, int width, int height, int size) {
  std::vector<float> scaled(static_cast<size_t>(size) * size);
  const double sx = static_cast<double>(width) / size;
  const double sy = static_cast<double>(height) / size;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      // The source area this sample covers, weighted by overlap; at least one source pixel.
      const double x0 = x * sx;
      const double x1 = std::max(x0 + 1e-9, (x + 1) * sx);
      const double y0 = y * sy;
      const double y1 = std::max(y0 + 1e-9, (y + 1) * sy);
      double sum = 0;
      double weight = 0;
      for (int py = static_cast<int>(y0); py < std::min(height, static_cast<int>(std::ceil(y1))); ++py) {
        const double wy = std::min<double>(py + 1, y1) - std::max<double>(py, y0);
        if (wy <= 0) continue;
        for (int px = static_cast<int>(x0); px < std::min(width, static_cast<int>(std::ceil(x1))); ++px) {
          const double wx = std::min<double>(px + 1, x1) - std::max<double>(px, x0);
          if (wx <= 0) continue;
          sum += wx * wy * plane[static_cast<size_t>(py) * width + px];
          weight += wx * wy;
        }
      }
      scaled[static_cast<size_t>(y) * size + x] = weight > 0 ? static_cast<float>(sum / weight) : 0.0F;
    }
  }
  return scaled;
}

std::vector<float> turnedCounterClockwise(const std::vector<float>& square, int size) {
  std::vector<float> turned(square.size());
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      // The top row becomes the left column, read from the bottom.
      turned[static_cast<size_t>(size - 1 - x) * size + y] = square[static_cast<size_t>(y) * size + x];
    }
  }
  return turned;
}

std::uint64_t dctHash(const std::vector<float>& square32) {
  constexpr int n = kHashSide;
  // Rows 1 to 8 of the orthonormal DCT-II matrix are all the hash reads.
  std::array<std::array<double, n>, 9> dct{};
  for (int u = 1; u <= 8; ++u) {
    for (int x = 0; x < n; ++x) {
      dct[u][x] = std::sqrt(2.0 / n) * std::cos(u * (2 * x + 1) * std::numbers::pi / (2.0 * n));
    }
  }
  // C = D × P × Dᵀ, for rows 1–8 and columns 1–7 only.
  std::array<std::array<double, n>, 9> dp{};
  for (int u = 1; u <= 8; ++u) {
    for (int x = 0; x < n; ++x) {
      double sum = 0;
      for (int k = 0; k < n; ++k) sum += dct[u][k] * square32[static_cast<size_t>(k) * n + x];
      dp[u][x] = sum;
    }
  }
  std::array<double, 64> coefficients{};
  double total = 0;
  for (int r = 1; r <= 8; ++r) {
    for (int c = 1; c <= 7; ++c) {
      double sum = 0;
      for (int x = 0; x < n; ++x) sum += dp[r][x] * dct[c][x];
      coefficients[static_cast<size_t>((r - 1) * 7 + (c - 1))] = sum;
      total += sum;
    }
  }
  const double threshold = total * 0.015625;
  std::uint64_t hash = 0;
  // Positions 56 to 63 are never filled: they stay 0 and set their bit when the threshold is at
  // most 0, the same for every picture of that kind.
  for (int i = 0; i < 64; ++i) {
    if (coefficients[static_cast<size_t>(i)] >= threshold) hash |= std::uint64_t{1} << i;
  }
  return hash;
}

std::optional<PerceptualHashWords> perceptualHashes(const RasterPicture& picture) {
  if (picture.pixels == nullptr || !isHashableSize(picture.width, picture.height)) return std::nullopt;
  const auto blurred = boxBlurred7(greyOf(picture), picture.width, picture.height);
  std::vector<float> plane(blurred.size());
  std::transform(blurred.begin(), blurred.end(), plane.begin(), [](std::uint8_t v) { return v / 255.0F; });
  auto square = scaledPlane(plane, picture.width, picture.height, kHashSide);
  PerceptualHashWords words{};
  for (int k = 0; k < 4; ++k) {
    if (k > 0) square = turnedCounterClockwise(square, kHashSide);
    words[static_cast<size_t>(k)] = dctHash(square);
  }
  return words;
}

int hammingDistance(std::uint64_t a, std::uint64_t b) { return std::popcount(a ^ b); }

int sameTurnDistance(const PerceptualHashWords& a, const PerceptualHashWords& b) {
  int best = 64;
  for (size_t k = 0; k < 4; ++k) best = std::min(best, hammingDistance(a[k], b[k]));
  return best;
}

int flexibleDistance(const PerceptualHashWords& a, const PerceptualHashWords& b) {
  int best = 64;
  for (std::uint64_t left : a) {
    for (std::uint64_t right : b) best = std::min(best, hammingDistance(left, right));
  }
  return best;
}

PerceptualHashWords wordsOf(const std::vector<std::uint64_t>& hashes) {
  PerceptualHashWords words{};
  if (hashes.empty()) return words;
  for (size_t k = 0; k < 4; ++k) words[k] = hashes[k % hashes.size()];
  return words;
}

}  // namespace zarnik
