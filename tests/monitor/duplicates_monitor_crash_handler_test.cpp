#include "monitor/duplicates_monitor_crash_handler.h"

#include "support/test_dir.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace zarnik {
namespace {

// Each launch opens the settings afresh, as a new monitor process does.
class CrashGuardTest : public ::testing::Test {
 protected:
  std::unique_ptr<PreferencesController> openSettings() {
    PreferencesLocations locations;
    locations.settingsFile = dir_ / "config/settings.json";
    auto controller = PreferencesController::open(locations);
    EXPECT_TRUE(controller.hasValue()) << controller.error().oneLine();
    return std::move(controller).value();
  }
  std::shared_ptr<DuplicatesMonitorCrashHandler> makeHandler() {
    return DuplicatesMonitorCrashHandler::make(
        std::make_unique<SettingsCrashGuardCounterStore>(openSettings()),
        {dir_ / "runtime/zarnik/monitor.running", dir_ / "data/monitor.db"});
  }
  // A launch whose run crashes inside a store operation.
  CrashGuardLaunch launchAndCrashWhileSaving() {
    auto handler = makeHandler();
    auto launch = handler->handleLaunch().wait().value();
    handler->beginStoreOperation();
    return launch;  // the handler goes without ending the operation or the run
  }
  // A launch whose run ends cleanly.
  CrashGuardLaunch launchAndStopCleanly() {
    auto handler = makeHandler();
    auto launch = handler->handleLaunch().wait();
    DuplicatesMonitorCrashHandler::StoreOperation saving(handler);
    handler->handleCleanExit();
    return launch.value();
  }
  void makeStoreFiles() {
    for (const char* name : {"monitor.db", "monitor.db-shm", "monitor.db-wal"})
      dir_.file(std::string("data/") + name, "pages");
  }
  bool storeFileExists(const char* name) { return ::access((dir_ / name).c_str(), F_OK) == 0; }
  std::int64_t storedConsecutiveCrashes() {
    return openSettings()->storage().consecutiveMonitorCrashes();
  }

  testing::TestDir dir_;
};

TEST_F(CrashGuardTest, TwoCrashesInsideStoreOperationsKeepTheStoreAndTheThirdResetsIt) {
  makeStoreFiles();
  EXPECT_FALSE(launchAndCrashWhileSaving().followedCrash);
  EXPECT_TRUE(launchAndCrashWhileSaving().followedCrash);
  const auto second = launchAndCrashWhileSaving();
  EXPECT_FALSE(second.storeWasReset);
  EXPECT_EQ(storedConsecutiveCrashes(), 2);
  EXPECT_TRUE(storeFileExists("data/monitor.db"));

  auto handler = makeHandler();
  const auto third = handler->handleLaunch().wait().value();

  EXPECT_TRUE(third.followedCrash);
  EXPECT_TRUE(third.storeWasReset);
  EXPECT_FALSE(third.message.empty());
  EXPECT_EQ(third.message.find('\n'), std::string::npos);
  EXPECT_FALSE(storeFileExists("data/monitor.db"));
  EXPECT_FALSE(storeFileExists("data/monitor.db-shm"));
  EXPECT_FALSE(storeFileExists("data/monitor.db-wal"));
  EXPECT_EQ(storedConsecutiveCrashes(), 0);
  EXPECT_EQ(openSettings()->storage().ongoingMonitorStoreOperations(), 0);
}

TEST_F(CrashGuardTest, ARegularLaunchBetweenCrashesStartsTheCountAgain) {
  makeStoreFiles();
  launchAndCrashWhileSaving();
  launchAndCrashWhileSaving();
  EXPECT_TRUE(launchAndStopCleanly().followedCrash);
  EXPECT_EQ(storedConsecutiveCrashes(), 2);

  EXPECT_FALSE(launchAndCrashWhileSaving().followedCrash);
  EXPECT_EQ(storedConsecutiveCrashes(), 0);
  launchAndCrashWhileSaving();
  const auto afterTwoMore = makeHandler()->handleLaunch().wait().value();

  EXPECT_FALSE(afterTwoMore.storeWasReset);
  EXPECT_EQ(storedConsecutiveCrashes(), 2);
  EXPECT_TRUE(storeFileExists("data/monitor.db"));
}

TEST_F(CrashGuardTest, ACrashOutsideStoreOperationsIsNotCountedAgainstTheStore) {
  makeStoreFiles();
  launchAndCrashWhileSaving();
  {
    auto handler = makeHandler();  // crashes later, between saves
    EXPECT_TRUE(handler->handleLaunch().wait().value().followedCrash);
  }
  EXPECT_EQ(storedConsecutiveCrashes(), 1);

  const auto launch = makeHandler()->handleLaunch().wait().value();

  EXPECT_TRUE(launch.followedCrash);
  EXPECT_EQ(storedConsecutiveCrashes(), 1);
  EXPECT_TRUE(storeFileExists("data/monitor.db"));
}

TEST_F(CrashGuardTest, NestedStoreOperationsKeepTheCountAboveZeroUntilTheLastEnds) {
  auto handler = makeHandler();
  ASSERT_FALSE(handler->handleLaunch().wait().value().followedCrash);
  ASSERT_TRUE(handler->hasProcessedCrash().wait().hasValue());

  handler->beginStoreOperation();
  handler->beginStoreOperation();
  handler->endStoreOperation();
  EXPECT_GT(openSettings()->storage().ongoingMonitorStoreOperations(), 0);
  handler->endStoreOperation();
  EXPECT_EQ(openSettings()->storage().ongoingMonitorStoreOperations(), 0);
}

TEST_F(CrashGuardTest, AResetCallbackTakesThePlaceOfDeletingTheFiles) {
  makeStoreFiles();
  launchAndCrashWhileSaving();
  launchAndCrashWhileSaving();
  launchAndCrashWhileSaving();
  bool called = false;

  const auto launch = makeHandler()->handleLaunchAfterCrash([&] { called = true; }).wait().value();

  EXPECT_TRUE(called);
  EXPECT_TRUE(launch.storeWasReset);
  EXPECT_TRUE(storeFileExists("data/monitor.db"));
}

}  // namespace
}  // namespace zarnik
