#include "support/pictures.h"

#include <cmath>
#include <cstddef>

namespace zarnik::testing {

std::vector<std::uint8_t> madeUpPicture(int width, int height, int variant) {
  std::vector<std::uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double fx = static_cast<double>(x) / width;
      const double fy = static_cast<double>(y) / height;
      const bool disc = std::hypot(fx - 0.3, fy - 0.4) < 0.2;
      const bool bar = fx > 0.6 && fx < 0.75 && fy > 0.1 + 0.1 * variant;
      auto* pixel = &rgb[(static_cast<size_t>(y) * width + x) * 3];
      pixel[0] = static_cast<std::uint8_t>(disc ? 230 : 255 * fx);
      pixel[1] = static_cast<std::uint8_t>(bar ? 20 : 255 * fy);
      pixel[2] = static_cast<std::uint8_t>(disc ? 40 : 128);
    }
  }
  return rgb;
}

std::vector<std::uint8_t> turnedCounterClockwise(const std::vector<std::uint8_t>& rgb, int width, int height) {
  std::vector<std::uint8_t> turned(rgb.size());
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < 3; ++c) {
        turned[(static_cast<size_t>(width - 1 - x) * height + y) * 3 + c] = rgb[(static_cast<size_t>(y) * width + x) * 3 + c];
      }
    }
  }
  return turned;
}

}  // namespace zarnik::testing
