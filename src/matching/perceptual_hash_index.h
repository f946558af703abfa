// Which earlier pictures lie within a distance of a new one, without comparing it with all of
// them. Every 64-bit hash is cut into four 16-bit blocks; two hashes within distance t agree
// within t/4 bits on at least one block at the same place (four blocks cannot each differ in
// more than t/4 bits). So the candidates are the pictures with a block near one of the new
// picture's blocks, and each is then measured. For large distances, where blocks prune nothing,
// every picture is measured.
#pragma once

#include <cstdint>
#include <vector>

#include "matching/perceptual_image_hash.h"

namespace zarnik {

class PerceptualHashIndex {
 public:
  explicit PerceptualHashIndex(int threshold);

  // The earlier entries within `threshold` (flexible distance) of `words`, then `words` is added
  // as the next entry. Entries are numbered from 0 in the order they were added.
  struct Neighbour {
    std::uint32_t entry;
    int distance;
  };
  std::vector<Neighbour> addAndFindNeighbours(const PerceptualHashWords& words);
  [[nodiscard]] size_t size() const { return words_.size(); }

 private:
  static constexpr int kBlocks = 4;
  void probe(int block, std::uint16_t value, std::uint32_t stamp, std::vector<std::uint32_t>& candidates);

  int threshold_;
  int radius_;             // bits a block may differ in
  bool usesBlocks_;        // false: every entry is measured
  std::vector<PerceptualHashWords> words_;
  std::vector<std::uint32_t> seen_;  // the stamp of the query that last took each entry
  std::vector<std::vector<std::uint32_t>> buckets_;  // block × 65,536 values → entries
  std::vector<std::uint16_t> flips_;  // the masks of at most `radius_` bits
};

}  // namespace zarnik
