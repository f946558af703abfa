// Settling the cleaning of a copy that was cut off (the program killed, the machine stopped)
// between its pending note and its outcome. The pending note names every place the copy may
// stand at; the file system says which one it is, and the note becomes what really happened:
// - still in place, or moved aside and put back: failed, "cut off", the copy can be cleaned again;
// - in the trash, at the destination, replaced by the hard link, or gone after a deletion that
//   began (the kept original was checked equal before anything was touched): succeeded.
// A copy is never reported as removed unless the file is where the note says.
#pragma once

#include "base/result.h"
#include "cleaning/cleaning_note.h"
#include "store/managed_object_context.h"

namespace zarnik {

// `note` must be pending; it is settled in place (no longer pending, error or actions).
void settleCutOffCleaning(CleaningNote& note);

// Settles every pending note of the stored results; called before a cleaning or a revert.
Result<void> settleCutOffCleanings(ManagedObjectContext& context);

// Whether the item at hand holds the copy the note recorded: a folder by its identity (a rename
// keeps it), a file by its size and digest too, since an inode number freed by a deletion is
// soon given to another file. Records older than these facts trust the place alone.
[[nodiscard]] bool holdsRecordedCopy(const Entry& entry, const EntryFacts& facts, const CleaningNote& note);

// A revert cut off: whether the copy is already back at its place as it was cleaned (then the
// revert is complete), looked at before a revert is tried again.
[[nodiscard]] bool isBackInPlace(const CleaningNote& note);

}  // namespace zarnik
