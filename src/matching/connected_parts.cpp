#include "matching/connected_parts.h"

#include <algorithm>
#include <numeric>
#include <unordered_map>

namespace zarnik {
namespace {

// Union–find over positions.
struct Parts {
  std::vector<std::uint32_t> parent;
  explicit Parts(size_t size) : parent(size) { std::iota(parent.begin(), parent.end(), 0U); }
  std::uint32_t root(std::uint32_t v) {
    while (parent[v] != v) v = parent[v] = parent[parent[v]];
    return v;
  }
  void join(std::uint32_t a, std::uint32_t b) { parent[root(a)] = root(b); }
};

}  // namespace

std::vector<std::vector<std::uint32_t>> connectedParts(const std::vector<std::uint32_t>& vertices,
                                                       const std::vector<GraphEdge>& edges) {
  std::unordered_map<std::uint32_t, std::uint32_t> position;
  for (std::uint32_t i = 0; i < vertices.size(); ++i) position[vertices[i]] = i;
  Parts parts(vertices.size());
  for (const auto& [left, right] : edges) {
    auto a = position.find(left);
    auto b = position.find(right);
    if (a != position.end() && b != position.end()) parts.join(a->second, b->second);
  }
  std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> byRoot;
  for (std::uint32_t i = 0; i < vertices.size(); ++i) byRoot[parts.root(i)].push_back(vertices[i]);
  std::vector<std::vector<std::uint32_t>> result;
  for (auto& [root, members] : byRoot) {
    if (members.size() >= 2) result.push_back(std::move(members));
  }
  for (auto& members : result) std::sort(members.begin(), members.end());
  std::sort(result.begin(), result.end());
  return result;
}

}  // namespace zarnik
