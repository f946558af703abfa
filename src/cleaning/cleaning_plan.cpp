#include "cleaning/cleaning_plan.h"

#include <algorithm>

#include "cleaning/cleaning_note.h"

namespace zarnik {
namespace {

bool goes(const ZKEquivalence& group, const ZKDuplicate& copy) { return group.isSelected(copy) && !isCleaned(copy); }

}  // namespace

ByteCount CleaningPlan::size() const {
  ByteCount total = 0;
  for (const auto& item : items) total += item.size;
  return total;
}

Result<ZKDuplicate*> fetchedCopy(ManagedObjectContext& context, std::optional<ZKEquivalence>& group,
                                 std::int64_t equivalenceID, std::int64_t duplicateID) {
  if (!group || group->uniqueIdentifier != equivalenceID) {
    ZK_ASSIGN_OR_RETURN(group, context.fetchEquivalence(equivalenceID));
  }
  return group ? group->duplicate(duplicateID) : nullptr;
}

const ZKDuplicate* keptCopy(const ZKEquivalence& group) {
  if (!group.currentSelectionConfiguration) return nullptr;
  const auto stays = [&](const ZKDuplicate& copy) { return !group.isSelected(copy) && !isCleaned(copy); };
  if (const auto* original = group.duplicate(group.currentSelectionConfiguration->originalID); original && stays(*original)) {
    return original;
  }
  for (const auto& copy : group.duplicates) {
    if (stays(copy)) return &copy;
  }
  return nullptr;
}

Result<CleaningPlan> planCleaning(ManagedObjectContext& context, bool removesEveryCopyOfAGroup) {
  CleaningPlan plan;
  std::int64_t lastCleanID = 0;
  ZK_TRY(context.forEachEquivalence([&](ZKEquivalence& group) {
    for (const auto& copy : group.duplicates) lastCleanID = std::max(lastCleanID, copy.cleanID.value_or(0));
    if (!group.currentSelectionConfiguration) return true;
    if (keptCopy(group) == nullptr && !removesEveryCopyOfAGroup) {
      if (std::any_of(group.duplicates.begin(), group.duplicates.end(),
                      [&](const ZKDuplicate& copy) { return goes(group, copy); })) {
        plan.groupsLeftWhole.push_back(group.uniqueIdentifier);
      }
      return true;
    }
    for (const auto& copy : group.duplicates) {
      if (!goes(group, copy)) continue;
      PlannedCleaningItem item{group.uniqueIdentifier, copy.identifier, {}, group.memberSize,
                               isSimilar(group.privateEquivalenceKind), std::nullopt};
      if (auto node = copy.node()) {
        item.path = node->path();
        item.size = node->exactSize();  // similar items differ in size: each counts its own
        item.policy = cleaningPolicyOf(*node);
      }
      plan.items.push_back(std::move(item));
    }
    return true;
  }));
  plan.cleanID = lastCleanID + 1;
  // The file system's items first, then each library's: one policy's items are handled together.
  std::stable_sort(plan.items.begin(), plan.items.end(), [](const auto& a, const auto& b) {
    return a.policy.value_or(CleaningPolicy{}) < b.policy.value_or(CleaningPolicy{});
  });
  return plan;
}

}  // namespace zarnik
