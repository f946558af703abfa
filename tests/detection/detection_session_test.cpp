// The detection session: hand-made selection changes with their checks, results kept in the
// session's store with undo and redo, the debounced state file, and restoring after a restart.
#include "support/manual_clock.h"
#include "support/test_dir.h"

#include "cleaning/cleaning_note.h"
#include "detection/duplicates_detection_session.h"
#include "foundation/logger.h"
#include "platform/file_reading.h"
#include "platform/xdg_directories.h"
#include "selection/autoselector.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace zarnik {
namespace {

using testing::ManualClock;
using testing::TestDir;

ZKDuplicate copyWithFlags(std::int64_t identifier, std::uint32_t flags) {
  ZKDuplicate duplicate;
  duplicate.identifier = identifier;
  DuplicateDifferences differences;
  differences.flags = flags;
  duplicate.setDifferences(differences, std::nullopt);
  return duplicate;
}

ZKEquivalence threeCopies() {
  ZKEquivalence group;
  group.uniqueIdentifier = 1;
  const std::uint32_t ordinary =
      DuplicateDifferenceFlag::accessible | DuplicateDifferenceFlag::writable;
  group.duplicates = {copyWithFlags(1, ordinary), copyWithFlags(2, ordinary),
                      copyWithFlags(3, DuplicateDifferenceFlag::accessible)};  // 3 is read-only
  group.initialSelectionConfiguration =
      SelectionConfiguration{SelectionStrategy::automatic, 1, {2}};
  group.currentSelectionConfiguration = group.initialSelectionConfiguration;
  group.availableSelectionConfigurations = {SelectionConfiguration{SelectionStrategy::none, 1, {}},
                                            *group.initialSelectionConfiguration};
  return group;
}

TEST(SelectionChangeTest, StrategiesComeFromWhatTheGroupOffers) {
  const auto group = threeCopies();
  SelectionRequest request;
  request.strategy = SelectionStrategy::none;
  auto none = proposeSelectionChange(group, request);
  ASSERT_TRUE(none.hasValue());
  EXPECT_TRUE(none.value().current.selectedIDs.empty());
  EXPECT_TRUE(none.value().changesAnything());
  request.strategy = SelectionStrategy::older;
  auto older = proposeSelectionChange(group, request);
  ASSERT_TRUE(older.hasError());
  EXPECT_NE(older.error().description.find("does not offer"), std::string::npos);
}

TEST(SelectionChangeTest, CopiesSelectedByHandAreCheckedFirst) {
  const auto group = threeCopies();
  SelectionRequest request;
  request.kind = SelectionRequest::Kind::deselect;
  request.identifiers = {2};
  auto deselected = proposeSelectionChange(group, request);
  ASSERT_TRUE(deselected.hasValue());
  EXPECT_EQ(deselected.value().current.strategy, SelectionStrategy::manual);
  EXPECT_TRUE(deselected.value().current.selectedIDs.empty());
  EXPECT_TRUE(deselected.value().warnings.empty());

  request.kind = SelectionRequest::Kind::select;
  request.identifiers = {3};  // read-only: removing it is denied
  auto denied = proposeSelectionChange(group, request);
  ASSERT_TRUE(denied.hasError());
  EXPECT_NE(denied.error().description.find("Copy 3 cannot be selected"), std::string::npos);

  request.identifiers = {7};
  EXPECT_TRUE(proposeSelectionChange(group, request).hasError());

  // Selecting the last kept copy waits for confirmation.
  auto group2 = threeCopies();
  group2.duplicates.pop_back();
  request.identifiers = {1};
  auto last = proposeSelectionChange(group2, request);
  ASSERT_TRUE(last.hasValue());
  EXPECT_FALSE(last.value().canApply);
  ASSERT_EQ(last.value().warnings.size(), 1u);
  EXPECT_EQ(last.value().warnings.front().warning,
            DuplicateWarning::isLastUnselectedDuplicateOfEquivalence);
  request.confirmsWarnings = true;
  EXPECT_TRUE(proposeSelectionChange(group2, request).value().canApply);
}

TEST(SelectionChangeTest, SelectingASystemFileByHandWaitsForConfirmationAndNamesItsPackage) {
  auto group = threeCopies();
  const std::uint32_t ordinary =
      DuplicateDifferenceFlag::accessible | DuplicateDifferenceFlag::writable;
  DuplicateDifferences differences;
  differences.flags = ordinary;
  group.duplicates[0].setDifferences(
      differences,
      AutoselectionModeDecision{AutoselectionMode::neverSelect,
                                AutoselectionModeReason::installedPackage, "libx11-6"});
  SelectionRequest request;
  request.kind = SelectionRequest::Kind::select;
  request.identifiers = {1};
  auto owned = proposeSelectionChange(group, request);
  ASSERT_TRUE(owned.hasValue()) << owned.error().description;
  EXPECT_FALSE(owned.value().canApply);
  ASSERT_EQ(owned.value().warnings.size(), 1u);
  EXPECT_EQ(owned.value().warnings[0].warning, DuplicateWarning::isSystemFile);
  EXPECT_EQ(owned.value().warnings[0].detail,
            "belongs to package libx11-6: removing it may break that package");
  request.confirmsWarnings = true;
  EXPECT_TRUE(proposeSelectionChange(group, request).value().canApply);
}

class DetectionSessionTest : public ::testing::Test {
 protected:
  TestDir tree;
  TestDir state;
  ManualClock clock;
  OVURLResolver resolver{"/nonexistent-home"};

  void SetUp() override {
    Logger::shared().setConsole(nullptr);
    tree.file("a/one.txt", "first pair");
    tree.file("b/one copy.txt", "first pair");
    tree.file("a/two.txt", "second pair!");
    tree.file("b/two.txt", "second pair!");
  }

  DuplicatesDetectionSpec spec() {
    DuplicatesDetectionSpec spec;
    spec.urlOfStateContainer = state / "session";
    spec.scanningService = std::make_shared<ScanningService>();
    spec.clock = &clock;
    return spec;
  }

  std::shared_ptr<DuplicatesDetectionSession> restore() {
    auto session = DuplicatesDetectionSession::restore(spec()).wait();
    EXPECT_TRUE(session.hasValue()) << session.error().oneLine();
    return session.value();
  }

  template <typename F>
  auto onQueue(DuplicatesDetectionSession& session, F&& work) {
    std::optional<std::invoke_result_t<F>> value;
    session.queue()->sync([&] { value.emplace(work()); });
    return std::move(*value);
  }

  ScanLocationViewModel location(const std::string& path) {
    return {ScanLocation::make(path, resolver), {}, {}, {}};
  }

  // Scans the tree through the session and waits until its results are stored.
  Result<DuplicatesDetectionOutcome> detect(DuplicatesDetectionSession& session) {
    Result<std::shared_ptr<DuplicatesDetection>> started = Error::generic("not started");
    session.queue()->sync([&] {
      session.replaceScanLocations({location(tree.path())});
      auto rules = std::make_shared<ExtendedScanRules>();
      rules->setExactMatchEnabled(true);
      rules->setSizeThresholdOption(SizeThresholdOption::size(0));
      started = session.startDetection(rules, {}, false);
    });
    if (started.hasError()) return started.error();
    auto outcome = started.value()->outcome().wait();
    session.queue()->sync([] {});  // the session has taken the outcome in
    return outcome;
  }
};

TEST_F(DetectionSessionTest, WhatASessionMayDoDependsOnItsLocationsAndItsWork) {
  auto session = restore();
  EXPECT_FALSE(onQueue(*session, [&] { return session->canScan(); }));
  EXPECT_FALSE(onQueue(*session, [&] { return session->canRescan(); }));
  auto started = onQueue(*session, [&] { return session->startDetection(nullptr, {}, false); });
  EXPECT_TRUE(started.hasError());

  ASSERT_TRUE(detect(*session).hasValue());
  EXPECT_TRUE(onQueue(*session,
                      [&] { return std::holds_alternative<ReviewingStatus>(session->status()); }));
  EXPECT_TRUE(onQueue(*session, [&] { return session->canRescan(); }));
  EXPECT_FALSE(onQueue(*session, [&] { return session->canScan(); }));
  session->queue()->sync([&] { session->setCleaningRunning(true); });
  EXPECT_FALSE(onQueue(*session, [&] { return session->canRescan(); }));
  EXPECT_EQ(onQueue(*session, [&] { return session->progressKind(); }), 2);
}

TEST_F(DetectionSessionTest, ChangesWithinThreeSecondsAreWrittenOnce) {
  auto session = restore();
  const std::string file = spec().urlOfStateFile();
  session->queue()->sync([&] { session->addScanLocations({location(tree / "a")}); });
  clock.advance(0.4);
  session->queue()->sync([&] { session->addScanLocations({location(tree / "b")}); });
  clock.advance(0.4);
  session->queue()->sync([&] {
    session->removeScanLocations({ScanLocation::make(tree / "a", resolver)->abbreviatedPath()});
  });
  clock.advance(2.1);
  session->queue()->sync([] {});
  struct stat status {};
  EXPECT_NE(::stat(file.c_str(), &status), 0);  // 2.9 seconds after the first change: not yet
  clock.advance(0.2);
  session->queue()->sync([] {});
  ASSERT_EQ(::stat(file.c_str(), &status), 0);
  const auto written = status.st_mtim;
  clock.advance(10);
  session->queue()->sync([] {});
  ASSERT_EQ(::stat(file.c_str(), &status), 0);
  EXPECT_EQ(status.st_mtim.tv_nsec, written.tv_nsec);  // one write for the three changes

  auto restored = restore();
  const auto locations = onQueue(*restored, [&] { return restored->scanLocations(); });
  ASSERT_EQ(locations.size(), 1u);
  EXPECT_EQ(locations.front().scanLocation->abbreviatedPath(),
            ScanLocation::make(tree / "b", resolver)->abbreviatedPath());
}

TEST_F(DetectionSessionTest, ASessionLetGoBeforeItsChangesAreWrittenLeavesTheClockALiveQueue) {
  auto session = restore();
  session->queue()->sync([&] { session->addScanLocations({location(tree / "a")}); });
  const std::weak_ptr<SerialQueue> queue = session->queue();
  session.reset();
  // The pending write holds the queue it runs on; it runs there and finds the session gone.
  auto kept = queue.lock();
  ASSERT_TRUE(kept);
  clock.advance(DuplicatesDetectionSession::kStoreStateDelay + 1);
  kept->sync([] {});
  struct stat status {};
  EXPECT_NE(::stat(spec().urlOfStateFile().c_str(), &status), 0);
}

TEST_F(DetectionSessionTest, StoredResultsAreReviewedAgainAfterARestartWithTheirHistory) {
  // The group whose copy has a copy word: the scan proposes it, so choosing "none" changes it.
  std::int64_t changedGroup = 0;
  {
    auto session = restore();
    auto outcome = detect(*session);
    ASSERT_TRUE(outcome.hasValue()) << outcome.error().oneLine();
    const auto& found = outcome.value().result->detectionResults;
    ASSERT_EQ(found.size(), 2u);
    for (size_t index = 0; index < found.size(); ++index) {
      for (const auto& duplicate : found[index].equivalence.duplicates) {
        if (duplicate.node->relativePath() == "b/one copy.txt")
          changedGroup = static_cast<std::int64_t>(index) + 1;
      }
    }
    ASSERT_NE(changedGroup, 0);
    auto results = onQueue(*session, [&] { return session->results(); });
    SelectionRequest request;
    request.strategy = SelectionStrategy::none;
    auto changed = results->changeSelection(changedGroup, request).wait();
    ASSERT_TRUE(changed.hasValue()) << changed.error().oneLine();
    ASSERT_TRUE(onQueue(*session, [&] { return session->storeStateNow(); }).hasValue());
  }
  auto session = restore();
  ASSERT_TRUE(onQueue(*session,
                      [&] { return std::holds_alternative<ReviewingStatus>(session->status()); }));
  auto results = onQueue(*session, [&] { return session->results(); });
  ASSERT_NE(results, nullptr);
  std::vector<ZKEquivalence> groups;
  ASSERT_TRUE(results
                  ->forEachEquivalence([&](const ZKEquivalence& group) {
                    groups.push_back(group);
                    return true;
                  })
                  .wait()
                  .hasValue());
  ASSERT_EQ(groups.size(), 2u);
  for (const auto& group : groups) {
    ASSERT_EQ(group.duplicates.size(), 2u);
    EXPECT_NE(group.duplicates.front().node(), nullptr);
  }
  auto first = results->equivalence(changedGroup).wait().value();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->currentSelectionConfiguration->strategy, SelectionStrategy::none);

  // Undo, redo, undo: the history is a stack the three entries move along.
  auto undone = results->undo().wait();
  ASSERT_TRUE(undone.hasValue()) << undone.error().oneLine();
  EXPECT_EQ(results->equivalence(changedGroup).wait().value()->currentSelectionConfiguration,
            first->initialSelectionConfiguration);
  ASSERT_TRUE(results->redo().wait().hasValue());
  EXPECT_EQ(
      results->equivalence(changedGroup).wait().value()->currentSelectionConfiguration->strategy,
      SelectionStrategy::none);
  EXPECT_TRUE(results->redo().wait().hasError());  // nothing undone any more
  auto history = results->activityLog().wait();
  ASSERT_TRUE(history.hasValue());
  ASSERT_EQ(history.value().size(), 3u);
  EXPECT_EQ(history.value()[1].interactionType, ActivityInteractionType::undo);
  EXPECT_LT(history.value()[0].uniqueIdentifier, history.value()[2].uniqueIdentifier);
}

TEST_F(DetectionSessionTest, ASessionCutOffWhileDetectingReviewsItsEarlierResults) {
  DuplicatesDetectionResultsState earlier;
  earlier.activityLogIdentifierAutoincrement = 5;
  DuplicatesDetectionSessionState stored;
  stored.setValueForKey("status", encodeStatus(DetectingStatus{nullptr, earlier}));
  ASSERT_TRUE(xdg::makeDirectories(spec().urlOfStateContainer).hasValue());
  ASSERT_TRUE(writeFileAtomically(spec().urlOfStateFile(), dumpJson(stored.encode())).hasValue());
  auto session = restore();
  EXPECT_TRUE(onQueue(*session, [&] {
    const auto* reviewing = std::get_if<ReviewingStatus>(&session->status());
    return reviewing != nullptr && reviewing->resultsState == earlier;
  }));

  // An unreadable state file is set aside: the session starts anew.
  ASSERT_TRUE(writeFileAtomically(spec().urlOfStateFile(), "{not json").hasValue());
  auto fresh = restore();
  EXPECT_TRUE(onQueue(
      *fresh, [&] { return std::holds_alternative<SelectingLocationsStatus>(fresh->status()); }));
  EXPECT_NE(::access(spec().urlOfStateFile().c_str(), F_OK), 0);
}

// Gives the copy at `relativePath` a cleaning note, in the results' store.
void recordCleaning(DuplicatesDetectionResults& results, const std::string& relativePath,
                    CleaningNote note) {
  auto access = results.storeAccess();
  access.queue->sync([&] {
    std::vector<ZKEquivalence> groups;
    ASSERT_TRUE(access.context
                    ->forEachEquivalence([&](ZKEquivalence& group) {
                      groups.push_back(group);
                      return true;
                    })
                    .hasValue());
    for (auto& group : groups) {
      for (auto& copy : group.duplicates) {
        if (copy.node()->relativePath() != relativePath) continue;
        setCleaningNote(copy, note);
        ASSERT_TRUE(access.context->updateEquivalence(group).hasValue());
        return;
      }
    }
    FAIL() << relativePath;
  });
}

std::vector<ZKEquivalence> storedGroups(DuplicatesDetectionResults& results) {
  std::vector<ZKEquivalence> groups;
  EXPECT_TRUE(results
                  .forEachEquivalence([&](const ZKEquivalence& group) {
                    groups.push_back(group);
                    return true;
                  })
                  .wait()
                  .hasValue());
  return groups;
}

TEST_F(DetectionSessionTest, TheStoreOutlivesADamagedStateAndItsCleaningRecordsOutliveARescan) {
  CleaningNote trashed;
  trashed.cleanID = 1;
  trashed.pending = false;
  trashed.actions = {CleaningMovedToTrashAction{"/trash/files/one copy.txt",
                                                "/trash/info/one copy.txt.trashinfo"}};
  CleaningNote pretended = trashed;
  pretended.isFakeRemove = true;
  {
    auto session = restore();
    ASSERT_TRUE(detect(*session).hasValue());
    auto results = onQueue(*session, [&] { return session->results(); });
    recordCleaning(*results, "b/one copy.txt", trashed);
    recordCleaning(*results, "a/two.txt", pretended);
    ASSERT_TRUE(onQueue(*session, [&] { return session->storeStateNow(); }).hasValue());
  }
  ASSERT_TRUE(writeFileAtomically(spec().urlOfStateFile(), "{\"status\": [").hasValue());

  auto session = restore();
  EXPECT_TRUE(onQueue(*session,
                      [&] { return std::holds_alternative<ReviewingStatus>(session->status()); }));
  EXPECT_TRUE(onQueue(*session, [&] { return session->stateMovedAsideTo().has_value(); }));
  auto results = onQueue(*session, [&] { return session->results(); });
  ASSERT_NE(results, nullptr);
  ASSERT_EQ(storedGroups(*results).size(), 2u);
  // A fake cleaning touched nothing: forgetting it leaves the copy to be cleaned for real.
  EXPECT_EQ(results->forgetTrialCleanings().wait().valueOr(0), 1);
  EXPECT_EQ(results->forgetTrialCleanings().wait().valueOr(-1), 0);

  // The rescan replaces the groups but carries the trashed copy's record over, after the new
  // groups and copies; the pretended one had nothing to keep.
  ASSERT_TRUE(detect(*session).hasValue());
  const auto groups = storedGroups(*results);
  ASSERT_EQ(groups.size(), 3u);
  std::int64_t largestNewCopy = 0;
  const ZKEquivalence* carried = nullptr;
  for (const auto& group : groups) {
    const bool recorded =
        std::any_of(group.duplicates.begin(), group.duplicates.end(),
                    [](const ZKDuplicate& copy) { return copy.cleanID.has_value(); });
    if (recorded) {
      carried = &group;
      continue;
    }
    for (const auto& copy : group.duplicates)
      largestNewCopy = std::max(largestNewCopy, copy.identifier);
  }
  ASSERT_NE(carried, nullptr);
  EXPECT_EQ(carried->uniqueIdentifier, 3);
  ASSERT_EQ(carried->duplicates.size(), 2u);  // the original and the trashed copy
  for (const auto& copy : carried->duplicates) {
    EXPECT_GT(copy.identifier, largestNewCopy);
    ASSERT_NE(copy.node(),
              nullptr);  // its path is read back although the scan locations were replaced
    if (!copy.cleanID) continue;
    EXPECT_EQ(copy.node()->relativePath(), "b/one copy.txt");
    EXPECT_EQ(copy.node()->path(), tree / "b/one copy.txt");
    EXPECT_TRUE(cleaningNoteOf(copy)->canRevert());
  }
  EXPECT_TRUE(carried->currentSelectionConfiguration->selectedIDs.empty());
}

TEST_F(DetectionSessionTest, UndoingBackToEveryCopySelectedWaitsForConfirmation) {
  auto session = restore();
  ASSERT_TRUE(detect(*session).hasValue());
  auto results = onQueue(*session, [&] { return session->results(); });
  const auto group = storedGroups(*results).front();
  SelectionRequest everyCopy;
  everyCopy.kind = SelectionRequest::Kind::select;
  for (const auto& copy : group.duplicates) everyCopy.identifiers.insert(copy.identifier);
  everyCopy.confirmsWarnings = true;
  ASSERT_TRUE(results->changeSelection(group.uniqueIdentifier, everyCopy).wait().hasValue());
  SelectionRequest none;
  none.strategy = SelectionStrategy::none;
  ASSERT_TRUE(results->changeSelection(group.uniqueIdentifier, none).wait().hasValue());

  auto held = results->undo().wait();
  ASSERT_TRUE(held.hasValue());
  EXPECT_FALSE(held.value().proposal.canApply);
  EXPECT_FALSE(held.value().logItem.has_value());
  EXPECT_EQ(results->equivalence(group.uniqueIdentifier)
                .wait()
                .value()
                ->currentSelectionConfiguration->strategy,
            SelectionStrategy::none);
  auto confirmed = results->undo(/*confirmsWarnings=*/true).wait();
  ASSERT_TRUE(confirmed.hasValue());
  EXPECT_TRUE(confirmed.value().logItem.has_value());
  const auto restored =
      results->equivalence(group.uniqueIdentifier).wait().value()->currentSelectionConfiguration;
  for (const auto& copy : group.duplicates)
    EXPECT_TRUE(restored->isSelected(copy.identifier)) << copy.identifier;
}

TEST_F(DetectionSessionTest, AMonitorReviewKeepsFilesOfItsOwn) {
  auto review = spec();
  review.isMonitorReview = true;
  EXPECT_EQ(review.urlOfStateFile(), state / "session/dmreview.state");
  EXPECT_EQ(review.urlOfStateDB(), state / "session/monitor.db");
  EXPECT_EQ(spec().urlOfStateFile(), state / "session/session.state");
  EXPECT_EQ(spec().urlOfStateDB(), state / "session/duplicates.db");
}

}  // namespace
}  // namespace zarnik
