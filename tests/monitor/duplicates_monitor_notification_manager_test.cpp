#include "monitor/duplicates_monitor_notification_manager.h"

#include "support/manual_clock.h"
#include "support/notification_recorder.h"
#include "support/private_session_bus.h"
#include "support/test_dir.h"

#include "foundation/logger.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <poll.h>
#include <unistd.h>

namespace zarnik {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Manager = DuplicatesMonitorNotificationManager;
using namespace std::chrono_literals;

constexpr std::int64_t kMB = 1'000'000;
const Date kNow = dateFromSecondsSince1970(1'800'000'000);

// A sender that shows while `available` and fails as when no server answers otherwise.
class FakeSender final : public DesktopNotificationSender {
 public:
  Result<std::uint32_t> show(const DesktopNotification& notification) override {
    ++attempts;
    if (!available) {
      Error error;
      error.domain = std::string(kDesktopNotificationsErrorDomain);
      error.code = static_cast<int>(DesktopNotificationsErrorCode::noServer);
      error.description = "No notification server answers on the session bus";
      return error;
    }
    shown.push_back(notification);
    // As servers do: a replacement keeps the id of the notification it replaces.
    if (notification.replacesId != 0) return notification.replacesId;
    return static_cast<std::uint32_t>(shown.size());
  }
  void setEventHandler(NotificationEventHandler h) override { handler = std::move(h); }
  void processPending() override {}
  Result<void> showInFileManager(const std::string& path) override {
    revealed.push_back(path);
    return success();
  }

  bool available = true;
  int attempts = 0;
  std::vector<DesktopNotification> shown;
  std::vector<std::string> revealed;
  NotificationEventHandler handler;
};

class FakeSettings final : public DuplicatesNotificationSettings {
 public:
  bool isDuplicatesNotificationEnabled() const override { return enabled; }
  Date lastDuplicatesNotificationDate() const override { return last; }
  void setLastDuplicatesNotificationDate(Date date) override { last = date; }

  bool enabled = true;
  Date last = Date::min();
};

RecentDuplicate duplicate(std::int64_t id, std::string path, std::int64_t size) {
  RecentDuplicate d;
  d.id = id;
  d.path = std::move(path);
  d.name = d.path.substr(d.path.rfind('/') + 1);
  d.size = size;
  return d;
}

RecentDuplicatesInfo batch(std::int64_t count, std::int64_t size) {
  RecentDuplicatesInfo info;
  for (std::int64_t i = 1; i <= count; ++i) {
    info.newDuplicates.push_back(
        duplicate(i, "/home/ann/Music/track" + std::to_string(i) + ".mp3", size / count));
    info.newIDs.push_back(i);
  }
  info.newCount = count;
  info.newSize = size;
  return info;
}

TEST(NotificationDecision, WithAThresholdTwoNewDuplicatesNeverNotify) {
  const Manager::Threshold threshold{10 * kMB, 3, 3600};
  EXPECT_FALSE(Manager::shouldNotify(batch(2, 500 * kMB), true, threshold, Date::min(), kNow));
}

TEST(NotificationDecision, WithAThresholdFourLargeDuplicatesNotifyOnlyAnHourAfterTheLast) {
  const Manager::Threshold threshold{10 * kMB, 3, 3600};
  const auto info = batch(4, 20 * kMB);
  EXPECT_TRUE(Manager::shouldNotify(info, true, threshold, kNow - 2h, kNow));
  EXPECT_FALSE(Manager::shouldNotify(info, true, threshold, kNow - 30min, kNow));
  EXPECT_FALSE(Manager::shouldNotify(batch(4, 8 * kMB), true, threshold, kNow - 2h, kNow));
}

TEST(NotificationDecision, WithoutAThresholdEveryBatchWithANewDuplicateNotifies) {
  EXPECT_TRUE(Manager::shouldNotify(batch(1, 10), true, std::nullopt, kNow - 1s, kNow));
  EXPECT_FALSE(Manager::shouldNotify(batch(0, 0), true, std::nullopt, Date::min(), kNow));
  EXPECT_FALSE(Manager::shouldNotify(batch(5, 50 * kMB), false, std::nullopt, Date::min(), kNow));
}

TEST(NotificationTexts, OneDuplicateIsNamedWithItsFolderUnderTheHomeFolder) {
  RecentDuplicatesInfo info = batch(1, 4'200'000);
  const auto notification = Manager::duplicatesNotification(info, "/home/ann");
  EXPECT_EQ(notification.summary, "New duplicate: track1.mp3");
  EXPECT_EQ(notification.body, "4.2 MB, in ~/Music");
  std::vector<std::string> labels;
  for (const auto& [key, label] : notification.actions) labels.push_back(key + "=" + label);
  EXPECT_THAT(labels, ::testing::IsSupersetOf({"review=Review", "reveal=Show in folder"}));
}

TEST(NotificationTexts, SeveralDuplicatesAreCountedWithTheirSize) {
  const auto notification = Manager::duplicatesNotification(batch(3, 41'200'000), "/home/ann");
  EXPECT_EQ(notification.summary, "3 new duplicates, 41.2 MB");
  EXPECT_THAT(notification.body, HasSubstr("track1.mp3, track2.mp3, track3.mp3"));
  EXPECT_EQ(notification.actions.back(),
            std::make_pair(std::string("review"), std::string("Review")));
  EXPECT_EQ(Manager::duplicatesNotification(batch(5, 5 * kMB), "/home/ann").body.find("…") !=
                std::string::npos,
            true);
}

TEST(NotificationTexts, NewFoldersAreCountedInTheSingularAndThePlural) {
  EXPECT_EQ(Manager::locationsNotification({"/home/ann/Photos"}, "/home/ann").summary,
            "The duplicates monitor watches a new folder");
  const auto two = Manager::locationsNotification({"/home/ann/Photos", "/srv/music"}, "/home/ann");
  EXPECT_EQ(two.summary, "The duplicates monitor watches 2 new folders");
  EXPECT_THAT(two.body, HasSubstr("~/Photos\n/srv/music"));
}

TEST(NotificationTexts, NamesWithMarkupCharactersAreEscapedInTheBody) {
  RecentDuplicatesInfo info = batch(2, 2);
  info.newDuplicates[0].name = "<b>&.txt";
  EXPECT_THAT(Manager::duplicatesNotification(info, "").body, HasSubstr("&lt;b&gt;&amp;.txt"));
}

class NotificationManagerTest : public ::testing::Test {
 protected:
  void SetUp() override { Logger::shared().setFilePath(log_ / "zarnik.log"); }
  void TearDown() override { Logger::shared().setFilePath({}); }

  std::shared_ptr<Manager> make(std::optional<Manager::Threshold> threshold = std::nullopt) {
    Manager::Setup setup;
    setup.sender = sender_;
    setup.settings = settings_;
    setup.threshold = threshold;
    setup.clock = &clock_;
    setup.currentDate = [this] { return now_; };
    setup.markNotified = [this](const std::vector<std::int64_t>& ids) {
      notified_.insert(notified_.end(), ids.begin(), ids.end());
    };
    setup.markViewed = [this](const std::vector<std::int64_t>& ids) {
      viewed_.insert(viewed_.end(), ids.begin(), ids.end());
    };
    setup.homeFolder = "/home/ann";
    return Manager::make(std::move(setup));
  }
  void settle(Manager& manager) {
    manager.queue()->sync([] {});
  }
  void advance(Manager& manager, double seconds) {
    settle(manager);
    clock_.advance(seconds);
    settle(manager);
  }
  size_t loggedLinesContaining(std::string_view text) {
    Logger::shared().flush();
    const std::string log = testing::contentsOf(log_ / "zarnik.log");
    size_t count = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
    return count;
  }

  testing::TestDir log_;
  testing::ManualClock clock_;
  Date now_ = kNow;
  std::shared_ptr<FakeSender> sender_ = std::make_shared<FakeSender>();
  std::shared_ptr<FakeSettings> settings_ = std::make_shared<FakeSettings>();
  std::vector<std::int64_t> notified_;
  std::vector<std::int64_t> viewed_;
};

TEST_F(NotificationManagerTest, ShowsABatchThenMarksItsDuplicatesNotifiedAndNotesTheDate) {
  auto manager = make();
  manager->recentDuplicatesChanged(batch(3, 41'200'000));
  settle(*manager);

  ASSERT_EQ(sender_->shown.size(), 1u);
  EXPECT_EQ(sender_->shown[0].summary, "3 new duplicates, 41.2 MB");
  EXPECT_THAT(notified_, ElementsAre(1, 2, 3));
  EXPECT_EQ(settings_->last, kNow);
}

TEST_F(NotificationManagerTest, ShowsNothingWhenNotificationsAreOff) {
  settings_->enabled = false;
  auto manager = make();
  manager->recentDuplicatesChanged(batch(3, 41'200'000));
  settle(*manager);

  EXPECT_EQ(sender_->attempts, 0);
  EXPECT_TRUE(notified_.empty());
}

TEST_F(NotificationManagerTest, RespectsTheThresholdAgainstTheLastNotification) {
  auto manager = make(Manager::Threshold{10 * kMB, 3, 3600});
  settings_->last = kNow - 30min;
  manager->recentDuplicatesChanged(batch(4, 20 * kMB));
  settle(*manager);
  EXPECT_TRUE(sender_->shown.empty());

  now_ = kNow + 31min;
  manager->recentDuplicatesChanged(batch(4, 20 * kMB));
  settle(*manager);
  EXPECT_EQ(sender_->shown.size(), 1u);
}

TEST_F(NotificationManagerTest, DefersANotificationThatCannotBeShownAndRetriesFiveSecondsLater) {
  sender_->available = false;
  auto manager = make();
  manager->recentDuplicatesChanged(batch(2, 2 * kMB));
  settle(*manager);
  EXPECT_TRUE(notified_.empty());

  sender_->available = true;
  advance(*manager, 4.9);
  EXPECT_TRUE(sender_->shown.empty());
  advance(*manager, 0.2);

  ASSERT_EQ(sender_->shown.size(), 1u);
  EXPECT_EQ(sender_->shown[0].summary, "2 new duplicates, 2 MB");
  EXPECT_THAT(notified_, ElementsAre(1, 2));
}

TEST_F(NotificationManagerTest, ANewerBatchReplacesTheOneWaitingAndItsPendingRetry) {
  sender_->available = false;
  auto manager = make();
  manager->recentDuplicatesChanged(batch(2, 2 * kMB));
  advance(*manager, 3);
  manager->recentDuplicatesChanged(batch(5, 5 * kMB));
  settle(*manager);
  sender_->available = true;

  advance(*manager, 2.5);  // the first retry was due here
  EXPECT_TRUE(sender_->shown.empty());
  advance(*manager, 3);

  ASSERT_EQ(sender_->shown.size(), 1u);
  EXPECT_EQ(sender_->shown[0].summary, "5 new duplicates, 5 MB");
}

TEST_F(NotificationManagerTest, KeepsRetryingWhileNoServerAnswersAndLogsThatOnce) {
  sender_->available = false;
  auto manager = make();
  manager->recentDuplicatesChanged(batch(2, 2 * kMB));
  for (int i = 0; i < 3; ++i) advance(*manager, 5.1);
  manager->recentDuplicatesChanged(batch(3, 3 * kMB));
  advance(*manager, 5.1);

  EXPECT_GE(sender_->attempts, 4);
  EXPECT_EQ(loggedLinesContaining("No notification server answers"), 1u);
  sender_->available = true;
  advance(*manager, 5.1);
  EXPECT_EQ(sender_->shown.size(), 1u);
}

TEST_F(NotificationManagerTest, WithoutASessionBusLogsOnceAndKeepsWorking) {
  sender_ = nullptr;
  auto manager = make();
  manager->recentDuplicatesChanged(batch(2, 2 * kMB));
  manager->recentDuplicatesChanged(batch(3, 3 * kMB));
  manager->locationsAdded({"/home/ann/Music"});
  advance(*manager, 10);

  EXPECT_EQ(loggedLinesContaining("No session bus"), 1u);
  EXPECT_TRUE(notified_.empty());
}

TEST_F(NotificationManagerTest, TheReviewActionMarksTheShownDuplicatesViewed) {
  auto manager = make();
  manager->recentDuplicatesChanged(batch(1, kMB));
  settle(*manager);
  ASSERT_EQ(sender_->shown.size(), 1u);

  manager->queue()->sync([&] {
    sender_->handler({NotificationEvent::Kind::actionInvoked, 1, "review", 0});
    sender_->handler({NotificationEvent::Kind::actionInvoked, 7, "review", 0});  // not shown
  });

  EXPECT_THAT(viewed_, ElementsAre(1));
}

TEST_F(NotificationManagerTest, ShowInFolderShowsTheSingleDuplicateAndMarksItViewed) {
  auto manager = make();
  manager->recentDuplicatesChanged(batch(1, kMB));
  settle(*manager);

  manager->queue()->sync([&] {
    sender_->handler({NotificationEvent::Kind::actionInvoked, 1, "reveal", 0});
  });

  EXPECT_THAT(sender_->revealed, ElementsAre("/home/ann/Music/track1.mp3"));
  EXPECT_THAT(viewed_, ElementsAre(1));
}

TEST_F(NotificationManagerTest, ANewBatchReplacesTheBatchStillOnScreen) {
  auto manager = make();
  manager->recentDuplicatesChanged(batch(2, 2 * kMB));
  settle(*manager);
  manager->recentDuplicatesChanged(batch(3, 3 * kMB));
  settle(*manager);
  manager->queue()->sync([&] { sender_->handler({NotificationEvent::Kind::closed, 1, "", 2}); });
  manager->recentDuplicatesChanged(batch(4, 4 * kMB));
  settle(*manager);

  ASSERT_EQ(sender_->shown.size(), 3u);
  EXPECT_EQ(sender_->shown[1].replacesId, 1u);
  EXPECT_EQ(sender_->shown[2].replacesId, 0u);  // the one on screen was closed
}

TEST(PreferencesNotificationSettings, ReadsTheSwitchAndKeepsTheLastDateInTheSettingsFile) {
  testing::TestDir dir;
  PreferencesLocations locations;
  locations.settingsFile = dir / "settings.json";
  auto opened = PreferencesController::open(locations);
  ASSERT_TRUE(opened.hasValue());
  auto controller = std::move(opened).value();
  ASSERT_TRUE(
      controller->setValue("mixedPreferences.isDuplicatesNotificationEnabled", false).hasValue());
  PreferencesNotificationSettings settings(*controller);

  EXPECT_FALSE(settings.isDuplicatesNotificationEnabled());
  EXPECT_LT(settings.lastDuplicatesNotificationDate(), kNow - std::chrono::hours(24 * 365 * 100));
  settings.setLastDuplicatesNotificationDate(kNow);

  auto reopened = PreferencesController::open(locations);
  ASSERT_TRUE(reopened.hasValue());
  PreferencesNotificationSettings fresh(*reopened.value());
  EXPECT_EQ(std::chrono::round<std::chrono::seconds>(fresh.lastDuplicatesNotificationDate()),
            std::chrono::round<std::chrono::seconds>(kNow));
  EXPECT_FALSE(fresh.isDuplicatesNotificationEnabled());
}

// The whole way: the manager, the sd-bus client and the tests' notification server.
TEST(NotificationManagerOnTheBus, ShowsTheBatchAndRunsTheReviewCommandWhenAskedTo) {
  std::string whyNot;
  auto bus = testing::PrivateSessionBus::start(&whyNot);
  if (!bus) GTEST_SKIP() << whyNot;
  auto recorder = testing::NotificationRecorder::start();
  ASSERT_TRUE(recorder);
  auto client = DesktopNotifications::connect();
  ASSERT_TRUE(client.hasValue());
  std::shared_ptr<DesktopNotifications> sender = std::move(client).value();
  testing::TestDir dir;
  testing::ManualClock clock;
  std::mutex mutex;
  std::vector<std::int64_t> viewed;

  Manager::Setup setup;
  setup.sender = sender;
  setup.settings = std::make_shared<FakeSettings>();
  setup.clock = &clock;
  setup.homeFolder = "/home/ann";
  setup.markViewed = [&](const std::vector<std::int64_t>& ids) {
    std::lock_guard lock(mutex);
    viewed = ids;
  };
  setup.reviewCommand = {"/bin/sh", "-c", "echo reviewed > " + (dir / "review")};
  auto manager = Manager::make(std::move(setup));

  manager->recentDuplicatesChanged(batch(1, 3 * kMB));
  ASSERT_TRUE(recorder->waitForCount(1));
  const auto shown = recorder->received().at(0);
  EXPECT_EQ(shown.summary, "New duplicate: track1.mp3");
  EXPECT_EQ(shown.body, "3 MB, in ~/Music");

  recorder->invokeAction(shown.id, "review");
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  for (;;) {
    pollfd readable{sender->fileDescriptor(), POLLIN, 0};
    ::poll(&readable, 1, 50);
    manager->queue()->sync([&] { sender->processPending(); });
    std::lock_guard lock(mutex);
    if (!viewed.empty() || std::chrono::steady_clock::now() > deadline) break;
  }
  EXPECT_THAT(viewed, ElementsAre(1));
  for (int i = 0; i < 100 && testing::contentsOf(dir / "review").empty(); ++i) ::usleep(20'000);
  EXPECT_EQ(testing::contentsOf(dir / "review"), "reviewed\n");
}

}  // namespace
}  // namespace zarnik

namespace zarnik {
namespace {

TEST(NotificationManagerOnTheBus, WaitsForAServerThatIsNotThereYetAndSaysSoOnce) {
  std::string whyNot;
  auto bus = testing::PrivateSessionBus::start(&whyNot);
  if (!bus) GTEST_SKIP() << whyNot;
  testing::TestDir logFolder;
  Logger::shared().setFilePath(logFolder / "zarnik.log");
  auto client = DesktopNotifications::connect();
  ASSERT_TRUE(client.hasValue());
  testing::ManualClock clock;
  Manager::Setup setup;
  setup.sender = std::move(client).value();
  setup.settings = std::make_shared<FakeSettings>();
  setup.clock = &clock;
  auto manager = Manager::make(std::move(setup));
  auto settle = [&] { manager->queue()->sync([] {}); };

  manager->recentDuplicatesChanged(batch(2, 2 * kMB));
  settle();
  clock.advance(5.1);
  settle();
  manager->recentDuplicatesChanged(batch(3, 3 * kMB));
  settle();
  auto recorder = testing::NotificationRecorder::start();
  ASSERT_TRUE(recorder);
  clock.advance(5.1);
  settle();

  ASSERT_TRUE(recorder->waitForCount(1));
  EXPECT_EQ(recorder->received().size(), 1u);
  EXPECT_EQ(recorder->received()[0].summary, "3 new duplicates, 3 MB");
  Logger::shared().flush();
  const std::string log = testing::contentsOf(logFolder / "zarnik.log");
  const auto first = log.find("No notification server answers");
  EXPECT_NE(first, std::string::npos);
  EXPECT_EQ(log.find("No notification server answers", first + 1), std::string::npos);
  Logger::shared().setFilePath({});
}

}  // namespace
}  // namespace zarnik
