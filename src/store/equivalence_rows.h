// The rows a group is written as: their columns, and the values of a group bound to them in
// order. Writing a group and telling whether the store already holds it read the same list, so
// that a column added to one cannot be missed by the other.
#pragma once

#include "store/managed_object_context.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zarnik::equivalence_rows {

inline constexpr std::string_view kEquivalenceColumns =
    "uniqueIdentifier, expanded, lastResortName, duplicatesMonitorState, "
    "initialSelectionConfiguration, "
    "currentSelectionConfiguration, availableSelectionConfigurations, initialOriginalDuplicateID, "
    "privateEquivalenceInfo, privateEquivalenceKind, rawSelectedDifference, memberSize, "
    "reclaimableSize";
inline constexpr std::string_view kDuplicateColumns =
    "identifier, equivalence, recentDuplicate, nodeData, cleaningNoteData, privateEquivalenceInfo, "
    "privateEquivalenceKind, cleanID, ignored, differencesData";

// `Row` takes the values of one row in column order:
//   integer(std::int64_t), text(std::string_view), blob(std::string_view), null().
template <typename Row>
void putOptional(Row& row, const std::optional<std::int64_t>& value) {
  value ? row.integer(*value) : row.null();
}
template <typename Row>
void putOptional(Row& row, const std::optional<std::string>& value) {
  value ? row.text(*value) : row.null();
}

template <typename Row>
void putEquivalence(Row& row, const ManagedObjectContext::EncodedEquivalence& group) {
  row.integer(group.uniqueIdentifier);
  row.integer(group.expanded ? 1 : 0);
  putOptional(row, group.lastResortName);
  putOptional(row, group.duplicatesMonitorState);
  putOptional(row, group.initialSelectionConfiguration);
  putOptional(row, group.currentSelectionConfiguration);
  row.text(group.availableSelectionConfigurations);
  row.integer(group.initialOriginalDuplicateID);
  putOptional(row, group.privateEquivalenceInfo);
  row.text(rawValue(group.privateEquivalenceKind));
  putOptional(row, group.rawSelectedDifference);
  row.integer(group.memberSize);
  row.integer(group.reclaimableSize);
}

template <typename Row>
void putDuplicate(Row& row, const ManagedObjectContext::EncodedEquivalence& group,
                  const ZKDuplicate& duplicate) {
  row.integer(duplicate.identifier);
  row.integer(group.uniqueIdentifier);
  putOptional(row, duplicate.recentDuplicate);
  row.blob(duplicate.nodeData);
  duplicate.cleaningNoteData ? row.blob(*duplicate.cleaningNoteData) : row.null();
  putOptional(row, duplicate.privateEquivalenceInfo);
  duplicate.privateEquivalenceKind ? row.text(rawValue(*duplicate.privateEquivalenceKind))
                                   : row.null();
  putOptional(row, duplicate.cleanID);
  row.integer(duplicate.ignored ? 1 : 0);
  putOptional(row, duplicate.differencesData);
}

}  // namespace zarnik::equivalence_rows
