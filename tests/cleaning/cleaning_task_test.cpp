// Cleanings and reverts as tasks of the cleaning service, on stored results of a real scan:
// what is counted and reported, cancellation between copies, fake removals, per-volume options,
// failed reverts kept on the copy's note, and tasks running one after another.
#include "support/manual_clock.h"
#include "support/stored_scan.h"
#include "support/test_dir.h"

#include "cleaning/cleaning_error.h"
#include "cleaning/cleaning_service.h"
#include "detection/duplicates_detection_results.h"
#include "foundation/logger.h"
#include "platform/mounts.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace zarnik {
namespace {

using testing::contentsOf;
using testing::ManualClock;
using testing::TestDir;

bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

class CleaningTaskTest : public testing::StoredScanTest {
 protected:
  CleaningService service;

  // `groups` groups of two equal files ("g<i>/a.txt" and "g<i>/b.txt"), scanned and stored with
  // the scan's proposal: one copy of each group selected.
  void scanGroups(int groups) {
    for (int i = 0; i < groups; ++i) {
      const std::string content = "content of group " + std::to_string(i);
      dir.file("tree/g" + std::to_string(i) + "/a.txt", content);
      dir.file("tree/g" + std::to_string(i) + "/b.txt", content);
    }
    store(dir / "tree", true);  // the two copies tie
  }

  CleaningRequest request(CleaningRules rules = {}) {
    auto made = results->cleaningRequest(std::move(rules), false).wait();
    EXPECT_TRUE(made.hasValue());
    return made.value();
  }

  // Every stored copy's note, by the copy's path as scanned.
  std::map<std::string, std::optional<CleaningNote>> notes() {
    std::map<std::string, std::optional<CleaningNote>> found;
    results
        ->forEachEquivalence([&](const ZKEquivalence& group) {
          for (const auto& copy : group.duplicates)
            found[copy.node()->path()] = cleaningNoteOf(copy);
          return true;
        })
        .wait()
        .value();
    return found;
  }

  size_t filesInPlace(int groups) {
    size_t count = 0;
    for (int i = 0; i < groups; ++i) {
      for (const char* name : {"a.txt", "b.txt"})
        count += exists(dir / ("tree/g" + std::to_string(i) + "/" + name));
    }
    return count;
  }
};

TEST(CleaningResultTest, MergingAddsWhatWasDoneAndKeepsTheLargerTotals) {
  CleaningProgress done{3, 300, 0, 0, 3, 300};
  EXPECT_DOUBLE_EQ(done.fractionCompleted(), 1.0);
  CleaningProgress other{0, 0, 1, 50, 2, 100};
  done.merge(other);
  EXPECT_EQ(done, (CleaningProgress{3, 300, 1, 50, 3, 300}));
  EXPECT_GE(done.fractionCompleted(), 1.0);                       // complete before, complete after
  EXPECT_DOUBLE_EQ(CleaningProgress{}.fractionCompleted(), 1.0);  // nothing to do is done
  EXPECT_DOUBLE_EQ((CleaningProgress{1, 10, 0, 0, 4, 100}).sizeBasedFractionCompleted(), 0.1);

  CleaningResult first;
  first.statistics.count(true, false, 10);
  first.statistics.count(false, true, 7);
  first.cleanedURLs = {"/a"};
  CleaningResult second;
  second.statistics.count(true, true, 5);
  second.didCleanPhotosItems = true;
  second.didCancel = true;
  second.cleaningRules.isFakeRemove = true;
  second.cleanedURLs = {"/b"};
  first.merge(second);
  EXPECT_EQ(first.statistics.numberOfSucceededDuplicates, 1);
  EXPECT_EQ(first.statistics.sizeOfSucceededSimilars, 5);
  EXPECT_EQ(first.statistics.numberOfFailedSimilars, 1);
  EXPECT_EQ(first.statistics.sizeOfFailedSimilars, 7);
  EXPECT_TRUE(first.didCleanPhotosItems);
  EXPECT_TRUE(first.didCancel);
  EXPECT_TRUE(first.cleaningRules.isFakeRemove);
  EXPECT_EQ(first.cleanedURLs, (std::set<std::string>{"/a", "/b"}));
}

TEST_F(CleaningTaskTest, ACleaningOfNothingCompletesAtOnceWithZeroCounters) {
  scanGroups(0);
  auto task = CleaningTask::make(request());
  service.perform(task);
  auto result = task->completionFuture().wait();
  ASSERT_TRUE(result.hasValue());
  EXPECT_EQ(result.value().progress, CleaningProgress{});
  EXPECT_FALSE(result.value().didCancel);
  EXPECT_TRUE(result.value().cleanedURLs.empty());
}

TEST_F(CleaningTaskTest, EachCopyIsReportedCountedAndNoted) {
  scanGroups(3);
  auto task = CleaningTask::make(request());
  std::vector<CleaningReport> reports;
  task->reports().onUpdate(Executor::immediate(),
                           [&](const CleaningReport& report) { reports.push_back(report); });
  service.perform(task);
  auto result = task->completionFuture().wait();
  ASSERT_TRUE(result.hasValue()) << result.error().oneLine();
  EXPECT_EQ(result.value().progress.numberOfItems, 3);
  EXPECT_EQ(result.value().progress.numberOfSuccededItems, 3);
  EXPECT_EQ(result.value().statistics.numberOfSucceededDuplicates, 3);
  EXPECT_EQ(result.value().statistics.sizeOfSucceededDuplicates,
            result.value().progress.sizeOfItems);
  EXPECT_EQ(result.value().cleanedURLs.size(), 3u);
  EXPECT_EQ(filesInPlace(3), 3u);
  size_t emitted = 0;
  for (const auto& report : reports) {
    if (const auto* note = std::get_if<CleaningNoteEmitted>(&report)) {
      ++emitted;
      EXPECT_TRUE(note->note.isSuccessful());
      EXPECT_FALSE(exists(note->path));
      EXPECT_TRUE(result.value().cleanedURLs.count(note->path));
    }
  }
  EXPECT_EQ(emitted, 3u);
  ASSERT_TRUE(std::holds_alternative<CleaningProgress>(reports.back()));
  EXPECT_DOUBLE_EQ(std::get<CleaningProgress>(reports.back()).fractionCompleted(), 1.0);
  for (const auto& [path, note] : notes()) {
    EXPECT_EQ(note.has_value(), !exists(path)) << path;
    if (note) {
      EXPECT_TRUE(std::holds_alternative<CleaningMovedToTrashAction>(note->actions.at(0)));
    }
  }
}

TEST_F(CleaningTaskTest, CancellingAfterTheFirstCopyLeavesTheOthersUntouchedAndUnnoted) {
  scanGroups(3);
  auto task = CleaningTask::make(request());
  // Runs on the task's own turn, so the cancellation lands before the next copy.
  task->reports().onUpdate(Executor::immediate(), [&](const CleaningReport& report) {
    if (std::holds_alternative<CleaningNoteEmitted>(report)) task->cancel();
  });
  service.perform(task);
  auto result = task->completionFuture().wait();
  ASSERT_TRUE(result.hasValue());
  EXPECT_TRUE(result.value().didCancel);
  EXPECT_EQ(result.value().progress.numberOfItems, 3);
  EXPECT_EQ(result.value().progress.numberOfSuccededItems, 1);
  EXPECT_EQ(filesInPlace(3), 5u);
  size_t noted = 0;
  for (const auto& [path, note] : notes()) noted += note.has_value();
  EXPECT_EQ(noted, 1u);
}

TEST_F(CleaningTaskTest, AFakeCleaningTouchesNothingAndTakesItsTimePerCopy) {
  scanGroups(2);
  CleaningRules rules;
  rules.isFakeRemove = true;
  ManualClock clock;
  auto task = CleaningTask::make(request(rules), clock);
  std::atomic<int> emitted{0};
  task->reports().onUpdate(Executor::immediate(), [&](const CleaningReport& report) {
    emitted += std::holds_alternative<CleaningNoteEmitted>(report) ? 1 : 0;
  });
  service.perform(task);
  // The first copy waits for its time: it is not done before.
  service.internalQueue()->sync([] {});  // the task was started ...
  results->queue()->sync([] {});         // ... and its first turn has run and set its timer
  EXPECT_EQ(emitted.load(), 0);
  EXPECT_FALSE(task->completionFuture().isCompleted());
  for (int i = 0; i < 2; ++i) {
    clock.advance(CleaningTask::kFakeRemoveTimeout);
    results->queue()->sync([] {});
    results->queue()->sync([] {});  // the turn that schedules the next copy
  }
  auto result = task->completionFuture().wait();
  ASSERT_TRUE(result.hasValue());
  EXPECT_EQ(result.value().progress.numberOfSuccededItems, 2);
  EXPECT_EQ(emitted.load(), 2);
  EXPECT_EQ(filesInPlace(2), 4u);
  for (const auto& [path, note] : notes()) {
    if (!note) continue;
    EXPECT_TRUE(note->isFakeRemove);
  }
  // Reverting a fake removal has nothing to undo and succeeds.
  auto revert = RevertingTask::make({results->storeAccess(), {}});
  service.perform(revert);
  auto reverted = revert->completionFuture().wait();
  ASSERT_TRUE(reverted.hasValue());
  EXPECT_EQ(reverted.value().revertedDuplicateIDs.size(), 2u);
  EXPECT_EQ(filesInPlace(2), 4u);
}

TEST_F(CleaningTaskTest, AVolumeWithItsOwnOptionIsCleanedThatWay) {
  scanGroups(1);
  const auto volume = mountPointForPath(readMountTable(), dir.path());
  ASSERT_TRUE(volume.has_value());
  CleaningRules rules;  // the trash, except on the test folder's volume
  rules.overriddenCleaningOptionByVolumePath[*volume] = {
      FileCleaningOption::Kind::removePermanently, {}};
  auto task = CleaningTask::make(request(rules));
  service.perform(task);
  auto result = task->completionFuture().wait();
  ASSERT_TRUE(result.hasValue());
  EXPECT_EQ(result.value().progress.numberOfSuccededItems, 1);
  EXPECT_FALSE(exists(data / "data/Trash/files"));
  for (const auto& [path, note] : notes()) {
    if (note) {
      EXPECT_TRUE(std::holds_alternative<CleaningRemovedAction>(note->actions.at(0)));
    }
  }
}

TEST_F(CleaningTaskTest, ACopyThatCannotBeBroughtBackKeepsItsNoteWithTheReason) {
  scanGroups(2);
  auto task = CleaningTask::make(request());
  service.perform(task);
  ASSERT_TRUE(task->completionFuture().wait().hasValue());
  // One trashed copy is emptied from the trash.
  std::string emptied;
  for (const auto& [path, note] : notes()) {
    if (note && emptied.empty()) {
      emptied = path;
      ASSERT_EQ(
          ::unlink(std::get<CleaningMovedToTrashAction>(note->actions.at(0)).destination->c_str()),
          0);
    }
  }
  auto revert = RevertingTask::make({results->storeAccess(), {}});
  std::vector<double> fractions;
  revert->reports().onUpdate(Executor::immediate(),
                             [&](double fraction) { fractions.push_back(fraction); });
  service.perform(revert);
  auto reverted = revert->completionFuture().wait();
  ASSERT_TRUE(reverted.hasValue());
  EXPECT_EQ(reverted.value().revertedDuplicateIDs.size(), 1u);
  ASSERT_EQ(reverted.value().failedDuplicateIDs.size(), 1u);
  EXPECT_EQ(fractions, (std::vector<double>{0.5, 1.0}));
  EXPECT_EQ(filesInPlace(2), 3u);
  const auto kept = notes().at(emptied);
  ASSERT_TRUE(kept.has_value());
  ASSERT_TRUE(kept->reversionError.has_value());
  EXPECT_EQ(kept->reversionError->code,
            static_cast<int>(CleaningErrorCode::destinationUnaccessible));
  EXPECT_EQ(kept->actions.size(), 1u);  // what was done stays on record
  EXPECT_FALSE(exists(emptied));
}

TEST_F(CleaningTaskTest, TheServiceRunsOneTaskAtATimeInOrder) {
  scanGroups(1);
  CleaningRules fake;
  fake.isFakeRemove = true;
  ManualClock clock;
  auto cleaning = CleaningTask::make(request(fake), clock);
  auto revert = RevertingTask::make({results->storeAccess(), {}});
  service.perform(cleaning);
  service.perform(revert);
  service.internalQueue()->sync([] {});
  results->queue()->sync([] {});
  // The revert waits for the cleaning, which waits for its clock.
  EXPECT_FALSE(revert->completionFuture().isCompleted());
  clock.advance(CleaningTask::kFakeRemoveTimeout);
  ASSERT_TRUE(cleaning->completionFuture().wait().hasValue());
  auto reverted = revert->completionFuture().wait();
  ASSERT_TRUE(reverted.hasValue());
  EXPECT_EQ(reverted.value().revertedDuplicateIDs.size(), 1u);  // it saw the cleaning's note
}

}  // namespace
}  // namespace zarnik
