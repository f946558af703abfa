#include "cleaning/cleaning_reverter.h"

#include <cerrno>

#include <fmt/format.h>

#include "base/byte_path.h"
#include "base/path_components.h"
#include "cleaning/cleaning_error.h"
#include "cleaning/cleaning_recovery.h"
#include "cleaning/default_cleaning_policy.h"
#include "platform/file_comparison.h"
#include "platform/trash.h"

namespace zarnik {
namespace {

struct Located {
  Entry entry;
  EntryFacts facts;
};

// The item at `path`; an error that says what is wrong with reaching it otherwise.
Result<std::optional<Located>> locate(const std::string& path) {
  auto entry = entryWithoutLinks(path);
  if (entry.hasError()) {
    if (isLinkInPath(entry.error())) {
      return cleaningError(CleaningErrorCode::sourceInvalid, path, "a symbolic link now stands in its path");
    }
    if (entry.error().code == ENOENT) return std::optional<Located>();
    return entry.error();
  }
  auto facts = factsOf(entry.value());
  if (facts.hasError()) {
    if (facts.error().code == ENOENT) return std::optional<Located>();
    return facts.error();
  }
  return std::optional<Located>(Located{std::move(entry.value()), facts.value()});
}

bool holdsTheCopy(const Located& item, const CleaningNote& note) { return holdsRecordedCopy(item.entry, item.facts, note); }

// A temporary entry beside `path` for a copy being written, cleared of what a revert cut off
// may have left there.
Result<Entry> temporaryBeside(const std::string& path, std::int64_t cleanID) {
  ZK_ASSIGN_OR_RETURN(Entry entry, entryWithoutLinks(partialPathFor(path, cleanID, 0)));
  if (factsOf(entry).hasValue()) ZK_TRY(removeTree(entry));
  return entry;
}

// The copy's place, free, with the folders above it made again as they were.
Result<Entry> freePlace(const CleaningNote& note) {
  const std::string& path = note.originalPath;
  ZK_TRY(makeMissingFolders(path, note.folders));
  ZK_ASSIGN_OR_RETURN(const auto existing, locate(path));
  if (existing) {
    return cleaningError(CleaningErrorCode::revertImpossible, path, "another item is at that place now; it was left as it is");
  }
  return entryWithoutLinks(path);
}

// Brings the copy back from `from` (the trash or the move's folder), across file systems by a
// checked copy with its metadata.
Result<void> bringBack(const Located& from, const CleaningNote& note) {
  ZK_ASSIGN_OR_RETURN(const Entry place, freePlace(note));
  auto moved = renameWithoutReplacing(from.entry, place);
  if (moved.hasValue()) return success();
  if (moved.error().code != EXDEV) return moved.error();
  ZK_ASSIGN_OR_RETURN(const Entry partial, temporaryBeside(note.originalPath, note.cleanID));
  ZK_TRY(copyWithMetadata(from.entry, partial));
  ZK_ASSIGN_OR_RETURN(auto written, locate(partial.path()));
  if (!written || (note.digest && !holdsTheCopy(*written, note))) {
    (void)removeTree(partial);
    return cleaningError(CleaningErrorCode::revertImpossible, note.originalPath, "the copy written back differs");
  }
  if (auto named = renameWithoutReplacing(partial, place); named.hasError()) {
    (void)removeTree(partial);
    return named.error();
  }
  (void)removeTree(from.entry);
  return success();
}

Result<void> revertMove(const std::optional<std::string>& destination, const CleaningNote& note, bool fromTrash) {
  if (!destination) return cleaningError(CleaningErrorCode::destinationInvalid, note.originalPath);
  ZK_ASSIGN_OR_RETURN(const auto moved, locate(*destination));
  if (!moved) {
    return cleaningError(CleaningErrorCode::destinationUnaccessible, *destination,
                         fromTrash ? "it is no longer in the trash" : "it is no longer there");
  }
  if (!holdsTheCopy(*moved, note)) {
    return cleaningError(CleaningErrorCode::revertImpossible, *destination,
                         "the item there now is not the cleaned copy; it was left there");
  }
  ZK_TRY(bringBack(*moved, note));
  if (fromTrash) {
    if (auto info = entryWithoutLinks(trashInfoPathFor(*destination)); info.hasValue()) (void)removeEntry(info.value());
  }
  return success();
}

// A hard link to the kept copy becomes a file of its own again: a copy of the same bytes, with
// the cleaned copy's own mode, owner, times and extended attributes, renamed over the link.
Result<void> revertHardLink(const CleaningReplacedWithHardlinkAction& link, const CleaningNote& note) {
  const std::string& path = note.originalPath;
  ZK_ASSIGN_OR_RETURN(const auto atPlace, locate(path));
  if (!atPlace) return cleaningError(CleaningErrorCode::sourceMissing, path, "the hard link is no longer there");
  std::optional<FileId> kept = note.keptIdentity;
  if (!kept && link.destinationURL) {
    ZK_ASSIGN_OR_RETURN(const auto original, locate(*link.destinationURL));
    if (original) kept = original->facts.identity;
  }
  if (!kept || atPlace->facts.identity != *kept) {
    return cleaningError(CleaningErrorCode::revertImpossible, path, "it is no longer the hard link that was made; it was left as it is");
  }
  ZK_ASSIGN_OR_RETURN(const Entry copy, temporaryBeside(path, note.cleanID));
  ZK_TRY(copyWithMetadata(atPlace->entry, copy));
  EntryMetadata metadata = note.metadata.value_or(EntryMetadata{});
  if (!note.metadata) {
    metadata = {atPlace->facts.mode, atPlace->facts.owner, atPlace->facts.group, std::nullopt, note.modificationDate, {}};
  }
  (void)applyMetadata(copy, metadata);
  ZK_ASSIGN_OR_RETURN(const auto written, locate(copy.path()));
  if (!written || (note.digest && !holdsTheCopy(*written, note))) {
    (void)removeTree(copy);
    return cleaningError(CleaningErrorCode::revertImpossible, path, "the copy written back differs");
  }
  if (auto replaced = renameReplacing(copy, atPlace->entry); replaced.hasError()) {
    (void)removeTree(copy);
    return replaced.error();
  }
  return success();
}

}  // namespace

Result<std::string> revertCleaning(const CleaningNote& note) {
  const std::string& original = note.originalPath;
  if (note.reverted || note.isFakeRemove) return original;  // a fake removal left the copy in place
  if (note.pending) {
    return cleaningError(CleaningErrorCode::revertImpossible, original, "its cleaning was cut off and is not settled yet");
  }
  // A revert cut off may have brought the copy back already.
  if (note.revertPending && isBackInPlace(note)) return original;
  for (auto action = note.actions.rbegin(); action != note.actions.rend(); ++action) {
    if (const auto* link = std::get_if<CleaningReplacedWithHardlinkAction>(&*action)) {
      ZK_TRY(revertHardLink(*link, note));
      if (std::next(action) != note.actions.rend() && std::holds_alternative<CleaningRemovedAction>(*std::next(action))) {
        ++action;  // the removal the link followed is undone by the copy made anew
      }
    } else if (const auto* trashed = std::get_if<CleaningMovedToTrashAction>(&*action)) {
      ZK_TRY(revertMove(trashed->destination, note, true));
    } else if (const auto* moved = std::get_if<CleaningMovedAction>(&*action)) {
      ZK_TRY(revertMove(moved->destination, note, false));
    } else {
      return cleaningError(CleaningErrorCode::revertImpossible, original, "it was deleted permanently");
    }
  }
  return original;
}

}  // namespace zarnik
