// Time to tell apart the copies of 10,000 groups of 3 and select among them, as a scan's
// building stage does: the differences of each group, then the autoselector.
//   selection_bench [GROUPS]     (files are made under $TMPDIR, and removed after)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "report_groups.h"

int main(int argc, char** argv) {
  using namespace zarnik;
  const int groups = argc > 1 ? std::atoi(argv[1]) : 10'000;
  auto made = bench::makeReportGroups(groups, "zarnik-selection-bench");
  auto& results = made.results;
  const OVURLResolver resolver(made.root);
  const Autoselector autoselector(resolver, ExtendedAutoselectionRules{});
  const auto start = std::chrono::steady_clock::now();
  size_t selected = 0;
  for (auto& result : results) {
    result.detectDifferencesAndSelect(autoselector);
    selected += result.selectionConfigurations->currentSelectionConfiguration.selectedIDs.size();
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%d groups of 3: %.3f s (%zu copies proposed for removal)\n", groups, seconds, selected);
  std::filesystem::remove_all(made.root);
  return 0;
}
