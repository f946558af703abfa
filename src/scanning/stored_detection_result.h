// Scan results as stored groups, and stored groups as the export document: what a scan found
// outlives the program, and `results --json` of a stored scan reads like `scan --json` of it.
#pragma once

#include "scanning/detection_result.h"
#include "scanning/exported_groups.h"
#include "store/managed_object_context.h"

#include <cstdio>
#include <vector>

namespace zarnik {

// The stored group of a result: members with their identifiers, nodes (archived with
// `substitutions`), kinds and differences; the group's equivalence information and differences;
// the selection configurations, the initial ones included. Safe to call from any thread.
[[nodiscard]] ZKEquivalence modelOfDetectionResult(
    const scanning_service::DetectionResult& result, std::int64_t uniqueIdentifier,
    const std::shared_ptr<const ArchiveSubstitutions>& substitutions);

// The kinds in which the stored group's copies differ.
[[nodiscard]] EquivalenceDifferencesInfo storedEquivalenceDifferences(
    const ZKEquivalence& equivalence);

namespace exported {
// Members whose node cannot be read are left out. `identifiers`, when given, receives each
// exported member's identifier, in the export's order.
[[nodiscard]] Equivalence exportedEquivalence(const ZKEquivalence& equivalence,
                                              std::vector<std::int64_t>* identifiers = nullptr);
}  // namespace exported

}  // namespace zarnik
