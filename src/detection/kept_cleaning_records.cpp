#include "detection/kept_cleaning_records.h"

#include <algorithm>
#include <map>

#include "cleaning/cleaning_note.h"

namespace zarnik {
namespace {

// Hard-link records name the copy the link pointed to; it follows its new number.
void renumberLinkTargets(ZKDuplicate& copy,
                         const std::map<std::int64_t, std::int64_t>& renumbered) {
  auto note = cleaningNoteOf(copy);
  if (!note) return;
  bool changed = false;
  for (auto& action : note->actions) {
    auto* link = std::get_if<CleaningReplacedWithHardlinkAction>(&action);
    if (link == nullptr) continue;
    const auto it = renumbered.find(link->identifierOfDuplicateReplacedWith);
    if (it == renumbered.end()) continue;
    link->identifierOfDuplicateReplacedWith = it->second;
    changed = true;
  }
  if (changed) setCleaningNote(copy, note);
}

}  // namespace

bool recordMustOutliveResults(const ZKDuplicate& copy) {
  if (!copy.cleanID) return false;
  const auto note = cleaningNoteOf(copy);
  if (!note) return true;  // unreadable: the copy may be gone, and its record is all there is
  if (note->isFakeRemove || note->error) return false;
  return note->pending || note->canRevert();
}

std::optional<ZKEquivalence> carriedOverGroup(const ZKEquivalence& group,
                                              CarriedIdentifiers& identifiers) {
  if (std::none_of(group.duplicates.begin(), group.duplicates.end(), recordMustOutliveResults))
    return std::nullopt;
  const std::int64_t originalID = group.currentSelectionConfiguration
                                      ? group.currentSelectionConfiguration->originalID
                                      : group.initialOriginalDuplicateID;

  ZKEquivalence carried = group;
  carried.uniqueIdentifier = identifiers.nextGroup++;
  carried.duplicates.clear();
  std::map<std::int64_t, std::int64_t> renumbered;
  for (const auto& copy : group.duplicates) {
    if (!recordMustOutliveResults(copy) && copy.identifier != originalID) continue;
    renumbered[copy.identifier] = identifiers.nextCopy;
    ZKDuplicate kept = copy;
    kept.identifier = identifiers.nextCopy++;
    kept.equivalence = carried.uniqueIdentifier;
    kept.recentDuplicate.reset();
    carried.duplicates.push_back(std::move(kept));
  }
  for (auto& copy : carried.duplicates) renumberLinkTargets(copy, renumbered);

  const auto original = renumbered.find(originalID);
  const std::int64_t newOriginal = original != renumbered.end() ? original->second : 0;
  // Nothing is proposed: these copies were judged against files the new scan may have seen
  // differently; a copy brought back stays where it is until a scan groups it again.
  const SelectionConfiguration nothingSelected{SelectionStrategy::manual, newOriginal, {}};
  carried.initialSelectionConfiguration = nothingSelected;
  carried.currentSelectionConfiguration = nothingSelected;
  carried.availableSelectionConfigurations.clear();
  carried.initialOriginalDuplicateID = newOriginal;
  carried.duplicatesMonitorState.reset();
  carried.reclaimableSize = 0;  // what could be freed was freed
  return carried;
}

}  // namespace zarnik
