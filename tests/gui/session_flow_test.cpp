// A person's whole session through the window: choose a folder, scan, mark a copy with the
// keyboard, clean it to the trash, and bring it back from the history.
#include "session_flow_test.h"

#include "gui/main_window.h"
#include "gui_fixture.h"
#include "support/pictures.h"

#include "platform/image_decoding.h"
#include "statistics/statistician.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>
#include <set>

namespace zarnik::gui::testing {
namespace {

// One figure of the lifetime statistics, as `zarnik stats` reads it.
std::int64_t statistic(const char* key) {
  return Statistician::standard().statistics().number(key);
}

QStringList trashedNames() {
  return QDir(qEnvironmentVariable("XDG_DATA_HOME") + "/Trash/files")
      .entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
}

}  // namespace

void SessionFlowTest::init() { useFreshUserFolders(); }

void SessionFlowTest::scanMarkWithTheKeyboardCleanToTheTrashAndBringBackFromHistory() {
  SampleTree tree;
  auto session = makeSession();
  MainWindow window(*session);
  window.resize(1280, 800);
  window.show();
  const std::int64_t scansBefore = statistic("numberOfFinishedScans");
  const std::int64_t cleanedBefore = statistic("numberOfCleanedFiles");
  const std::int64_t revertsBefore = statistic("numberOfRevertedCleans");
  window.locationsPage().addFolders({tree.dir.path()});
  ScanKinds kinds = window.locationsPage().kinds();
  kinds.everySize = true;
  window.locationsPage().setKinds(kinds);
  QSignalSpy loaded(session.get(), &DesktopSession::resultsLoaded);
  QSignalSpy finished(session.get(), &DesktopSession::scanFinished);
  window.startScan();
  QCOMPARE(window.currentPage(), Page::scanning);
  QVERIFY(waitForSignal(finished, 120));
  QTRY_VERIFY_WITH_TIMEOUT(!session->isLoading(), 60'000);
  QCOMPARE(window.currentPage(), Page::review);
  // Scans, cleanings and reverts in the window count in the statistics as the commands' do.
  QTRY_COMPARE_WITH_TIMEOUT(statistic("numberOfFinishedScans"), scansBefore + 1, 10'000);

  // The older copy of the report, made current: Delete marks it for removal, Space toggles it.
  auto& review = window.reviewPage();
  const QString copyPath = tree.path("Old/report.pdf");
  QVERIFY(copyNamed(review.model(), "Old/report.pdf").isValid());
  review.tree().setCurrentIndex(copyNamed(review.model(), "Old/report.pdf"));
  QSignalSpy changed(session.get(), &DesktopSession::groupChanged);
  const auto pressAndExpect = [&](Qt::Key key, Qt::CheckState expected) {
    changed.clear();
    QTest::keyClick(&review.tree(), key);
    QVERIFY(waitForSignal(changed));
    QCOMPARE(copyNamed(review.model(), "Old/report.pdf").data(Qt::CheckStateRole).toInt(),
             int(expected));
  };
  if (copyNamed(review.model(), "Old/report.pdf").data(Qt::CheckStateRole) == Qt::Checked)
    pressAndExpect(Qt::Key_Space, Qt::Unchecked);  // proposed by the scan: kept first
  pressAndExpect(Qt::Key_Delete, Qt::Checked);
  pressAndExpect(Qt::Key_Space, Qt::Unchecked);
  pressAndExpect(Qt::Key_Space, Qt::Checked);

  // Cleaned to the trash: only the marked copies go (the scan may have proposed some itself).
  QSignalSpy planned(session.get(), &DesktopSession::planReady);
  window.showPage(Page::cleaning);
  QVERIFY(waitForSignal(planned));
  const auto plan = planned.first().first().value<CleaningPlan>();
  QVERIFY(std::any_of(plan.items.begin(), plan.items.end(), [&](const PlannedCleaningItem& item) {
    return QString::fromStdString(item.path) == copyPath;
  }));
  QSignalSpy cleaned(session.get(), &DesktopSession::cleaningFinished);
  window.cleaningPage().setWay(CleaningWay::trash);
  window.cleaningPage().setConfirms(false);
  window.cleaningPage().cleanNow();
  QVERIFY(waitForSignal(cleaned, 120));
  const auto outcome = cleaned.first().first().value<CleaningOutcome>();
  QVERIFY2(outcome.failures.isEmpty(), qPrintable(outcome.failures.join("\n")));
  QCOMPARE(outcome.cleaned, static_cast<std::int64_t>(plan.items.size()));
  QVERIFY(!QFileInfo::exists(copyPath));
  QVERIFY2(trashedNames().contains("report.pdf"), qPrintable(trashedNames().join(", ")));
  QVERIFY(QFileInfo::exists(tree.path("Documents/report.pdf")));
  QTRY_COMPARE_WITH_TIMEOUT(statistic("numberOfCleanedFiles"),
                            cleanedBefore + static_cast<std::int64_t>(plan.items.size()), 10'000);

  // The history lists the cleaning; bringing back every copy of it empties the trash again.
  QTRY_VERIFY_WITH_TIMEOUT(!session->isLoading(), 60'000);
  window.showPage(Page::history);
  auto& list = window.historyPage().list();
  QCOMPARE(list.topLevelItemCount(), 1);
  QCOMPARE(list.topLevelItem(0)->childCount(), static_cast<int>(plan.items.size()));
  list.topLevelItem(0)->setSelected(true);
  QSignalSpy reverted(session.get(), &DesktopSession::revertFinished);
  window.historyPage().revertChosen();
  QVERIFY(waitForSignal(reverted, 120));
  QCOMPARE(reverted.first().at(0).toLongLong(), static_cast<qint64>(plan.items.size()));
  QVERIFY(reverted.first().at(1).toStringList().isEmpty());
  QVERIFY(QFileInfo::exists(copyPath));
  QVERIFY(trashedNames().isEmpty());
  QTRY_COMPARE_WITH_TIMEOUT(statistic("numberOfRevertedCleans"), revertsBefore + 1, 10'000);
  QCOMPARE(statistic("numberOfCleanedFiles"), cleanedBefore);
  QTRY_VERIFY_WITH_TIMEOUT(!session->isLoading(), 60'000);
  window.historyPage().refresh();
  QCOMPARE(list.topLevelItemCount(), 0);
}

void SessionFlowTest::cancellingAScanKeepsWhatWasFound() {
  SampleTree tree;
  auto session = makeSession();
  QVERIFY(scanAndLoad(*session, tree.dir.path()));
  QVERIFY(session->hasResults());
  // A second scan stopped at once, asked to keep its results, leaves a session that reviews
  // groups again and can scan anew.
  QSignalSpy finished(session.get(), &DesktopSession::scanFinished);
  QSignalSpy loaded(session.get(), &DesktopSession::resultsLoaded);
  QVERIFY(session->startScan({}).isEmpty());
  QVERIFY(session->isScanning());
  session->stopScan(true);
  QVERIFY(waitForSignal(finished, 120));
  QVERIFY(waitForSignal(loaded));
  QVERIFY(!session->isScanning());
  QVERIFY(scanAndLoad(*session, tree.dir.path()));
  QCOMPARE(session->model().figures(FilteringCriterion::all).groups, std::int64_t{2});
}

void SessionFlowTest::aCleaningRemovesNothingUnlessItsListIsTheOneConfirmed() {
  SampleTree tree;
  auto session = makeSession();
  QVERIFY(scanAndLoad(*session, tree.dir.path()));
  QSignalSpy planned(session.get(), &DesktopSession::planReady);
  session->planCleaning();
  QVERIFY(waitForSignal(planned));
  std::set<std::int64_t> shown;
  for (const auto& item : planned.first().first().value<CleaningPlan>().items)
    shown.insert(item.duplicateID);

  // The person confirmed a list that is no longer what is marked: nothing goes.
  QSignalSpy failed(session.get(), &DesktopSession::failed);
  QSignalSpy cleaned(session.get(), &DesktopSession::cleaningFinished);
  auto stale = shown;
  stale.insert(shown.empty() ? 1 : *shown.rbegin() + 1000);
  session->startCleaning(CleaningWay::trash, {}, stale);
  QVERIFY(waitForSignal(failed));
  QVERIFY2(failed.last().first().toString().contains("marks changed"),
           qPrintable(failed.last().first().toString()));
  QTRY_VERIFY_WITH_TIMEOUT(!session->isCleaning(), 60'000);
  QCOMPARE(cleaned.count(), 0);
  QVERIFY(trashedNames().isEmpty());

  // While a scan runs, the results are the scan's: a cleaning is refused at once.
  QSignalSpy finished(session.get(), &DesktopSession::scanFinished);
  QVERIFY(session->startScan({}).isEmpty());
  failed.clear();
  session->startCleaning(CleaningWay::trash, {}, shown);
  QCOMPARE(failed.count(), 1);
  QVERIFY(failed.first().first().toString().contains("A scan is running"));
  QVERIFY(!session->isCleaning());
  session->stopScan(true);
  QVERIFY(waitForSignal(finished, 120));
  QTRY_VERIFY_WITH_TIMEOUT(!session->isLoading(), 60'000);
  QVERIFY(trashedNames().isEmpty());
}

void SessionFlowTest::theFoldersChosenAreThereWhenTheWindowOpensAgain() {
  SampleTree tree;
  const QStringList folders{QFileInfo(tree.path("Documents")).canonicalFilePath(),
                            QFileInfo(tree.path("Photos")).canonicalFilePath()};
  {
    auto session = makeSession();
    MainWindow window(*session);
    QVERIFY(window.locationsPage()
                .addFolders(folders + QStringList{tree.path("Documents/notes.txt")})
                .size() == 1);  // a file is refused
  }
  auto session = makeSession();
  QCOMPARE(session->locations(), folders);
  MainWindow window(*session);
  QCOMPARE(window.locationsPage().locations(), folders);
}

void SessionFlowTest::thePreviewOfAPictureGivesItsDimensions() {
  SampleTree tree;
  const auto rgb = zarnik::testing::madeUpPicture(320, 240);
  QDir().mkpath(tree.path("Pictures/Backup"));
  for (const char* name : {"Pictures/holiday.png", "Pictures/Backup/holiday.png"})
    QVERIFY(writePicture(tree.path(name).toStdString(), rgb, 320, 240).hasValue());
  auto session = makeSession();
  MainWindow window(*session);
  ScanKinds kinds;
  kinds.similarImages = true;  // the pictures' facts are read for similar pictures
  QVERIFY(scanAndLoad(*session, tree.dir.path(), kinds));
  window.showPage(Page::review);
  auto& review = window.reviewPage();
  QTRY_VERIFY_WITH_TIMEOUT(copyNamed(review.model(), "Backup/holiday.png").isValid(), 10'000);
  review.tree().setCurrentIndex(copyNamed(review.model(), "Backup/holiday.png"));
  QTRY_VERIFY2_WITH_TIMEOUT(review.previewFacts().contains("320 × 240 pixels"),
                            qPrintable(review.previewFacts()), 10'000);
}

}  // namespace zarnik::gui::testing
