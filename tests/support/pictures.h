// Made-up pictures for tests: smooth colour gradients with a disc and a bar, as 8-bit RGB.
#pragma once

#include <cstdint>
#include <vector>

namespace zarnik::testing {

// `variant` moves the bar: variants far apart are different pictures.
std::vector<std::uint8_t> madeUpPicture(int width, int height, int variant = 0);
// The picture turned 90 degrees counter-clockwise (it is then `height` wide).
std::vector<std::uint8_t> turnedCounterClockwise(const std::vector<std::uint8_t>& rgb, int width, int height);

}  // namespace zarnik::testing
