// Scan rules are imported from JSON files a user picks. Import must never crash, must leave
// the rules unchanged on failure, and an accepted import must export and re-import to the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "file_model/scan_rules.h"
#include "foundation/logger.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] {
    zarnik::Logger::shared().setFilePath("");
    return true;
  }();
  (void)quiet;
  auto json = zarnik::parseJson(std::string_view(reinterpret_cast<const char*>(data), size));
  if (json.hasError()) return 0;
  zarnik::ExtendedScanRules rules;
  const zarnik::Json before = rules.exportJSON();
  if (rules.importJSON(json.value()).hasError()) {
    if (rules.exportJSON() != before) std::abort();
    return 0;
  }
  const zarnik::Json exported = rules.exportJSON();
  zarnik::ExtendedScanRules again;
  if (again.importJSON(exported).hasError() || again.exportJSON() != exported) std::abort();
  (void)rules.exclusionRulesByPath();
  (void)rules.ignoredAndWhitelistedPaths(zarnik::OVURLResolver("/home/fuzz"));
  return 0;
}
