// Claims of groups on a node: a node stays only in its strongest group (folder > exact >
// similar). Written only on the matching engine's queue.
#pragma once

#include <cstdint>

namespace zarnik {

struct Claimers {
  static constexpr std::int32_t similarMatch = 1;
  static constexpr std::int32_t exactMatch = 2;
  static constexpr std::int32_t directoryMatch = 4;

  std::int32_t rawValue = 0;

  void insert(std::int32_t claimer) { rawValue |= claimer; }
  [[nodiscard]] bool contains(std::int32_t claimer) const { return (rawValue & claimer) != 0; }
  // No stronger claimer is in the set.
  [[nodiscard]] bool isTop(std::int32_t claimer) const { return 2 * claimer > rawValue; }
};

}  // namespace zarnik
