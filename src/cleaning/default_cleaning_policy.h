// Removing one file or folder the way the user chose (to the trash, permanently, into a folder,
// or by replacing it with a hard link to the kept original), and saying exactly what was done
// so that it can be recorded and reverted.
//
// Every path is reached without following a symbolic link. Before anything is touched the copy
// is checked: it must be the item the scan saw (same identity, type, size and modification
// time), it must be another file than the kept original (for folders, no file inside may be
// shared with the kept folder), and, by the group's kind, hold the same bytes as the kept
// original from start to end (exact files and folders) or the same audio data (identical audio).
// Any difference fails the item and leaves it in place.
//
// The removal is two-phase: the copy is first renamed aside, beside itself, the kept original
// is checked again, and only then is the copy trashed, deleted or moved; if the kept original
// went with it (the same file seen through a mount), the copy is put back. A hard link is made
// under a temporary name and renamed over the copy in one step. The names used are stored with
// the pending note before the first change, so that a cleaning cut off at any point can be
// settled by the next run (cleaning_recovery.h).
#pragma once

#include "base/result.h"
#include "cleaning/cleaning_note.h"
#include "file_model/base_node.h"
#include "matching/match_kind.h"
#include "platform/guarded_files.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zarnik {

// How a copy's content is compared with the kept original's before it goes.
enum class ContentCheck { wholeContent, audioData, none };
[[nodiscard]] ContentCheck contentCheckFor(EquivalenceKind kind);

struct CleaningItem {
  std::int64_t identifier = 0;
  std::shared_ptr<const ZKBaseNode> node;
  // The group's kept original, when the group has one: compared against, linked to.
  std::int64_t originalIdentifier = 0;
  std::shared_ptr<const ZKBaseNode> original;
  EquivalenceKind kind = EquivalenceKind::exactHash;
  std::string
      scanLocation;  // the scanned folder holding the copy: the folders below it are recorded
  std::int64_t cleanID = 0;  // names the copy's temporary names
};

struct CleaningItemOutcome {
  std::vector<CleaningAction> actions;
  std::optional<std::string> note;
};

// What a removal needs from the cleaning around it.
struct CleaningSteps {
  // Stores the pending note. Called once the copy passed its checks and before anything is
  // touched; when it fails, nothing is touched.
  std::function<Result<void>(const CleaningNote&)> writeJournal;
  // Asked between blocks of a long comparison: a cleaning stopped meanwhile leaves the copy.
  ContinuePredicate shouldContinue;
};

class DefaultCleaningPolicy {
 public:
  // The checks, the journal, then the removal by `note.option` or the replacement by a hard link.
  // `note` is completed with what the next run needs to settle a cut-off removal.
  [[nodiscard]] Result<CleaningItemOutcome> perform(const CleaningItem& item, CleaningNote& note,
                                                    bool replaceWithHardLink,
                                                    const CleaningSteps& steps) const;

  // After a copy at `removedPath` went: its folder, when it is now empty and lies inside the scan
  // location (never the location itself, never above it), is removed, and so on upwards. A
  // folder that cannot be removed ends the walk; the failure is logged. The folders removed.
  static std::vector<std::string> cleanEmptyDirectories(const std::string& removedPath,
                                                        const std::string& scanLocation);
};

// The temporary names of a copy's cleaning, beside the copy (and in the destination folder).
[[nodiscard]] std::string stagedPathFor(const std::string& path, std::int64_t cleanID,
                                        std::int64_t identifier);
[[nodiscard]] std::string deletingPathFor(const std::string& path, std::int64_t cleanID,
                                          std::int64_t identifier);
[[nodiscard]] std::string linkPathFor(const std::string& path, std::int64_t cleanID,
                                      std::int64_t identifier);
[[nodiscard]] std::string partialPathFor(const std::string& destination, std::int64_t cleanID,
                                         std::int64_t identifier);

}  // namespace zarnik
