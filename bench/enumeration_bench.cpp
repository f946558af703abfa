// Enumerates a tree into matching nodes with a given number of threads and reports the wall
// time, the node count and the resident memory each kept node costs.
//   enumeration_bench TREE [THREADS]
#include <chrono>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "enumeration/file_system_enumeration.h"

namespace {
long residentKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}
}  // namespace

int main(int argc, char** argv) {
  using namespace zarnik;
  if (argc < 2) {
    std::fprintf(stderr, "usage: enumeration_bench TREE [THREADS]\n");
    return 2;
  }
  const size_t threads = argc > 2 ? std::stoul(argv[2]) : 2;
  OVURLResolver resolver("/nonexistent-home");
  auto rules = std::make_shared<ExtendedScanRules>();
  auto factoryPtr = MatchingNodesFactory::make(rules, resolver, {true, {}});
  auto& factory = *factoryPtr;
  auto location = ScanLocation::make(argv[1], resolver);
  auto specs = EnumerationSpecification::acceptableSpecifications({{location, {}}}, *rules, resolver);
  auto queue = OperationQueue::make("bench.enumeration", threads, QualityOfService::userInitiated);
  std::mutex mutex;
  std::vector<MatchingNodePtr> nodes;
  nodes.reserve(1'100'000);
  const long before = residentKilobytes();
  const auto start = std::chrono::steady_clock::now();
  MatchingNodesEnumerator::enumerate(specs, factory, queue, {}, {}, [&](const MatchingNodePtr& node, const std::string&) {
    std::lock_guard lock(mutex);
    nodes.push_back(node);
  });
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const long after = residentKilobytes();
  // The vector of pointers kept for measuring is not part of a node's cost.
  const double vectorBytes = static_cast<double>(nodes.capacity() * sizeof(MatchingNodePtr));
  const double perNode = (static_cast<double>(after - before) * 1024.0 - vectorBytes) / static_cast<double>(nodes.size());
  std::printf("{\"nodes\": %zu, \"seconds\": %.3f, \"rss_kib\": %ld, \"bytes_per_node\": %.0f}\n", nodes.size(), seconds,
              after, perNode);
  return 0;
}
