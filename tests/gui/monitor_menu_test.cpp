// The duplicates monitor's menu (the tray item's, and the window's "Monitor" menu): it follows the
// status a running monitor writes, Pause and Resume write the request `zarnik monitor pause` and
// `zarnik monitor resume` write, and "Review Duplicates" puts the monitor's groups under review in
// the window until the next scan.
#include "monitor_menu_test.h"

#include "gui/main_window.h"
#include "gui/monitor_menu.h"
#include "gui_fixture.h"

#include "detection/duplicates_detection_session.h"
#include "monitor/monitor_requests.h"
#include "monitor/monitor_review.h"
#include "monitor/monitor_status.h"
#include "platform/file_lock.h"
#include "platform/file_reading.h"
#include "platform/processes.h"
#include "platform/sqlite_database.h"

#include <QFile>
#include <QMenu>
#include <QTest>

namespace zarnik::gui::testing {
namespace {

// The texts of the menu's entries, submenus by their titles, in order.
QStringList entryTexts(const QMenu& menu) {
  QStringList texts;
  for (const QAction* action : menu.actions()) {
    if (!action->isSeparator() && action->isVisible()) texts << action->text();
  }
  return texts;
}

RecentDuplicate recentDuplicate(std::int64_t id, const std::string& name, int minutesAgo) {
  RecentDuplicate duplicate;
  duplicate.id = id;
  duplicate.name = name;
  duplicate.path = "/home/someone/Pictures/" + name;
  duplicate.abbreviatedPath = "~/Pictures/" + name;
  duplicate.foundDate = dateNow() - std::chrono::minutes(minutesAgo);
  duplicate.size = 2'500'000;
  return duplicate;
}

// As the monitor writes it while it runs: this process plays the monitor, holding its lock.
MonitorStatus runningStatus(const std::string& state) {
  MonitorStatus status;
  status.processId = currentProcessId();
  status.state = state;
  status.recent.totalCount = 5;
  status.recent.newCount = 2;
  status.recent.notViewedCount = 3;
  // Not in order: the menu lists the newest first.
  status.recent.latest = {recentDuplicate(7, "beach.jpg", 30), recentDuplicate(9, "dune.jpg", 1),
                          recentDuplicate(8, "cliff.jpg", 10)};
  status.updated = dateNow();
  return status;
}

bool firstRead(MonitorMenu& menu) {
  QSignalSpy read(&menu, &MonitorMenu::statusRead);
  menu.refresh();
  return waitForSignal(read, 30);
}

// The monitor keeps its groups in a store of the same kind as a scan's: a scan's store, copied
// where the monitor keeps its own, stands for what the monitor found.
bool copyTheScansStoreAsTheMonitors() {
  auto scanStore = SqliteDatabase::open(DuplicatesDetectionSpec::standard(nullptr).urlOfStateDB());
  if (scanStore.hasError()) return false;
  auto copy = scanStore.value()->prepare("VACUUM INTO ?");
  return copy.hasValue() && copy.value().bind(1, monitorStorePath()).run().hasValue();
}

}  // namespace

void MonitorMenuTest::init() {
  useFreshUserFolders();
  (void)removeFileIfPresent(MonitorStatus::defaultPath());
}

void MonitorMenuTest::cleanup() { (void)removeFileIfPresent(MonitorStatus::defaultPath()); }

void MonitorMenuTest::withoutARunningMonitorTheMenuSaysOff() {
  MonitorMenu menu;
  QVERIFY(firstRead(menu));
  QCOMPARE(menu.stateTitle(), QString("Off"));
  QVERIFY(!menu.trayIcon().isVisible());
  const QStringList texts = entryTexts(menu.menu());
  QVERIFY2(texts.contains("Monitor: Off"), qPrintable(texts.join(" | ")));
  QVERIFY2(texts.contains("No duplicates found lately"), qPrintable(texts.join(" | ")));
  QVERIFY(texts.contains("Review Duplicates"));

  // A status left by a monitor that is gone (no process holds its lock) is no running monitor.
  MonitorStatus left = runningStatus("monitoring");
  QVERIFY(left.write(MonitorStatus::defaultPath()).hasValue());
  QVERIFY(firstRead(menu));
  QCOMPARE(menu.stateTitle(), QString("Off"));
}

void MonitorMenuTest::theMenuFollowsTheStatusTheMonitorWrites() {
  auto lock = FileLock::tryLock(MonitorStatus::lockPath(), "zarnik monitor run");
  QVERIFY(lock.hasValue() && lock.value());
  MonitorMenu menu;
  QVERIFY(firstRead(menu));
  QCOMPARE(menu.stateTitle(), QString("Off"));

  // The menu reads the status again by itself once the monitor has written it.
  QVERIFY(runningStatus("scanning").write(MonitorStatus::defaultPath()).hasValue());
  QTRY_COMPARE_WITH_TIMEOUT(menu.stateTitle(), QString("Scanning"), 20'000);
  QStringList texts = entryTexts(menu.menu());
  QVERIFY2(texts.contains("Monitor: Scanning"), qPrintable(texts.join(" | ")));
  QVERIFY2(texts.contains("Recent duplicates: 5 · 2 new"), qPrintable(texts.join(" | ")));
  const int first = static_cast<int>(texts.indexOf("~/Pictures/dune.jpg (2.5 MB)"));
  QVERIFY2(first >= 0, qPrintable(texts.join(" | ")));
  QCOMPARE(texts.mid(first, 3),
           (QStringList{"~/Pictures/dune.jpg (2.5 MB)", "~/Pictures/cliff.jpg (2.5 MB)",
                        "~/Pictures/beach.jpg (2.5 MB)"}));
  const QString tip = menu.trayIcon().toolTip();
  QVERIFY2(tip.contains("Scanning") && tip.contains("5 duplicates found lately, 2 new"),
           qPrintable(tip));
  // Offscreen there is no tray: the item stays hidden and the window's menu offers the same.
  QCOMPARE(menu.trayIcon().isVisible(), QSystemTrayIcon::isSystemTrayAvailable());

  QVERIFY(runningStatus("paused").write(MonitorStatus::defaultPath()).hasValue());
  QTRY_COMPARE_WITH_TIMEOUT(menu.stateTitle(), QString("Paused"), 20'000);
  QVERIFY(entryTexts(menu.menu()).contains("Monitor: Paused"));
}

void MonitorMenuTest::pauseAndResumeWriteWhatTheCommandsWrite() {
  // The folders `zarnik monitor add` asked to watch stay as they are.
  MonitorRequests added;
  added.add("/srv/photos");
  added.add("/home/someone/Downloads");
  QVERIFY(added.save(MonitorRequests::defaultPath()).hasValue());
  MonitorMenu menu;
  QVERIFY(firstRead(menu));
  QVERIFY(menu.pauseAction().isVisible());
  QVERIFY(!menu.resumeAction().isVisible());

  menu.pauseAction().trigger();
  QTRY_VERIFY_WITH_TIMEOUT(menu.resumeAction().isVisible(), 20'000);
  QVERIFY(!menu.pauseAction().isVisible());
  MonitorRequests paused = added;
  paused.paused = true;
  auto read = MonitorRequests::load(MonitorRequests::defaultPath());
  QVERIFY(read.hasValue());
  QVERIFY(read.value() == paused);
  QCOMPARE(entryTexts(menu.menu()).first(), QString("Monitor: Off (paused when it starts)"));

  menu.resumeAction().trigger();
  QTRY_VERIFY_WITH_TIMEOUT(menu.pauseAction().isVisible(), 20'000);
  read = MonitorRequests::load(MonitorRequests::defaultPath());
  QVERIFY(read.hasValue());
  QVERIFY(read.value() == added);
}

void MonitorMenuTest::reviewWithoutAMonitorStoreSaysSo() {
  QVERIFY(!pathExists(monitorStorePath()));
  auto session = makeSession();
  MainWindow window(*session);
  QSignalSpy opened(session.get(), &DesktopSession::monitorReviewOpened);
  window.monitorMenu().reviewAction().trigger();
  QVERIFY(waitForSignal(opened));
  QVERIFY2(opened.first().at(1).toString().contains("has found nothing yet"),
           qPrintable(opened.first().at(1).toString()));
  QVERIFY(!session->isReviewingMonitorFindings());
}

void MonitorMenuTest::reviewOpensTheMonitorsGroupsUntilTheNextScan() {
  SampleTree tree;
  auto session = makeSession();
  QVERIFY(scanAndLoad(*session, tree.dir.path()));
  const auto ownGroups = session->model().groupCount();
  QCOMPARE(ownGroups, size_t{2});
  QVERIFY(copyTheScansStoreAsTheMonitors());
  // Its recent duplicates were news until now.
  QVERIFY(MonitorRequests{}.save(MonitorRequests::defaultPath()).hasValue());
  const Date before = dateNow();

  MainWindow window(*session);
  QTRY_VERIFY_WITH_TIMEOUT(!session->isLoading(), 30'000);
  QSignalSpy opened(session.get(), &DesktopSession::monitorReviewOpened);
  window.monitorMenu().reviewAction().trigger();
  QVERIFY(waitForSignal(opened));
  QCOMPARE(opened.first().at(1).toString(), QString());
  QCOMPARE(opened.first().at(0).toLongLong(), 2);
  QVERIFY(session->isReviewingMonitorFindings());
  QTRY_COMPARE_WITH_TIMEOUT(window.currentPage(), Page::review, 30'000);
  QVERIFY(!session->isLoading());
  QCOMPARE(session->model().groupCount(), size_t{2});
  QVERIFY(window.reviewPage().model().copyAt(window.reviewPage().tree().currentIndex()));
  QCOMPARE(window.windowTitle(), QString("Zarnik — The Monitor's Duplicates"));
  // As after `zarnik monitor review`: the commands review the same groups, now seen.
  QVERIFY(DuplicatesDetectionSpec::current(nullptr).isMonitorReview);
  auto requests = MonitorRequests::load(MonitorRequests::defaultPath());
  QVERIFY(requests.hasValue() && requests.value().reviewedUntil);
  QVERIFY(*requests.value().reviewedUntil >= before - std::chrono::seconds(1));

  // A window opened meanwhile reviews them too; the next scan ends the review.
  {
    auto another = makeSession();
    QVERIFY(another->isReviewingMonitorFindings());
  }
  QVERIFY(scanAndLoad(*session, tree.dir.path()));
  QVERIFY(!session->isReviewingMonitorFindings());
  QVERIFY(!DuplicatesDetectionSpec::current(nullptr).isMonitorReview);
  QCOMPARE(window.windowTitle(), QString("Zarnik"));
  (void)SqliteDatabase::removeFiles(monitorStorePath());
}

void MonitorMenuTest::aWindowStartedForTheMonitorsReviewOpensOnIt() {
  SampleTree tree;
  {
    auto scanning = makeSession();
    QVERIFY(scanAndLoad(*scanning, tree.dir.path()));
  }
  QVERIFY(copyTheScansStoreAsTheMonitors());

  // As `zarnik-gui --monitor-review`, which the notifications' Review runs.
  auto session = makeSession();
  MainWindow window(*session);
  QSignalSpy opened(session.get(), &DesktopSession::monitorReviewOpened);
  window.reviewMonitorFindingsOnceOpen();
  QVERIFY(waitForSignal(opened));
  QCOMPARE(opened.first().at(1).toString(), QString());
  QCOMPARE(opened.first().at(0).toLongLong(), 2);
  QTRY_COMPARE_WITH_TIMEOUT(window.currentPage(), Page::review, 30'000);
  QVERIFY(session->isReviewingMonitorFindings());
  QCOMPARE(window.windowTitle(), QString("Zarnik — The Monitor's Duplicates"));

  QVERIFY(scanAndLoad(*session, tree.dir.path()));  // ends the review
  QVERIFY(!DuplicatesDetectionSpec::current(nullptr).isMonitorReview);
  (void)SqliteDatabase::removeFiles(monitorStorePath());
}

}  // namespace zarnik::gui::testing
