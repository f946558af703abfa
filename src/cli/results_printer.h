// The readable listing of stored groups, shared by `scan` and `results`: each group with its
// identifier, kind, sizes and selection; each copy with its identifier, whether it is kept or
// proposed for removal, and why a kept copy is protected; then the totals.
#pragma once

#include "base/units.h"
#include "detection/duplicates_detection_results.h"
#include "detection/results_model.h"

#include <fmt/format.h>

#include <cstddef>
#include <vector>

namespace zarnik::cli {

// "automatic", "by hand", "none", "newest", "oldest", "random".
[[nodiscard]] std::string_view strategyName(SelectionStrategy strategy);

class ResultsPrinter {
 public:
  void print(const ZKEquivalence& equivalence);
  // The same into `text`, counted as printed.
  void append(fmt::memory_buffer& text, const ZKEquivalence& equivalence);
  // Counts what `other` printed as printed here.
  void add(const ResultsPrinter& other);
  // "Found N groups with M copies; … could be freed; K copies proposed for removal", the size
  // threshold note and the hint for groups whose copies nothing tells apart.
  void printTotals(const DuplicatesDetectionResultsState& state) const;

 private:
  size_t groups_ = 0;
  size_t files_ = 0;
  size_t proposed_ = 0;
  ByteCount proposedSize_ = 0;
  size_t tiedGroups_ = 0;
  ByteCount reclaimable_ = 0;
};

// Prints every stored group, largest first, then the totals; the number of groups. The groups are
// also put in `model` when one is given.
Result<std::int64_t> printStoredResults(DuplicatesDetectionResults& results,
                                        ResultsModel* model = nullptr);
// The same for groups just stored and kept (DuplicatesDetectionResults::takeStoredGroups), which
// are listed without being read back.
void printGroups(const std::vector<ZKEquivalence>& groups,
                 const DuplicatesDetectionResultsState& state, ResultsModel* model = nullptr);

}  // namespace zarnik::cli
