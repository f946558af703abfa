// Removing one file or folder the way the user chose (to the trash, permanently, or into a
// folder), optionally replacing it with a hard link to the kept original, and saying exactly
// what was done so that it can be recorded and reverted.
//
// Before anything is touched the copy is checked: it must still be what the scan saw (same size
// and modification time) and, for files, hold the same bytes as the kept original from start
// to end. Any difference fails the item and leaves it in place.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/result.h"
#include "file_model/base_node.h"
#include "selection/selection_rules.h"

namespace zarnik {

struct CleaningMovedAction {
  std::optional<std::string> destination;
};
struct CleaningMovedToTrashAction {
  std::optional<std::string> destination;  // the item inside the trash
  std::optional<std::string> trashInfo;    // its info file
};
struct CleaningRemovedAction {};
struct CleaningReplacedWithHardlinkAction {
  std::int64_t identifierOfDuplicateReplacedWith = 0;
  std::optional<std::string> destinationURL;  // the original the link points to
};
using CleaningAction =
    std::variant<CleaningMovedAction, CleaningMovedToTrashAction, CleaningRemovedAction, CleaningReplacedWithHardlinkAction>;

struct CleaningItem {
  std::int64_t identifier = 0;
  std::shared_ptr<const ZKBaseNode> node;
  // The group's kept original, when the group has one: compared against, linked to.
  std::int64_t originalIdentifier = 0;
  std::shared_ptr<const ZKBaseNode> original;
};

struct CleaningItemOutcome {
  std::vector<CleaningAction> actions;
  // Why a wanted replacement by a hard link was not made (the copy is removed all the same).
  std::optional<std::string> note;
};

class DefaultCleaningPolicy {
 public:
  // The copy's checks, then the removal by `option`, then the hard link when asked for.
  [[nodiscard]] Result<CleaningItemOutcome> perform(const CleaningItem& item, const FileCleaningOption& option,
                                                    bool replaceWithHardLink) const;

  // The checks alone: the copy is as scanned and, when there is an original, equal to it.
  [[nodiscard]] static Result<void> verify(const CleaningItem& item);

  // After a copy at `removedPath` went: its folder, when it is now empty and lies inside the scan
  // location (never the location itself, never above it), is removed, and so on upwards. A
  // folder that cannot be removed ends the walk; the failure is logged. The folders removed.
  static std::vector<std::string> cleanEmptyDirectories(const std::string& removedPath, const std::string& scanLocation);
};

}  // namespace zarnik
