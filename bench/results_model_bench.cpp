// Time for the results model to follow one selection change in a large result: the figures of
// every criterion are updated by the changed group alone.
//   results_model_bench [GROUPS] [CHANGES]     (defaults 50,000 groups of 3 copies, 10,000 changes)
#include "detection/results_model.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  using namespace zarnik;
  using Clock = std::chrono::steady_clock;
  const int groups = argc > 1 ? std::atoi(argv[1]) : 50'000;
  const int changes = argc > 2 ? std::atoi(argv[2]) : 10'000;
  const NodeType types[] = {NodeType::image, NodeType::audio, NodeType::document, NodeType::video};
  ResultsModel model;
  const auto buildStart = Clock::now();
  for (int g = 0; g < groups; ++g) {
    ResultsGroup group;
    group.identifier = g + 1;
    group.kind = g % 5 == 0 ? EquivalenceKind::similarImage : EquivalenceKind::exactHash;
    group.memberSize = 1000 + g;
    group.reclaimableSize = 2 * group.memberSize;
    for (int c = 0; c < 3; ++c) {
      ResultsCopy copy{3 * g + c + 1, group.memberSize,
                       "/home/ann/Documents/folder " + std::to_string(c) + "/report " +
                           std::to_string(g) + ".pdf",
                       types[g % 4], false};
      group.copies.push_back(copy);
    }
    group.selection =
        SelectionConfiguration{SelectionStrategy::automatic, 3 * g + 1, {3 * g + 2, 3 * g + 3}};
    group.autoselected = group.selection.selectedIDs;
    model.put(std::move(group));
  }
  const double buildSeconds = std::chrono::duration<double>(Clock::now() - buildStart).count();

  std::mt19937 random(1);
  double slowest = 0;
  double total = 0;
  for (int i = 0; i < changes; ++i) {
    const std::int64_t g = static_cast<std::int64_t>(random() % groups);
    SelectionConfiguration next = model.group(g + 1)->selection;
    next.strategy = SelectionStrategy::manual;
    const std::int64_t copy = 3 * g + 1 + static_cast<std::int64_t>(random() % 3);
    if (next.isSelected(copy)) {
      next.selectedIDs.erase(copy);
    } else {
      next.selectedIDs.insert(copy);
    }
    const auto start = Clock::now();
    model.applySelection(g + 1, next);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    slowest = std::max(slowest, seconds);
    total += seconds;
  }
  const auto& selected = model.figures(FilteringCriterion::selected).total;
  std::printf(
      "%d groups of 3: built in %.3f s; %d selection changes: mean %.2f us, slowest %.2f us "
      "(%lld copies selected)\n",
      groups, buildSeconds, changes, 1e6 * total / changes, 1e6 * slowest,
      static_cast<long long>(selected.count));
  return 0;
}
