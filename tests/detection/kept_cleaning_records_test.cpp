// Records of cleanings that outlive the results they were made in.
#include "detection/kept_cleaning_records.h"

#include <gtest/gtest.h>

#include "cleaning/cleaning_error.h"
#include "cleaning/cleaning_note.h"

namespace zarnik {
namespace {

ZKDuplicate copyWithNote(std::int64_t identifier, std::optional<CleaningNote> note) {
  ZKDuplicate copy;
  copy.identifier = identifier;
  setCleaningNote(copy, note);
  return copy;
}

CleaningNote noteWith(std::vector<CleaningAction> actions) {
  CleaningNote note;
  note.cleanID = 2;
  note.originalPath = "/data/copy.txt";
  note.pending = false;
  note.actions = std::move(actions);
  return note;
}

const CleaningAction kTrashed = CleaningMovedToTrashAction{"/trash/files/copy.txt", "/trash/info/copy.txt.trashinfo"};

TEST(KeptCleaningRecords, OnlyRecordsOfCopiesThatMayStillComeBackOutliveTheirResults) {
  EXPECT_TRUE(recordMustOutliveResults(copyWithNote(1, noteWith({kTrashed}))));
  EXPECT_TRUE(recordMustOutliveResults(copyWithNote(1, noteWith({CleaningMovedAction{"/aside/copy.txt"}}))));
  EXPECT_TRUE(recordMustOutliveResults(
      copyWithNote(1, noteWith({CleaningRemovedAction{}, CleaningReplacedWithHardlinkAction{7, "/data/original.txt"}}))));
  auto cutOff = noteWith({});
  cutOff.pending = true;  // where the copy is will be known only by looking
  EXPECT_TRUE(recordMustOutliveResults(copyWithNote(1, cutOff)));
  ZKDuplicate unreadable;
  unreadable.cleanID = 3;
  unreadable.cleaningNoteData = "{not a note";
  EXPECT_TRUE(recordMustOutliveResults(unreadable));

  EXPECT_FALSE(recordMustOutliveResults(copyWithNote(1, std::nullopt)));
  EXPECT_FALSE(recordMustOutliveResults(copyWithNote(1, noteWith({CleaningRemovedAction{}}))));
  auto failed = noteWith({});
  failed.error = cleaningError(CleaningErrorCode::sourceInvalid, "/data/copy.txt", "it changed after the scan");
  EXPECT_FALSE(recordMustOutliveResults(copyWithNote(1, failed)));  // still in place
  auto fake = noteWith({kTrashed});
  fake.isFakeRemove = true;
  EXPECT_FALSE(recordMustOutliveResults(copyWithNote(1, fake)));
}

TEST(KeptCleaningRecords, ACarriedGroupHoldsTheRecordedCopiesAndTheOriginalRenumberedWithNothingSelected) {
  ZKEquivalence group;
  group.uniqueIdentifier = 1;
  group.memberSize = 4096;
  group.reclaimableSize = 8192;
  group.duplicates = {copyWithNote(10, std::nullopt), copyWithNote(11, noteWith({kTrashed})),
                      copyWithNote(12, std::nullopt), copyWithNote(13, noteWith({CleaningRemovedAction{}})),
                      copyWithNote(14, noteWith({CleaningRemovedAction{},
                                                 CleaningReplacedWithHardlinkAction{10, "/data/original.txt"}}))};
  group.currentSelectionConfiguration = SelectionConfiguration{SelectionStrategy::automatic, 10, {11, 12, 13, 14}};
  group.initialSelectionConfiguration = group.currentSelectionConfiguration;
  group.availableSelectionConfigurations = {*group.currentSelectionConfiguration};

  CarriedIdentifiers identifiers{5, 100};
  const auto carried = carriedOverGroup(group, identifiers);
  ASSERT_TRUE(carried.has_value());
  EXPECT_EQ(carried->uniqueIdentifier, 5);
  std::vector<std::int64_t> members;
  for (const auto& copy : carried->duplicates) {
    members.push_back(copy.identifier);
    EXPECT_EQ(copy.equivalence, 5);
  }
  EXPECT_EQ(members, (std::vector<std::int64_t>{100, 101, 102}));  // the original, the trashed, the linked
  EXPECT_EQ(identifiers.nextGroup, 6);
  EXPECT_EQ(identifiers.nextCopy, 103);
  ASSERT_TRUE(carried->currentSelectionConfiguration.has_value());
  EXPECT_EQ(carried->currentSelectionConfiguration->originalID, 100);
  EXPECT_TRUE(carried->currentSelectionConfiguration->selectedIDs.empty());
  EXPECT_TRUE(carried->availableSelectionConfigurations.empty());
  EXPECT_EQ(carried->reclaimableSize, 0);
  EXPECT_EQ(carried->memberSize, 4096);

  const auto trashed = cleaningNoteOf(carried->duplicates[1]);
  ASSERT_TRUE(trashed && trashed->actions.size() == 1);
  EXPECT_EQ(std::get<CleaningMovedToTrashAction>(trashed->actions[0]).destination, "/trash/files/copy.txt");
  const auto linked = cleaningNoteOf(carried->duplicates[2]);
  ASSERT_TRUE(linked && linked->actions.size() == 2);
  EXPECT_EQ(std::get<CleaningReplacedWithHardlinkAction>(linked->actions[1]).identifierOfDuplicateReplacedWith, 100);

  ZKEquivalence nothingRecorded = group;
  nothingRecorded.duplicates = {copyWithNote(10, std::nullopt), copyWithNote(13, noteWith({CleaningRemovedAction{}}))};
  EXPECT_FALSE(carriedOverGroup(nothingRecorded, identifiers).has_value());
  EXPECT_EQ(identifiers.nextGroup, 6);
}

}  // namespace
}  // namespace zarnik
