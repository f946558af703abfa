// The progress of a scan. The task keeps one MutableScanningStatus on its queue and publishes
// immutable ConstantScanningStatus snapshots of it at most about every 0.1 s.
#pragma once

#include "base/date.h"
#include "base/units.h"
#include "foundation/cancellation_mode.h"
#include "matching/content_progress.h"

#include <cstdint>
#include <optional>
#include <string>

namespace zarnik {

enum class ScanningPhase {
  initial = 0,
  enumerating = 1,
  matchingAndAccumulating = 2,
  differencesDetectionAndAutoselection = 3,
  finished = 4,
};
[[nodiscard]] std::optional<ScanningPhase> scanningPhaseFromRawValue(int raw);

struct ConstantScanningStatus {
  double estimatedCompletionFraction = 0;
  ScanningPhase phase = ScanningPhase::initial;
  bool canKeepResults = false;
  std::optional<std::string> latestProcessedURL;
  ByteCount estimatedSizeOfFoundDuplicates = 0;
  // Counters for front ends that show more than a fraction: the items listed (and their size),
  // the reading of contents, and the groups built.
  double numberOfNodesToMatch = 0;
  double numberOfMatchedNodes = 0;
  ByteCount sizeOfListedNodes = 0;
  ContentProgressSnapshot content;
  std::optional<std::int64_t> numberOfEquivalences;
  std::int64_t numberOfProcessedEquivalences = 0;
};

struct MutableScanningStatus {
  std::optional<std::string> latestProcessedURL;
  ByteCount estimatedSizeOfFoundDuplicates = 0;
  std::optional<CancellationMode> cancellationMode;
  std::optional<Date> dateOfStartScan;
  std::optional<Date> dateOfEnumerationFinish;
  std::optional<Date> dateOfAccumulationFinish;
  std::optional<Date> dateOfFinishScan;
  double numberOfMatchedNodes = 0;
  double numberOfNodesToMatch = 0;
  double numberOfItemsToAccumulate = 0;
  double numberOfAccumulatedItems = 0;
  std::optional<std::int64_t> numberOfEquivalences;
  std::int64_t numberOfProcessedEquivalences = 0;
  ByteCount sizeOfListedNodes = 0;
  ContentProgressSnapshot content;

  // The latest date set decides.
  [[nodiscard]] ScanningPhase phase() const;
  // Work done over work known; 0 while nothing is known yet.
  [[nodiscard]] double estimatedCompletionFraction() const;
  [[nodiscard]] bool canKeepResults() const { return estimatedSizeOfFoundDuplicates > 0; }
  [[nodiscard]] ConstantScanningStatus constantCopy() const;
};

}  // namespace zarnik
