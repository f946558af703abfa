// What a cleaning of the stored results will remove: the selected copies not cleaned yet, group
// by group, and the groups left alone because every copy of them is selected and the user did
// not confirm removing them all. The copy each group keeps is compared against and linked to.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/result.h"
#include "base/units.h"
#include "cleaning/cleaning_policy.h"
#include "store/managed_object_context.h"

namespace zarnik {

struct PlannedCleaningItem {
  std::int64_t equivalenceID = 0;
  std::int64_t duplicateID = 0;
  std::string path;
  ByteCount size = 0;
  bool isSimilar = false;
  std::optional<CleaningPolicy> policy;  // nothing: no policy can remove this item
};

struct CleaningPlan {
  std::int64_t cleanID = 1;  // one more than any cleaning recorded in the store
  std::vector<PlannedCleaningItem> items;  // items of one policy together, groups in store order
  std::vector<std::int64_t> groupsLeftWhole;

  [[nodiscard]] ByteCount size() const;
};

[[nodiscard]] Result<CleaningPlan> planCleaning(ManagedObjectContext& context, bool removesEveryCopyOfAGroup);

// A stored copy, its group fetched unless it is the one in `group` already (copies of one group
// are handled one after another); nothing when either is no longer stored.
[[nodiscard]] Result<ZKDuplicate*> fetchedCopy(ManagedObjectContext& context, std::optional<ZKEquivalence>& group,
                                               std::int64_t equivalenceID, std::int64_t duplicateID);

// The copy a group keeps and the others are compared against: its original when that stays,
// else the first copy that stays; nothing when every copy goes.
[[nodiscard]] const ZKDuplicate* keptCopy(const ZKEquivalence& group);

}  // namespace zarnik
