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
#include <string>
#include <vector>

#include "detection/duplicates_detection_session.h"
#include "platform/file_reading.h"
#include "platform/xdg_directories.h"
#include "report_groups.h"

int main(int argc, char** argv) {
  using namespace zarnik;
  using Clock = std::chrono::steady_clock;
  const int groups = argc > 1 ? std::atoi(argv[1]) : 100'000;
  auto made = bench::makeReportGroups(groups, "zarnik-store-bench");
  const std::string dataHome = argc > 2 ? argv[2] : made.root + "/data";
  const OVURLResolver resolver(made.root);
  const auto& location = made.location;
  auto scan = std::make_shared<ScanningServiceResult>();
  scan->detectionResults = std::move(made.results);
  const Autoselector autoselector(resolver, ExtendedAutoselectionRules{});
  for (auto& result : scan->detectionResults) result.detectDifferencesAndSelect(autoselector);
  scan->scannedNodesCount = 3 * static_cast<std::int64_t>(groups);

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
  std::uintmax_t bytes = 0;
  for (const char* file : {"/duplicates.db", "/duplicates.db-wal"}) {
    if (std::filesystem::exists(container + file)) bytes += std::filesystem::file_size(container + file);
  }
  std::printf("%d groups of 3 stored in %.3f s (%.1f MB on disk)\n", groups, seconds, static_cast<double>(bytes) / 1e6);
  std::filesystem::remove_all(made.root + "/Documents");
  std::filesystem::remove_all(made.root + "/Desktop");
  return 0;
}
