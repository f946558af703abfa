// A scan of a folder for exact duplicates of any size, its groups stored in new results kept in
// memory: the starting point of tests of what is done with stored results.
#pragma once

#include "support/test_dir.h"

#include "detection/duplicates_detection_results.h"
#include "foundation/logger.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zarnik::testing {

// A scan of `folders` for exact duplicates of any size, and its locations; nothing, with a test
// failure, when it fails. `selectRandomAmongEqual` lets the scan propose a copy of groups whose
// copies nothing tells apart.
struct Scan {
  std::shared_ptr<const ScanningServiceResult> result;
  std::vector<ScanLocationPtr> locations;
};
inline std::optional<Scan> scanOf(const std::vector<std::string>& folders,
                                  const OVURLResolver& resolver,
                                  bool selectRandomAmongEqual = false) {
  ScanningServiceRequest request;
  Scan scan;
  for (const auto& folder : folders) {
    scan.locations.push_back(ScanLocation::make(folder, resolver));
    request.specifications.push_back({scan.locations.back(), {}});
  }
  auto rules = std::make_shared<ExtendedScanRules>();
  rules->setExactMatchEnabled(true);
  rules->setSizeThresholdOption(SizeThresholdOption::size(0));
  request.scanRules = rules;
  request.resolver = resolver;
  request.autoselectionRules.selectRandomAmongEqual = selectRandomAmongEqual;
  ScanningService scanning;
  auto scanned = scanning.perform(std::move(request))->start().wait();
  EXPECT_TRUE(scanned.hasValue());
  if (scanned.hasError()) return std::nullopt;
  scan.result = scanned.value();
  return scan;
}

// Stores a new scan of `folders` in `results`; false, with a test failure, when the scan or the
// storing fails.
inline bool scanAndStore(DuplicatesDetectionResults& results,
                         const std::vector<std::string>& folders, const OVURLResolver& resolver,
                         bool selectRandomAmongEqual = false) {
  auto scan = scanOf(folders, resolver, selectRandomAmongEqual);
  if (!scan) return false;
  auto stored = results.storeResults(scan->result, scan->locations).wait();
  EXPECT_TRUE(stored.hasValue()) << stored.error().oneLine();
  return stored.hasValue();
}

// New results kept in memory, holding a scan of `folder`; nothing when it fails. The stored
// groups are kept in memory too when the scan found at most `mostKeptCopies` copies.
inline std::shared_ptr<DuplicatesDetectionResults> scannedAndStored(
    const std::string& folder, const OVURLResolver& resolver, bool selectRandomAmongEqual = false,
    size_t mostKeptCopies = 0) {
  auto opened = DuplicatesDetectionResults::open(std::nullopt, {});
  EXPECT_TRUE(opened.hasValue());
  if (opened.hasError()) return nullptr;
  opened.value()->setKeepsStoredGroups(mostKeptCopies);
  return scanAndStore(*opened.value(), {folder}, resolver, selectRandomAmongEqual) ? opened.value()
                                                                                   : nullptr;
}

// Tests of stored results: a folder to scan, the program's data and caches in a folder of their
// own, and the results once `store` has scanned.
class StoredScanTest : public ::testing::Test {
 protected:
  TestDir dir;
  TestDir data;
  OVURLResolver resolver{"/nonexistent-home"};
  std::shared_ptr<DuplicatesDetectionResults> results;

  void SetUp() override {
    ::setenv("XDG_DATA_HOME", (data / "data").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (data / "cache").c_str(), 1);
    Logger::shared().setConsole(nullptr);
  }

  void store(const std::string& folder, bool selectRandomAmongEqual = false,
             size_t mostKeptCopies = 0) {
    results = scannedAndStored(folder, resolver, selectRandomAmongEqual, mostKeptCopies);
    ASSERT_NE(results, nullptr);
  }
};

}  // namespace zarnik::testing
