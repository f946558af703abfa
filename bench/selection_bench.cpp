// Time to tell apart the copies of 10,000 groups of 3 and select among them, as a scan's
// building stage does: the differences of each group, then the autoselector.
//   selection_bench [GROUPS]     (files are made under $TMPDIR, and removed after)
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "scanning/detection_result.h"

int main(int argc, char** argv) {
  using namespace zarnik;
  const int groups = argc > 1 ? std::atoi(argv[1]) : 10'000;
  const char* tmp = std::getenv("TMPDIR");
  std::string root = std::string(tmp != nullptr ? tmp : "/tmp") + "/zarnik-selection-bench-XXXXXX";
  if (::mkdtemp(root.data()) == nullptr) return 1;
  OVURLResolver resolver(root);
  const auto location = ScanLocation::make(root, resolver);
  // Three copies a group: the original, a copy with a copy word, and one in an automatically
  // named folder, all with one content per group.
  const std::vector<std::string> folders = {"Documents", "Documents/old", "Desktop/untitled folder"};
  for (const auto& folder : folders) std::filesystem::create_directories(root + "/" + folder);
  std::vector<scanning_service::DetectionResult> results;
  std::int64_t identifier = 1;
  for (int g = 0; g < groups; ++g) {
    scanning_service::DetectionResult result;
    const std::string names[] = {"Documents/report " + std::to_string(g) + ".pdf",
                                 "Documents/old/report " + std::to_string(g) + " copy.pdf",
                                 "Desktop/untitled folder/report " + std::to_string(g) + ".pdf"};
    for (const auto& name : names) {
      std::ofstream(root + "/" + name) << g;
      scanning_service::Duplicate duplicate;
      duplicate.identifier = identifier++;
      duplicate.node = std::make_shared<ZKFileNode>(NodeLocation::fromRelativePath(location, name),
                                                    *NodeAttributes::resourceValuesOf(root + "/" + name), NodeContent{},
                                                    NodeType::document, std::nullopt);
      result.equivalence.duplicates.push_back(std::move(duplicate));
    }
    results.push_back(std::move(result));
  }
  const Autoselector autoselector(resolver, ExtendedAutoselectionRules{});
  const auto start = std::chrono::steady_clock::now();
  size_t selected = 0;
  for (auto& result : results) {
    result.detectDifferencesAndSelect(autoselector);
    selected += result.selectionConfigurations->currentSelectionConfiguration.selectedIDs.size();
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%d groups of 3: %.3f s (%zu copies proposed for removal)\n", groups, seconds, selected);
  std::filesystem::remove_all(root);
  return 0;
}
