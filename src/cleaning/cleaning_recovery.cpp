#include "cleaning/cleaning_recovery.h"

#include "base/byte_path.h"
#include "cleaning/cleaning_error.h"
#include "foundation/logger.h"
#include "platform/trash.h"

namespace zarnik {
namespace {

struct Found {
  Entry entry;
  EntryFacts facts;
};

std::optional<Found> found(const std::optional<std::string>& path) {
  if (!path) return std::nullopt;
  auto entry = entryWithoutLinks(*path);
  if (entry.hasError()) return std::nullopt;
  auto facts = factsOf(entry.value());
  if (facts.hasError()) return std::nullopt;
  return Found{std::move(entry.value()), facts.value()};
}

bool is(const std::optional<Found>& item, const std::optional<FileId>& identity) {
  return item && identity && item->facts.identity == *identity;
}

bool holdsTheCopy(const std::optional<Found>& item, const CleaningNote& note) {
  return item && holdsRecordedCopy(item->entry, item->facts, note);
}

// A copy written to another file system takes the destination's name only once it is complete
// and checked.
bool isCompleteAtDestination(const CleaningNote& note) {
  if (note.option.kind != FileCleaningOption::Kind::moveToFolder) return false;
  const auto destination = found(note.destinationPath);
  if (!destination) return false;
  if (note.isFolder) return destination->facts.type == FileResourceType::directory;
  return holdsTheCopy(destination, note);
}

void fail(CleaningNote& note, const std::string& why) {
  note.error = cleaningError(CleaningErrorCode::undefined, note.originalPath, why);
}

void succeed(CleaningNote& note, std::vector<CleaningAction> actions) {
  note.actions = std::move(actions);
  note.note = "the cleaning was cut off; finished when the results were next opened";
}

void settleHardLink(CleaningNote& note) {
  if (auto link = found(note.linkPath); is(link, note.keptIdentity)) (void)removeEntry(link->entry);
  const auto atPlace = found(note.originalPath);
  if (is(atPlace, note.keptIdentity)) {
    succeed(note, {CleaningRemovedAction{}, CleaningReplacedWithHardlinkAction{0, note.keptPath}});
  } else if (is(atPlace, note.copyIdentity)) {
    fail(note, "the cleaning was cut off before this copy was replaced; it is in place");
  } else {
    fail(note, "the cleaning was cut off and this copy is not at its place");
  }
}

// The copy was moved aside and may be on its way: put back unless its removal had begun.
void putBack(CleaningNote& note, Found& staged) {
  if (auto partial = found(note.partialPath)) (void)removeTree(partial->entry);
  if (note.option.kind == FileCleaningOption::Kind::moveToTrash) discardTrashInfoWithoutItem(note.originalPath);
  auto place = entryWithoutLinks(note.originalPath);
  auto back = place.hasValue() ? renameWithoutReplacing(staged.entry, place.value()) : Result<void>(place.error());
  if (back.hasError()) {
    fail(note, "the cleaning was cut off; the copy is kept at " + displayPath(staged.entry.path()) +
                   " (" + back.error().oneLine() + ")");
    return;
  }
  fail(note, "the cleaning was cut off before this copy was removed; it was put back");
}

}  // namespace

void settleCutOffCleaning(CleaningNote& note) {
  note.pending = false;
  note.actions.clear();
  if (note.linkPath) {
    settleHardLink(note);
  } else if (auto staged = found(note.stagedPath); is(staged, note.copyIdentity)) {
    if (isCompleteAtDestination(note)) {
      // A move across file systems that was cut off only while it removed the source.
      (void)removeTree(staged->entry);
      succeed(note, {CleaningMovedAction{note.destinationPath}});
    } else {
      putBack(note, *staged);
    }
  } else if (auto deleting = found(note.deletingPath)) {
    auto removed = removeTree(deleting->entry);
    if (removed.hasError()) {
      fail(note, "the deletion was cut off; what is left is at " + displayPath(deleting->entry.path()));
    } else {
      succeed(note, {CleaningRemovedAction{}});
    }
  } else if (!note.stagedPath || is(found(note.originalPath), note.copyIdentity)) {
    fail(note, "the cleaning was cut off before this copy was touched; it is in place");
  } else {
    switch (note.option.kind) {
      case FileCleaningOption::Kind::moveToTrash: {
        const auto trashed = trashedItemFor(note.originalPath);
        if (trashed && holdsTheCopy(found(*trashed), note)) {
          succeed(note, {CleaningMovedToTrashAction{*trashed, trashInfoPathFor(*trashed)}});
        } else {
          fail(note, "the cleaning was cut off and this copy is neither at its place nor in the trash");
        }
        break;
      }
      case FileCleaningOption::Kind::removePermanently: succeed(note, {CleaningRemovedAction{}}); break;
      case FileCleaningOption::Kind::moveToFolder:
        if (auto partial = found(note.partialPath)) (void)removeTree(partial->entry);
        if (holdsTheCopy(found(note.destinationPath), note)) {
          succeed(note, {CleaningMovedAction{note.destinationPath}});
        } else {
          fail(note, "the cleaning was cut off and this copy is neither at its place nor at " +
                         displayPath(note.destinationPath.value_or("its destination")));
        }
        break;
    }
  }
  Logger::shared().log("CleaningRecovery", "settleCutOffCleaning",
                       note.error ? note.error->oneLine() : "Settled as done: " + displayPath(note.originalPath));
}

bool holdsRecordedCopy(const Entry& entry, const EntryFacts& facts, const CleaningNote& note) {
  if (!note.copyIdentity && !note.digest) return true;
  if (facts.type != FileResourceType::regular) return note.copyIdentity && facts.identity == *note.copyIdentity;
  if (facts.size != note.size) return false;
  if (!note.digest) return note.copyIdentity && facts.identity == *note.copyIdentity;
  auto digest = digestOfFile(entry, {});
  return digest.hasValue() && digest.value() == *note.digest;
}

Result<void> settleCutOffCleanings(ManagedObjectContext& context) {
  std::vector<std::int64_t> unsettled;
  ZK_TRY(context.forEachEquivalence([&](ZKEquivalence& group) {
    for (const auto& copy : group.duplicates) {
      auto note = cleaningNoteOf(copy);
      if (note && note->pending && !note->isFakeRemove) {
        unsettled.push_back(group.uniqueIdentifier);
        break;
      }
    }
    return true;
  }));
  for (const std::int64_t identifier : unsettled) {
    ZK_ASSIGN_OR_RETURN(auto group, context.fetchEquivalence(identifier));
    if (!group) continue;
    for (auto& copy : group->duplicates) {
      auto note = cleaningNoteOf(copy);
      if (!note || !note->pending) continue;
      settleCutOffCleaning(*note);
      setCleaningNote(copy, note);
    }
    ZK_TRY(context.updateEquivalence(*group));
  }
  return success();
}

bool isBackInPlace(const CleaningNote& note) {
  const auto atPlace = found(note.originalPath);
  if (!atPlace || is(atPlace, note.keptIdentity)) return false;
  if (note.isFolder) return is(atPlace, note.copyIdentity) && atPlace->facts.type == FileResourceType::directory;
  return holdsTheCopy(atPlace, note);
}

}  // namespace zarnik
