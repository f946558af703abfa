// The record of one copy's cleaning, kept with the copy in the results store: when and how it
// was removed and what exactly was done, so that the cleaning can be shown and reverted. A note
// is written as pending before the copy is touched and completed after, so that a cleaning cut
// off at any moment leaves every copy either in place or accounted for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/date.h"
#include "base/json.h"
#include "cleaning/cleaning_action.h"
#include "platform/guarded_files.h"
#include "selection/selection_rules.h"
#include "store/file_model_entities.h"

namespace zarnik {

struct CleaningNote {
  std::int64_t cleanID = 0;
  Date date{};
  std::string originalPath;  // where the copy was
  std::optional<Date> modificationDate;  // the copy's, as scanned: given back to a copy made anew
  FileCleaningOption option;
  bool pending = true;  // the copy was about to be removed; what happened is not known
  // Written with the pending note, before anything is touched, so that a cleaning cut off at any
  // moment can be settled by looking at the file system: the names the copy may stand under,
  // what it was and what it held.
  std::optional<std::string> stagedPath;   // the copy moved aside, beside itself, before it goes
  std::optional<std::string> deletingPath;  // a folder being deleted, renamed so before it starts
  std::optional<std::string> linkPath;     // a hard link to the kept copy made beside the copy
  std::optional<std::string> destinationPath;  // where a move takes the copy
  std::optional<std::string> partialPath;  // a copy being written on another file system
  std::optional<std::string> keptPath;
  std::optional<FileId> copyIdentity;
  std::optional<FileId> keptIdentity;
  bool isFolder = false;
  ByteCount size = 0;
  std::optional<std::string> digest;  // SHA-1 of a file's whole content, to know it again
  std::optional<EntryMetadata> metadata;
  RecordedFolders folders;  // the folders above the copy inside its scanned folder
  bool revertPending = false;  // a revert began and may have been cut off
  std::vector<CleaningAction> actions;
  std::optional<std::string> note;
  bool reverted = false;
  bool isFakeRemove = false;  // a trial: nothing was touched
  // Set when the copy could not be removed (it stayed in place), or when a later revert of a
  // removal failed (the actions stay, to show what was done and why it could not be undone).
  std::optional<Error> error;
  std::optional<Error> reversionError;

  [[nodiscard]] bool isSuccessful() const { return !pending && !error; }
  [[nodiscard]] Json encode() const;
  static std::optional<CleaningNote> decode(const Json& archive);
  // Whether the removal can be undone: everything but a permanent removal.
  [[nodiscard]] bool canRevert() const;
};

// Whether a copy is gone (or may be gone, for a cleaning cut off while it was being removed):
// a copy whose removal failed is still in place and can be cleaned again.
[[nodiscard]] bool isCleaned(const ZKDuplicate& duplicate);

// A stored copy's note (nothing when it has none or it cannot be read), and setting it: the copy's
// cleaning identifier follows the note.
[[nodiscard]] std::optional<CleaningNote> cleaningNoteOf(const ZKDuplicate& duplicate);
void setCleaningNote(ZKDuplicate& duplicate, const std::optional<CleaningNote>& note);

// Whether one action can be undone: a move or a trashing when its destination is known, a hard
// link when the original it points to is known; a permanent removal never.
[[nodiscard]] bool canRevert(const CleaningAction& action);

[[nodiscard]] Json encodeAction(const CleaningAction& action);
[[nodiscard]] std::optional<CleaningAction> decodeAction(const Json& archive);

}  // namespace zarnik
