// What a scan hands over per group: the group with a stable identifier per member and the
// hard-link groups among the members; and the export document of found groups.
#pragma once

#include "base/json.h"
#include "file_model/base_node.h"
#include "matching/match_kind.h"
#include "selection/autoselector.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

namespace zarnik {

namespace scanning_service {

struct Duplicate {
  std::int64_t identifier = 0;
  std::shared_ptr<ZKBaseNode> node;
  EquivalenceKind equivalenceKind = EquivalenceKind::exactHash;
  // Members that are hard links of one file share it.
  std::optional<std::int64_t> hardlinkedGroupID;
};

struct Equivalence {
  EquivalenceKind equivalenceKind = EquivalenceKind::exactHash;
  std::vector<Duplicate> duplicates;

  // The size one copy takes: what removing all but one copy frees per copy.
  [[nodiscard]] ByteCount memberSize() const;
  // What removing every copy but one frees, hard links counted once.
  [[nodiscard]] ByteCount reclaimableSize() const;
};

struct DetectionResult {
  Equivalence equivalence;
  EquivalenceDifferencesInfo equivalenceDifferences;
  // Also holds each member's differences. Shared: results are copied as they are handed on, and
  // a scan's records are large (a map of values per member).
  std::shared_ptr<const DetectedSelectionConfigurations> selectionConfigurations;
  // Every member is known to hold the same bytes from start to end: compared whole, or small
  // enough that the digest read all of it. Only groups of exact duplicates can be.
  bool verified = false;

  // The group's differences found, its members told apart, and the automatic selection made.
  void detectDifferencesAndSelect(const Autoselector& autoselector);

  // What removing the copies the selection proposes frees, by their file sizes (a copy sharing
  // its file with a kept hard link frees nothing, hard links of one file count once); with
  // nothing proposed, what removing all but one copy would free (a protected copy is the one
  // kept, else the largest). For every kind: a folder frees its files, a similar picture its own
  // size.
  [[nodiscard]] ByteCount reclaimableSize() const;
};

}  // namespace scanning_service

// {"groups": [{"type", "verified", "duplicates": [{"scanLocation", "path", "autoselect"}],
// "differences"}]}: the scan location in abbreviated form, the path below it, whether the copy is
// proposed for removal; members sorted; the kinds of difference shown to users.
[[nodiscard]] Json exportJSON(const std::vector<scanning_service::DetectionResult>& results);
// The same document, indented by two, written group by group: the whole document of a large
// scan never stands in memory at once.
void writeExportDocument(std::FILE* out,
                         const std::vector<scanning_service::DetectionResult>& results);

}  // namespace zarnik
