#include "scanning/scanning_status.h"

namespace zarnik {

std::optional<ScanningPhase> scanningPhaseFromRawValue(int raw) {
  if (raw < 0 || raw > 4) return std::nullopt;
  return static_cast<ScanningPhase>(raw);
}

ScanningPhase MutableScanningStatus::phase() const {
  if (dateOfFinishScan) return ScanningPhase::finished;
  if (dateOfAccumulationFinish) return ScanningPhase::differencesDetectionAndAutoselection;
  if (dateOfEnumerationFinish) return ScanningPhase::matchingAndAccumulating;
  if (dateOfStartScan) return ScanningPhase::enumerating;
  return ScanningPhase::initial;
}

double MutableScanningStatus::estimatedCompletionFraction() const {
  const double total = numberOfNodesToMatch + numberOfItemsToAccumulate;
  if (total <= 0) return 0;
  return (numberOfMatchedNodes + numberOfAccumulatedItems) / total;
}

ConstantScanningStatus MutableScanningStatus::constantCopy() const {
  ConstantScanningStatus copy{estimatedCompletionFraction(), phase(), canKeepResults(), latestProcessedURL,
                              estimatedSizeOfFoundDuplicates};
  copy.numberOfNodesToMatch = numberOfNodesToMatch;
  copy.numberOfMatchedNodes = numberOfMatchedNodes;
  copy.sizeOfListedNodes = sizeOfListedNodes;
  copy.content = content;
  copy.numberOfEquivalences = numberOfEquivalences;
  copy.numberOfProcessedEquivalences = numberOfProcessedEquivalences;
  return copy;
}

}  // namespace zarnik
