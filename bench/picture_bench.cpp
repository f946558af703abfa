// Pictures for the similar-image benchmarks, and the matching of many perceptual hashes.
//   picture_bench generate DIR COUNT [WIDTH HEIGHT [EXT]]   made-up JPEGs, or pictures of the
//   format
//                                                    EXT names (a third are recompressed copies)
//   picture_bench match COUNT                         times matching COUNT random hashes
#include "file_model/scan_rules.h"
#include "matching/match_criterion.h"
#include "matching/similar_images_accumulator.h"
#include "platform/image_decoding.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

namespace {

std::vector<std::uint8_t> picture(int width, int height, std::uint64_t seed) {
  std::mt19937_64 random(seed);
  const double cx = (random() % 1000) / 1000.0;
  const double cy = (random() % 1000) / 1000.0;
  const double radius = 0.1 + (random() % 300) / 1000.0;
  const int tint = static_cast<int>(random() % 256);
  std::vector<std::uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double fx = static_cast<double>(x) / width;
      const double fy = static_cast<double>(y) / height;
      const bool disc = std::hypot(fx - cx, fy - cy) < radius;
      auto* pixel = &rgb[(static_cast<size_t>(y) * width + x) * 3];
      pixel[0] = static_cast<std::uint8_t>(disc ? tint : 255 * fx);
      pixel[1] = static_cast<std::uint8_t>(disc ? 255 - tint : 255 * fy);
      pixel[2] = static_cast<std::uint8_t>(128 + 100 * std::sin(fx * 7 + fy * 3 + seed));
    }
  }
  return rgb;
}

int generate(const std::string& folder, int count, int width, int height,
             const std::string& extension) {
  for (int i = 0; i < count; ++i) {
    // Every third picture is an earlier one saved at a lower quality.
    const bool copy = i % 3 == 2;
    const auto rgb = picture(
        width, height, copy ? static_cast<std::uint64_t>(i - 2) : static_cast<std::uint64_t>(i));
    const std::string path = folder + "/picture" + std::to_string(i) + "." + extension;
    if (auto written = zarnik::writePicture(path, rgb, width, height, copy ? 60 : 90);
        written.hasError()) {
      std::fprintf(stderr, "%s\n", written.error().oneLine().c_str());
      return 1;
    }
  }
  return 0;
}

int match(int count) {
  std::mt19937_64 random(1);
  zarnik::ExtendedScanRules rules;
  zarnik::SimilarImagesEquivalenceCandidatesAccumulator accumulator(
      nullptr, zarnik::SimilarImagesMatchingOptions::of(rules));
  zarnik::OVURLResolver resolver{"/nonexistent-home"};
  const auto location = zarnik::ScanLocation::make("/pictures", resolver);
  std::vector<std::pair<zarnik::MatchingNodePtr, std::shared_ptr<const zarnik::EquivalenceInfo>>>
      items;
  for (int i = 0; i < count; ++i) {
    std::vector<std::uint64_t> hashes(4);
    for (auto& hash : hashes) hash = random();
    // A tenth are near copies of an earlier picture: a few bits apart.
    if (i % 10 == 9) {
      hashes = static_cast<const zarnik::PerceptualImageEquivalenceInfo&>(
                   *items[random() % items.size()].second)
                   .perceptualHashes();
      hashes[0] ^= std::uint64_t{1} << (random() % 64);
    }
    auto node = std::make_shared<zarnik::MatchingFileNode>(
        nullptr, nullptr, "p" + std::to_string(i), zarnik::NodeAttributes{}, location);
    items.emplace_back(
        node, std::make_shared<zarnik::PerceptualImageEquivalenceInfo>(hashes, 4000, 3000));
  }
  const auto start = std::chrono::steady_clock::now();
  for (const auto& [node, info] : items) accumulator.add(node, info);
  zarnik::EquivalenceCandidatesMatchingContext context;
  accumulator.finish(context);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("matched %d random hashes in %.3f s (%zu groups)\n", count, seconds,
              context.equivalencesToModel.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "generate" && argc >= 4) {
    return generate(argv[2], std::stoi(argv[3]), argc > 5 ? std::stoi(argv[4]) : 4000,
                    argc > 5 ? std::stoi(argv[5]) : 3000, argc > 6 ? argv[6] : "jpg");
  }
  if (mode == "match" && argc >= 3) return match(std::stoi(argv[2]));
  std::fprintf(stderr,
               "usage: picture_bench generate DIR COUNT [WIDTH HEIGHT [EXT]] | match COUNT\n");
  return 2;
}
