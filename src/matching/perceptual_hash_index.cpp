#include "matching/perceptual_hash_index.h"

#include <bit>

namespace zarnik {
namespace {

constexpr int kMostRadiusWorthIndexing = 2;  // 137 probes a block; beyond, measuring all is as fast

}  // namespace

PerceptualHashIndex::PerceptualHashIndex(int threshold)
    : threshold_(threshold), radius_(threshold / kBlocks), usesBlocks_(threshold / kBlocks <= kMostRadiusWorthIndexing) {
  if (!usesBlocks_) return;
  for (std::uint32_t mask = 0; mask <= 0xFFFF; ++mask) {
    if (std::popcount(mask) <= radius_) flips_.push_back(static_cast<std::uint16_t>(mask));
  }
}

void PerceptualHashIndex::probe(int block, std::uint16_t value, std::uint32_t stamp,
                                std::vector<std::uint32_t>& candidates) {
  for (std::uint16_t flip : flips_) {
    const auto& bucket = buckets_[static_cast<size_t>(block) * 65536 + static_cast<std::uint16_t>(value ^ flip)];
    for (std::uint32_t entry : bucket) {
      if (seen_[entry] == stamp) continue;
      seen_[entry] = stamp;
      candidates.push_back(entry);
    }
  }
}

std::vector<PerceptualHashIndex::Neighbour> PerceptualHashIndex::addAndFindNeighbours(const PerceptualHashWords& words) {
  std::vector<Neighbour> neighbours;
  const auto entry = static_cast<std::uint32_t>(words_.size());
  std::vector<std::uint32_t> candidates;
  if (usesBlocks_) {
    if (buckets_.empty()) buckets_.resize(static_cast<size_t>(kBlocks) * 65536);
    const std::uint32_t stamp = entry + 1;
    for (std::uint64_t word : words) {
      for (int block = 0; block < kBlocks; ++block) probe(block, static_cast<std::uint16_t>(word >> (16 * block)), stamp, candidates);
    }
  } else {
    candidates.resize(entry);
    for (std::uint32_t other = 0; other < entry; ++other) candidates[other] = other;
  }
  for (std::uint32_t other : candidates) {
    const int distance = flexibleDistance(words, words_[other]);
    if (distance <= threshold_) neighbours.push_back({other, distance});
  }
  words_.push_back(words);
  seen_.push_back(0);
  if (usesBlocks_) {
    for (std::uint64_t word : words) {
      for (int block = 0; block < kBlocks; ++block) {
        auto& bucket = buckets_[static_cast<size_t>(block) * 65536 + static_cast<std::uint16_t>(word >> (16 * block))];
        if (bucket.empty() || bucket.back() != entry) bucket.push_back(entry);
      }
    }
  }
  return neighbours;
}

}  // namespace zarnik
