// What was done to one cleaned copy, one value per thing done, kept so that the cleaning can be
// shown and reverted.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

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

}  // namespace zarnik
