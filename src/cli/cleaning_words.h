// What `zarnik clean` tells the user about the ways copies go: each copy's way (to the trash,
// deleted permanently, moved to a folder, replaced by a hard link) from the rules and its volume
// before the cleaning, and from what was recorded after it, counted way by way, so that nothing
// deleted is ever called "moved to the trash".
#pragma once

#include "base/result.h"
#include "base/units.h"
#include "cleaning/cleaning_note.h"
#include "cleaning/cleaning_plan.h"
#include "matching/match_kind.h"
#include "platform/mounts.h"
#include "selection/selection_rules.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zarnik::cli {

// Copies counted by their way, the ways in the order they first came.
class WayCounts {
 public:
  void add(const std::string& way, ByteCount size);
  [[nodiscard]] bool empty() const { return ways_.empty(); }
  [[nodiscard]] size_t numberOfWays() const { return ways_.size(); }
  // "3 copies (1.2 MB) will be deleted permanently, 2 copies (20 KB) moved to the trash", with
  // "will be" or "would be" as `auxiliary`.
  [[nodiscard]] std::string sentence(std::string_view auxiliary) const;
  // "deleted permanently: 3 copies (1.2 MB); moved to the trash: 2 copies (20 KB)"
  [[nodiscard]] std::string list() const;
  // The only way, when there is one.
  [[nodiscard]] std::string onlyWay() const {
    return ways_.size() == 1 ? ways_.front().way : std::string();
  }

 private:
  struct Way {
    std::string way;
    size_t count = 0;
    ByteCount size = 0;
  };
  std::vector<Way> ways_;
};

// "1 copy (3 KB)", "2 copies (6 KB)"
[[nodiscard]] std::string copiesText(size_t count, ByteCount size);

// The way a planned copy of a group of `kind` at `path` will go by `rules`.
[[nodiscard]] std::string plannedWay(const CleaningRules& rules, EquivalenceKind kind,
                                     const std::string& path,
                                     const std::vector<MountEntry>& mounts);
// The way a cleaned copy went, by its note.
[[nodiscard]] std::string doneWay(const CleaningNote& note);

// Whether a copy failed because the trash of its volume cannot be used there at all (no trash
// folder can be made or written), as opposed to a reason of the copy's own (a name too long, a
// change since the scan, no permission to move it), for which deleting is no answer.
[[nodiscard]] bool failedForWantOfATrash(const CleaningNote& note, const std::string& copyPath);

// A folder to move copies into, checked before anything is touched: an absolute path of an
// existing folder (resolved), or an error saying which and why.
[[nodiscard]] Result<std::string> checkedDestinationFolder(const std::string& folder,
                                                           std::string_view option);

}  // namespace zarnik::cli
