// The connected parts of a graph given by its edges: the groups of the fuzzy matchers.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace zarnik {

using GraphEdge = std::pair<std::uint32_t, std::uint32_t>;

// The parts of at least two of `vertices` joined by `edges` (edges to other vertices are
// ignored), each sorted, in order of their first vertex.
[[nodiscard]] std::vector<std::vector<std::uint32_t>> connectedParts(const std::vector<std::uint32_t>& vertices,
                                                                     const std::vector<GraphEdge>& edges);

}  // namespace zarnik
