#include "platform/desktop_notifications.h"

#include "support/notification_recorder.h"
#include "support/private_session_bus.h"
#include "support/test_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <poll.h>

namespace zarnik {
namespace {

using ::testing::ElementsAre;
using ::testing::IsSupersetOf;
using testing::NotificationRecorder;
using testing::PrivateSessionBus;

// Reads the bus until `done` holds, for at most five seconds.
bool pumpUntil(DesktopNotifications& client, const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    pollfd readable{client.fileDescriptor(), POLLIN, 0};
    ::poll(&readable, 1, 50);
    client.processPending();
  }
  return true;
}

class DesktopNotificationsOnPrivateBus : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string whyNot;
    bus_ = PrivateSessionBus::start(&whyNot);
    if (!bus_) GTEST_SKIP() << whyNot;
  }

  std::unique_ptr<DesktopNotifications> connect() {
    auto client = DesktopNotifications::connect();
    EXPECT_TRUE(client.hasValue()) << client.error().oneLine();
    return client.hasValue() ? std::move(client).value() : nullptr;
  }

  std::unique_ptr<PrivateSessionBus> bus_;
};

TEST_F(DesktopNotificationsOnPrivateBus, SendsTheNotificationWithItsActionsAndHintsToTheServer) {
  auto recorder = NotificationRecorder::start();
  ASSERT_TRUE(recorder);
  auto client = connect();
  ASSERT_TRUE(client);

  DesktopNotification notification;
  notification.summary = "3 new duplicates, 41.2 MB";
  notification.body = "a.mp3, b.mp3";
  notification.actions = {{"review", "Review"}, {"reveal", "Show in folder"}};
  notification.timeoutMilliseconds = 8000;
  auto id = client->show(notification);

  ASSERT_TRUE(id.hasValue()) << id.error().oneLine();
  const auto received = recorder->received();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].id, id.value());
  EXPECT_EQ(received[0].appName, "Zarnik");
  EXPECT_EQ(received[0].icon, DesktopNotifications::kIconName);
  EXPECT_EQ(received[0].summary, "3 new duplicates, 41.2 MB");
  EXPECT_EQ(received[0].body, "a.mp3, b.mp3");
  EXPECT_THAT(received[0].actions, ElementsAre("review", "Review", "reveal", "Show in folder"));
  EXPECT_THAT(received[0].hintNames, IsSupersetOf({"urgency", "desktop-entry"}));
  EXPECT_EQ(received[0].timeout, 8000);
  EXPECT_EQ(received[0].replacesId, 0u);
}

TEST_F(DesktopNotificationsOnPrivateBus, AsksTheServerToReplaceTheNotificationItNames) {
  auto recorder = NotificationRecorder::start();
  ASSERT_TRUE(recorder);
  auto client = connect();
  ASSERT_TRUE(client);
  auto first = client->show({.summary = "first"});
  ASSERT_TRUE(first.hasValue());

  auto second = client->show({.summary = "second", .replacesId = first.value()});

  ASSERT_TRUE(second.hasValue());
  EXPECT_EQ(second.value(), first.value());
  EXPECT_EQ(recorder->received().at(1).replacesId, first.value());
}

TEST_F(DesktopNotificationsOnPrivateBus, PassesActionsAndClosingsOfItsOwnNotificationsOnly) {
  auto recorder = NotificationRecorder::start();
  ASSERT_TRUE(recorder);
  auto client = connect();
  ASSERT_TRUE(client);
  std::vector<NotificationEvent> events;
  client->setEventHandler([&](const NotificationEvent& event) { events.push_back(event); });
  auto id = client->show({.summary = "one", .actions = {{"review", "Review"}}});
  ASSERT_TRUE(id.hasValue());

  recorder->invokeAction(id.value() + 100, "review");  // another program's notification
  recorder->invokeAction(id.value(), "review");
  ASSERT_TRUE(pumpUntil(*client, [&] { return !events.empty(); }));
  recorder->close(id.value(), 2);
  ASSERT_TRUE(pumpUntil(*client, [&] { return events.size() >= 2; }));
  recorder->invokeAction(id.value(), "review");  // closed already: no longer ours
  recorder->close(id.value() + 100, 2);
  auto marker = client->show({.summary = "marker"});  // answered after the signals above
  ASSERT_TRUE(marker.hasValue());
  client->processPending();

  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].kind, NotificationEvent::Kind::actionInvoked);
  EXPECT_EQ(events[0].id, id.value());
  EXPECT_EQ(events[0].actionKey, "review");
  EXPECT_EQ(events[1].kind, NotificationEvent::Kind::closed);
  EXPECT_EQ(events[1].closeReason, 2u);
}

TEST_F(DesktopNotificationsOnPrivateBus, SaysNoServerAnswersWhenNothingOwnsTheName) {
  auto client = connect();
  ASSERT_TRUE(client);

  auto id = client->show({.summary = "nobody listens"});

  ASSERT_TRUE(id.hasError());
  EXPECT_EQ(id.error().domain, kDesktopNotificationsErrorDomain);
  EXPECT_EQ(id.error().code, static_cast<int>(DesktopNotificationsErrorCode::noServer));
  EXPECT_EQ(id.error().oneLine().find('\n'), std::string::npos);
}

TEST(DesktopNotifications, SaysThereIsNoSessionBusWhenNoneCanBeReached) {
  testing::TestDir runtime;
  testing::ScopedEnvironment noAddress("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
  testing::ScopedEnvironment emptyRuntime("XDG_RUNTIME_DIR", runtime.path());

  auto client = DesktopNotifications::connect();

  ASSERT_TRUE(client.hasError());
  EXPECT_EQ(client.error().code, static_cast<int>(DesktopNotificationsErrorCode::noSessionBus));
  EXPECT_EQ(client.error().description, "No session bus to show notifications on");
}

TEST_F(DesktopNotificationsOnPrivateBus, AsksTheFileManagerToShowAnItem) {
  auto recorder = NotificationRecorder::start();
  ASSERT_TRUE(recorder);
  auto client = connect();
  ASSERT_TRUE(client);

  auto shown = client->showInFileManager("/home/ann/My Music/a.mp3");

  ASSERT_TRUE(shown.hasValue()) << shown.error().oneLine();
  EXPECT_THAT(recorder->shownItems(), ElementsAre("file:///home/ann/My%20Music/a.mp3"));
}

TEST_F(DesktopNotificationsOnPrivateBus, NamesTheItemWhenNoFileManagerAnswers) {
  auto client = connect();
  ASSERT_TRUE(client);

  auto shown = client->showInFileManager("/home/ann/a.mp3");

  ASSERT_TRUE(shown.hasError());
  EXPECT_EQ(shown.error().path, "/home/ann/a.mp3");
}

TEST(DesktopNotifications, MakesFileUrisOfAnyBytes) {
  EXPECT_EQ(fileUri("/home/ann/My Music/a#1.mp3"), "file:///home/ann/My%20Music/a%231.mp3");
  EXPECT_EQ(fileUri("/tmp/\xff~x_y-z.txt"), "file:///tmp/%FF~x_y-z.txt");
  EXPECT_EQ(fileUri("/música"), "file:///m%C3%BAsica");
}

TEST(DesktopNotifications, EscapesMarkupInTexts) {
  EXPECT_EQ(escapeNotificationMarkup("a<b> & c.txt"), "a&lt;b&gt; &amp; c.txt");
}

}  // namespace
}  // namespace zarnik
