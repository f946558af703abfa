// A copy's cleaning note: what can be undone, and that everything a revert and the listing need
// survives the store.
#include "cleaning/cleaning_note.h"

#include <gtest/gtest.h>

#include "cleaning/cleaning_error.h"

namespace zarnik {
namespace {

CleaningNote noteWith(std::vector<CleaningAction> actions) {
  CleaningNote note;
  note.cleanID = 4;
  note.originalPath = "/data/copy.txt";
  note.pending = false;
  note.actions = std::move(actions);
  return note;
}

TEST(CleaningNoteTest, WhatWasDoneDecidesWhetherItCanBeUndone) {
  EXPECT_TRUE(canRevert(CleaningAction(CleaningMovedToTrashAction{"/trash/files/copy.txt", std::nullopt})));
  EXPECT_FALSE(canRevert(CleaningAction(CleaningMovedToTrashAction{})));
  EXPECT_TRUE(canRevert(CleaningAction(CleaningMovedAction{"/aside/copy.txt"})));
  EXPECT_FALSE(canRevert(CleaningAction(CleaningMovedAction{})));
  EXPECT_FALSE(canRevert(CleaningAction(CleaningRemovedAction{})));
  EXPECT_TRUE(canRevert(CleaningAction(CleaningReplacedWithHardlinkAction{1, "/data/original.txt"})));
  EXPECT_FALSE(canRevert(CleaningAction(CleaningReplacedWithHardlinkAction{1, std::nullopt})));

  EXPECT_TRUE(noteWith({CleaningMovedToTrashAction{"/trash/files/copy.txt", std::nullopt}}).canRevert());
  EXPECT_FALSE(noteWith({CleaningRemovedAction{}}).canRevert());
  // Removed, then a hard link in its place: the copy can get its own bytes back.
  EXPECT_TRUE(noteWith({CleaningRemovedAction{}, CleaningReplacedWithHardlinkAction{1, "/data/original.txt"}}).canRevert());
  auto failed = noteWith({});
  failed.error = cleaningError(CleaningErrorCode::sourceInvalid, "/data/copy.txt", "it changed after the scan");
  EXPECT_FALSE(failed.canRevert());
  EXPECT_FALSE(failed.isSuccessful());
  auto cutOff = noteWith({});
  cutOff.pending = true;
  EXPECT_TRUE(cutOff.canRevert());  // may be in the trash
  cutOff.option.kind = FileCleaningOption::Kind::removePermanently;
  EXPECT_FALSE(cutOff.canRevert());
}

TEST(CleaningNoteTest, FailuresAndFakeRemovalsSurviveTheStore) {
  auto note = noteWith({CleaningMovedToTrashAction{"/trash/files/copy.txt", "/trash/info/copy.txt.trashinfo"}});
  note.isFakeRemove = true;
  note.reversionError = cleaningError(CleaningErrorCode::destinationUnaccessible, "/trash/files/copy.txt", "gone");
  note.note = "not replaced by a hard link";
  auto decoded = CleaningNote::decode(note.encode());
  ASSERT_TRUE(decoded.has_value());
  EXPECT_TRUE(decoded->isFakeRemove);
  ASSERT_TRUE(decoded->reversionError.has_value());
  EXPECT_EQ(*decoded->reversionError, *note.reversionError);
  EXPECT_EQ(decoded->reversionError->path, "/trash/files/copy.txt");
  EXPECT_EQ(decoded->reversionError->underlying, "gone");
  EXPECT_EQ(decoded->note, note.note);
  EXPECT_FALSE(decoded->error.has_value());

  ZKDuplicate copy;
  auto failed = noteWith({});
  failed.error = cleaningError(CleaningErrorCode::sourceMissing, "/data/copy.txt");
  setCleaningNote(copy, failed);
  EXPECT_EQ(copy.cleanID, 4);
  EXPECT_FALSE(isCleaned(copy));  // still in place: it may be cleaned again
  setCleaningNote(copy, noteWith({CleaningRemovedAction{}}));
  EXPECT_TRUE(isCleaned(copy));
  setCleaningNote(copy, std::nullopt);
  EXPECT_FALSE(copy.cleanID.has_value());
  EXPECT_FALSE(isCleaned(copy));
}

}  // namespace
}  // namespace zarnik
