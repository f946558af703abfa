// The records of cleanings outlive the results they were made in: a new scan replaces the stored
// groups, but a copy removed in a way that can still be undone (to the trash, to a folder, by a
// hard link, or cut off half-way) keeps its record, so that `revert` can bring it back after any
// number of scans. Such copies are carried into the new results as groups of their own, made of
// the recorded copies and the copy kept as their original, renumbered after the new groups and
// copies, with nothing proposed for removal.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "store/file_model_entities.h"

namespace zarnik {

// Whether the copy's record must be kept: the copy may be gone and bringing it back may still be
// possible (a permanent removal, a removal that failed and a fake one have nothing to undo).
[[nodiscard]] bool recordMustOutliveResults(const ZKDuplicate& copy);

// Identifiers handed out to carried groups and their copies, after those of the new results.
struct CarriedIdentifiers {
  std::int64_t nextGroup = 1;
  std::int64_t nextCopy = 1;
};

// The part of `group` to carry into new results, renumbered from `identifiers` (advanced past the
// numbers used); nothing when no copy of the group has a record to keep.
[[nodiscard]] std::optional<ZKEquivalence> carriedOverGroup(const ZKEquivalence& group,
                                                            CarriedIdentifiers& identifiers);

}  // namespace zarnik
