// Time to store the results of a scan with many groups, as a scan's last step does: GROUPS
// groups of 3 copies (default 100,000), told apart and selected, written to the session's
// results store in one transaction. The session's state is written too, so that
// `XDG_DATA_HOME=DATA_HOME zarnik results` lists them afterwards (bench/store.sh times that).
//   store_bench [GROUPS] [DATA_HOME]    (files are made under $TMPDIR, and removed after)
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "detection/duplicates_detection_session.h"
#include "platform/file_reading.h"
#include "platform/xdg_directories.h"

int main(int argc, char** argv) {
  using namespace zarnik;
  using Clock = std::chrono::steady_clock;
  const int groups = argc > 1 ? std::atoi(argv[1]) : 100'000;
  const char* tmp = std::getenv("TMPDIR");
  std::string root = std::string(tmp != nullptr ? tmp : "/tmp") + "/zarnik-store-bench-XXXXXX";
  if (::mkdtemp(root.data()) == nullptr) return 1;
  const std::string dataHome = argc > 2 ? argv[2] : root + "/data";
  OVURLResolver resolver(root);
  const auto location = ScanLocation::make(root, resolver);
  const std::vector<std::string> folders = {"Documents", "Documents/old", "Desktop/untitled folder"};
  for (const auto& folder : folders) std::filesystem::create_directories(root + "/" + folder);

  auto scan = std::make_shared<ScanningServiceResult>();
  std::int64_t identifier = 1;
  for (int g = 0; g < groups; ++g) {
    scanning_service::DetectionResult result;
    const std::string names[] = {"Documents/report " + std::to_string(g) + ".pdf",
                                 "Documents/old/report " + std::to_string(g) + " copy.pdf",
                                 "Desktop/untitled folder/report " + std::to_string(g) + ".pdf"};
    for (const auto& name : names) {
      std::ofstream(root + "/" + name) << "content of group " << g;
      scanning_service::Duplicate duplicate;
      duplicate.identifier = identifier++;
      NodeContent content;
      content.exactFileHashData = std::string(20, static_cast<char>(g));
      duplicate.node = std::make_shared<ZKFileNode>(NodeLocation::fromRelativePath(location, name),
                                                    *NodeAttributes::resourceValuesOf(root + "/" + name), content,
                                                    NodeType::document, std::nullopt);
      result.equivalence.duplicates.push_back(std::move(duplicate));
    }
    scan->detectionResults.push_back(std::move(result));
  }
  const Autoselector autoselector(resolver, ExtendedAutoselectionRules{});
  for (auto& result : scan->detectionResults) result.detectDifferencesAndSelect(autoselector);
  scan->scannedNodesCount = identifier - 1;

  const std::string container = dataHome + "/zarnik/session";
  if (xdg::makeDirectories(container).hasError()) return 1;
  std::filesystem::remove(container + "/duplicates.db");
  auto results = DuplicatesDetectionResults::open(container + "/duplicates.db", {});
  if (results.hasError()) {
    std::fprintf(stderr, "%s\n", results.error().oneLine().c_str());
    return 1;
  }
  ::sync();  // the fixture's files are written back before the clock starts, not during
  const auto start = Clock::now();
  auto stored = results.value()->storeResults(scan, {location}).wait();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (stored.hasError()) {
    std::fprintf(stderr, "%s\n", stored.error().oneLine().c_str());
    return 1;
  }
  DuplicatesDetectionSessionState state;
  Json locations = Json::array();
  locations.push_back(ScanLocationViewModel{location, {}, {}, {}}.encode());
  state.setValueForKey("scanLocations", locations);
  state.setValueForKey("status", encodeStatus(ReviewingStatus{stored.value()}));
  if (writeFileAtomically(container + "/session.state", dumpJson(state.encode())).hasError()) return 1;
  std::printf("%d groups of 3 stored in %.3f s (%.1f MB on disk)\n", groups, seconds,
              static_cast<double>(std::filesystem::file_size(container + "/duplicates.db")) / 1e6);
  std::filesystem::remove_all(root + "/Documents");
  std::filesystem::remove_all(root + "/Desktop");
  return 0;
}
