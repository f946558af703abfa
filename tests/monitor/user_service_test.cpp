#include "platform/user_service.h"

#include "support/fake_service_manager.h"
#include "support/private_session_bus.h"
#include "support/test_dir.h"

#include "cli/monitor_service_command.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

namespace zarnik {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr const char* kNoManagerMessage =
    "No user service manager (systemd --user) is running; run 'zarnik monitor run' in a terminal "
    "or at login instead.";

bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

TEST(MonitorServiceUnit, RunsTheProgramsMonitorInTheUsersUnitFolder) {
  testing::TestDir config;
  testing::ScopedEnvironment configHome("XDG_CONFIG_HOME", config.path());

  const UserUnitFile unit = monitorServiceUnitFile("/opt/zarnik/bin/zarnik");

  EXPECT_EQ(unit.path(), config / "systemd/user/zarnik-monitor.service");
  EXPECT_THAT(unit.text, HasSubstr("\n[Service]\nType=simple\n"));
  EXPECT_THAT(unit.text, HasSubstr("\nExecStart=/opt/zarnik/bin/zarnik monitor run\n"));
  EXPECT_THAT(unit.text, HasSubstr("\nRestart=on-failure\n"));
  EXPECT_THAT(unit.text, HasSubstr("\n[Install]\nWantedBy=default.target\n"));
}

TEST(MonitorServiceUnit, QuotesAProgramPathSystemdWouldSplitOrExpand) {
  EXPECT_EQ(unitCommandWord("/usr/bin/zarnik"), "/usr/bin/zarnik");
  EXPECT_EQ(unitCommandWord("/home/ann/my apps/zarnik"), "\"/home/ann/my apps/zarnik\"");
  EXPECT_EQ(unitCommandWord("/opt/100%/zarnik"), "/opt/100%%/zarnik");
  EXPECT_EQ(unitCommandWord("/opt/a\"b/zarnik"), "\"/opt/a\\\"b/zarnik\"");
}

class MonitorServiceWithoutSystemd : public ::testing::Test {
 protected:
  testing::TestDir config_;
  testing::ScopedEnvironment configHome_{"XDG_CONFIG_HOME", config_.path()};
  const std::string unitPath_ = config_ / "systemd/user/zarnik-monitor.service";
};

TEST_F(MonitorServiceWithoutSystemd, EnableOnABusWithoutSystemdSaysSoAndLeavesNoFile) {
  std::string whyNot;
  auto bus = testing::PrivateSessionBus::start(&whyNot);
  if (!bus) GTEST_SKIP() << whyNot;

  auto manager = UserServiceManager::connect();
  ASSERT_TRUE(manager.hasError());
  EXPECT_EQ(manager.error().code, static_cast<int>(UserServiceErrorCode::noServiceManager));

  const auto enabled = cli::enableMonitorService("/usr/bin/zarnik");
  EXPECT_EQ(enabled.exitCode, 1);
  EXPECT_EQ(enabled.message, kNoManagerMessage);
  EXPECT_FALSE(exists(unitPath_));
  EXPECT_FALSE(exists(config_ / "systemd"));

  const auto disabled = cli::disableMonitorService("/usr/bin/zarnik");
  EXPECT_EQ(disabled.exitCode, 1);
  EXPECT_EQ(disabled.message, kNoManagerMessage);
}

TEST_F(MonitorServiceWithoutSystemd, EnableWithoutAnyUserBusSaysSoAndLeavesNoFile) {
  testing::TestDir runtime;
  testing::ScopedEnvironment noAddress("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
  testing::ScopedEnvironment emptyRuntime("XDG_RUNTIME_DIR", runtime.path());

  const auto enabled = cli::enableMonitorService("/usr/bin/zarnik");

  EXPECT_EQ(enabled.exitCode, 1);
  EXPECT_EQ(enabled.message, kNoManagerMessage);
  EXPECT_FALSE(exists(unitPath_));
}

// The calls systemd would get, checked against the real method signatures by a fake of its own.
class MonitorServiceWithServiceManager : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string whyNot;
    bus_ = testing::PrivateSessionBus::start(&whyNot);
    if (!bus_) GTEST_SKIP() << whyNot;
    systemd_ = testing::FakeServiceManager::start(config_ / "systemd/user");
    ASSERT_TRUE(systemd_);
  }

  testing::TestDir config_;
  testing::ScopedEnvironment configHome_{"XDG_CONFIG_HOME", config_.path()};
  const std::string unitPath_ = config_ / "systemd/user/zarnik-monitor.service";
  std::unique_ptr<testing::PrivateSessionBus> bus_;
  std::unique_ptr<testing::FakeServiceManager> systemd_;
};

TEST_F(MonitorServiceWithServiceManager, EnableWritesTheUnitThenReloadsEnablesAndStartsIt) {
  const auto enabled = cli::enableMonitorService("/usr/bin/zarnik");

  EXPECT_EQ(enabled.exitCode, 0) << enabled.message;
  EXPECT_THAT(enabled.message, HasSubstr(unitPath_));
  EXPECT_THAT(testing::contentsOf(unitPath_), HasSubstr("ExecStart=/usr/bin/zarnik monitor run"));
  EXPECT_THAT(systemd_->methods(), ElementsAre("Reload", "EnableUnitFiles", "StartUnit"));
  for (const auto& call : systemd_->calls()) {
    if (call.method == "Reload") continue;
    EXPECT_EQ(call.unit, "zarnik-monitor.service");
    EXPECT_TRUE(call.unitFileExisted) << call.method;
  }
}

TEST_F(MonitorServiceWithServiceManager, AServiceThatCannotStartLeavesNothingBehind) {
  systemd_->refuseToStart();

  const auto enabled = cli::enableMonitorService("/usr/bin/zarnik");

  EXPECT_EQ(enabled.exitCode, 1);
  EXPECT_THAT(enabled.message, HasSubstr("refused to start the monitor"));
  EXPECT_THAT(enabled.message, HasSubstr("masked"));
  EXPECT_FALSE(exists(unitPath_));
  EXPECT_THAT(systemd_->methods(),
              ElementsAre("Reload", "EnableUnitFiles", "StartUnit", "DisableUnitFiles", "Reload"));
}

TEST_F(MonitorServiceWithServiceManager, DisableStopsDisablesAndRemovesTheUnit) {
  ASSERT_EQ(cli::enableMonitorService("/usr/bin/zarnik").exitCode, 0);

  const auto disabled = cli::disableMonitorService("/usr/bin/zarnik");

  EXPECT_EQ(disabled.exitCode, 0) << disabled.message;
  EXPECT_FALSE(exists(unitPath_));
  EXPECT_THAT(systemd_->methods(), ElementsAre("Reload", "EnableUnitFiles", "StartUnit", "StopUnit",
                                               "DisableUnitFiles", "Reload"));
}

TEST_F(MonitorServiceWithServiceManager, DisablingAMonitorThatNeverRanIsNoFailure) {
  const auto disabled = cli::disableMonitorService("/usr/bin/zarnik");

  EXPECT_EQ(disabled.exitCode, 0) << disabled.message;
  EXPECT_THAT(systemd_->methods(), ElementsAre("StopUnit", "DisableUnitFiles", "Reload"));
}

TEST(MonitorServiceCommands, JoinTheMonitorCommandWithHelpAndExamples) {
  CLI::App app("zarnik");
  CLI::App* monitor = app.add_subcommand("monitor", "Watch folders for new duplicates");
  cli::MonitorServiceCommands commands(monitor);

  app.parse(std::vector<std::string>{"enable", "monitor"});  // CLI11 takes them reversed

  EXPECT_TRUE(commands.wasChosen());
  for (const char* name : {"enable", "disable"}) {
    const std::string help = monitor->get_subcommand(name)->help();
    EXPECT_THAT(help, HasSubstr("Example:\n  zarnik monitor ")) << name;
    EXPECT_THAT(help, HasSubstr("zarnik-monitor.service")) << name;
  }
}

}  // namespace
}  // namespace zarnik
