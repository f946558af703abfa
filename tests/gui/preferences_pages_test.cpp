// The preferences and achievements pages against the library: what a person changes on the page is
// what a fresh PreferencesController (as `zarnik config`, `ignore` and `rules` open one) reads
// back, and the achievements shown are the library's, earned as the statistics file says.
#include "preferences_pages_test.h"

#include "gui/achievements_page.h"
#include "gui/preferences_page.h"
#include "gui_fixture.h"

#include "platform/install_layout.h"
#include "preferences/preferences_controller.h"
#include "statistics/achievements_store.h"
#include "statistics/statistician.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace zarnik::gui::testing {
namespace {

// The stored preferences as the command line opens them.
std::unique_ptr<PreferencesController> storedPreferences() {
  auto opened = PreferencesController::open(PreferencesLocations::standard());
  if (opened.hasError()) return nullptr;
  return std::move(opened).value();
}

// The value of `key` as `zarnik config get KEY` prints it.
QString storedSetting(const std::string& key) {
  auto preferences = storedPreferences();
  if (!preferences) return "(unreadable)";
  const SettingDescription* setting = findSetting(key);
  if (setting == nullptr) return "(unknown)";
  const BaseStorage& owner = setting->owner.empty()
                                 ? static_cast<const BaseStorage&>(preferences->storage())
                                 : *preferences->storage().substorage(setting->owner);
  return QString::fromStdString(settingText(*setting, owner.valueForKey(setting->name)));
}

// Runs `action` and waits for the editor's next snapshot.
bool changeAndWait(PreferencesEditor& editor, const std::function<void()>& action) {
  QSignalSpy loaded(&editor, &PreferencesEditor::loaded);
  action();
  return waitForSignal(loaded, 30);
}

bool loadPage(PreferencesEditor& editor) {
  return changeAndWait(editor, [&] { editor.reload(); });
}

bool isIgnored(const QString& folder) {
  auto preferences = storedPreferences();
  if (!preferences) return false;
  const std::string path = preferences->abbreviatedListPath(folder.toStdString());
  for (const auto& item : preferences->lists().ignoreItems)
    if (item.kind == ZKIgnoreItem::Kind::node && item.path == path) return true;
  return false;
}

QTreeWidgetItem* itemNamed(QTreeWidget& list, const QString& text) {
  const auto found = list.findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
  return found.isEmpty() ? nullptr : found.first();
}

}  // namespace

void PreferencesPagesTest::initTestCase() { QDir().mkpath(ZARNIK_SCREENSHOT_FOLDER); }

void PreferencesPagesTest::init() { useFreshUserFolders(); }

void PreferencesPagesTest::changingASettingStoresItAsTheCommandLineSeesIt() {
  PreferencesEditor editor;
  PreferencesPage page(editor);
  QVERIFY(loadPage(editor));
  QCOMPARE(storedSetting("scanRules.exactMatchEnabled"), QString("true"));

  auto* exact = qobject_cast<QCheckBox*>(page.settings().field("scanRules.exactMatchEnabled"));
  QVERIFY(exact != nullptr);
  QVERIFY(exact->isChecked());
  QVERIFY(changeAndWait(editor, [&] { QTest::keyClick(exact, Qt::Key_Space); }));
  QCOMPARE(storedSetting("scanRules.exactMatchEnabled"), QString("false"));
  QVERIFY(!exact->isChecked());

  // A choice, by the keyboard: the next one down is stored.
  auto* reminder =
      qobject_cast<QComboBox*>(page.settings().field("mixedPreferences.schedulePeriodOption"));
  QVERIFY(reminder != nullptr);
  QCOMPARE(reminder->currentData().toString(), storedSetting("schedulePeriodOption"));
  const QString next = reminder->itemData(reminder->currentIndex() + 1).toString();
  QVERIFY(changeAndWait(editor, [&] { QTest::keyClick(reminder, Qt::Key_Down); }));
  QCOMPARE(storedSetting("schedulePeriodOption"), next);

  // Typed text, as `zarnik config set scanRules.sizeThresholdOption 5000` takes it.
  auto* threshold =
      qobject_cast<QLineEdit*>(page.settings().field("scanRules.sizeThresholdOption"));
  QVERIFY(threshold != nullptr);
  QCOMPARE(threshold->text(), QString("auto"));
  QVERIFY(changeAndWait(editor, [&] {
    threshold->selectAll();
    QTest::keyClicks(threshold, "5000");
    QTest::keyClick(threshold, Qt::Key_Return);
  }));
  QCOMPARE(storedSetting("scanRules.sizeThresholdOption"), QString("5000"));
  // The scan rules a scan is made from follow.
  QVERIFY(!editor.snapshot().preferences.scanRules->exactMatchEnabled());
}

void PreferencesPagesTest::aValueOfTheWrongKindChangesNothing() {
  PreferencesEditor editor;
  PreferencesPage page(editor);
  QVERIFY(loadPage(editor));
  auto* threshold =
      qobject_cast<QLineEdit*>(page.settings().field("scanRules.sizeThresholdOption"));
  QVERIFY(threshold != nullptr);
  QSignalSpy failed(&editor, &PreferencesEditor::failed);
  QVERIFY(changeAndWait(editor, [&] {
    threshold->selectAll();
    QTest::keyClicks(threshold, "lots");
    QTest::keyClick(threshold, Qt::Key_Return);
  }));
  QCOMPARE(failed.count(), qsizetype{1});
  QVERIFY(failed.first().first().toString().contains("sizeThresholdOption"));
  QCOMPARE(storedSetting("scanRules.sizeThresholdOption"), QString("auto"));
  QCOMPARE(threshold->text(), QString("auto"));  // the field shows what is stored again
}

void PreferencesPagesTest::addingAndRemovingAnIgnoredFolderChangesTheStoredList() {
  PreferencesEditor editor;
  PreferencesPage page(editor);
  QVERIFY(loadPage(editor));
  QTemporaryDir folder(temporaryHome() + "/ignored-XXXXXX");
  QVERIFY(!isIgnored(folder.path()));

  QVERIFY(changeAndWait(editor, [&] { editor.addIgnoredFolder(folder.path()); }));
  QVERIFY(isIgnored(folder.path()));
  QCOMPARE(editor.snapshot().ignored.size(), size_t{1});
  QTreeWidgetItem* shown = itemNamed(page.ignoreList(), editor.snapshot().ignored[0].shown);
  QVERIFY(shown != nullptr);
  QVERIFY(shown->text(0).contains(QFileInfo(folder.path()).fileName()));

  // Adding it again says so and adds nothing.
  QSignalSpy failed(&editor, &PreferencesEditor::failed);
  QVERIFY(changeAndWait(editor, [&] { editor.addIgnoredFolder(folder.path()); }));
  QCOMPARE(failed.count(), qsizetype{1});
  QCOMPARE(storedPreferences()->lists().ignoreItems.size(), size_t{1});

  shown = itemNamed(page.ignoreList(), editor.snapshot().ignored[0].shown);
  QVERIFY(shown != nullptr);
  shown->setSelected(true);
  QVERIFY(changeAndWait(editor, [&] { page.removeChosenIgnored(); }));
  QVERIFY(!isIgnored(folder.path()));
  QVERIFY(editor.snapshot().ignored.empty());
}

void PreferencesPagesTest::turningASmartRuleOffKeepsItOffInItsPlace() {
  PreferencesEditor editor;
  PreferencesPage page(editor);
  QVERIFY(loadPage(editor));
  const SmartSelectionRule newest(SmartSelectionRule::Kind::nonNewestModificationDate);
  const SmartSelectionRule loved(SmartSelectionRule::Kind::nonLoved);
  QVERIFY(changeAndWait(editor, [&] { editor.setSmartRule(newest, true); }));
  QVERIFY(changeAndWait(editor, [&] { editor.setSmartRule(loved, true); }));

  QTreeWidgetItem* item = itemNamed(page.rulesList(), QString::fromStdString(newest.description()));
  QVERIFY(item != nullptr);
  QCOMPARE(item->checkState(0), Qt::Checked);
  QVERIFY(changeAndWait(editor, [&] { item->setCheckState(0, Qt::Unchecked); }));

  const auto& stored = storedPreferences()->lists().smartSelectionRules;
  QCOMPARE(stored.size(), size_t{2});
  QVERIFY(stored[0].ruleInfo.rule == newest);
  QVERIFY(!stored[0].isEnabled());
  QVERIFY(stored[1].ruleInfo.rule == loved);
  QVERIFY(stored[1].isEnabled());

  // Pictures of the two lists, filled, beside the window's for a person to look at.
  QTemporaryDir downloads(temporaryHome() + "/Downloads-XXXXXX");
  QVERIFY(changeAndWait(editor, [&] { editor.addFolderRule(true, downloads.path()); }));
  QVERIFY(changeAndWait(editor, [&] { editor.addIgnoredFolder(downloads.path() + "/old"); }));
  QVERIFY(changeAndWait(editor, [&] { editor.addIgnoredExtension("ISO"); }));
  QCOMPARE(editor.snapshot().ignored.size(), size_t{2});
  QCOMPARE(editor.snapshot().ignored[1].shown, QString(".iso"));
  page.resize(1100, 760);
  page.show();
  QVERIFY(QTest::qWaitForWindowExposed(&page));
  for (const auto& [tab, name] :
       {std::pair{1, "preferences-ignore-list"}, std::pair{2, "preferences-selection-rules"}}) {
    page.tabs().setCurrentIndex(tab);
    QVERIFY(page.grab().save(QString("%1/%2.png").arg(ZARNIK_SCREENSHOT_FOLDER, name)));
  }
  // Every setting, the ones named by their keys opened too, in one tall picture.
  page.tabs().setCurrentIndex(0);
  auto* everyOther = page.settings().findChild<QToolButton*>();
  QVERIFY(everyOther != nullptr);
  everyOther->click();
  QVERIFY(page.settings().field("developerMode")->isVisible());
  for (int pass = 0; pass < 3; ++pass)
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
  QVERIFY(page.settings().grab().save(
      QString("%1/preferences-every-setting.png").arg(ZARNIK_SCREENSHOT_FOLDER)));
}

void PreferencesPagesTest::achievementsShowTheEarnedStateOfTheStoredStatistics() {
  const auto written = Statistician::standard().updateStatistics([](StatisticianStore& s) {
    s.setNumber("numberOfFinishedScans", 1);
    s.setNumber("numberOfFinishedCleans", 1);
    s.setNumber("cleanedSize", 200LL << 20);
  });
  QVERIFY(written.hasValue());
  const std::int64_t impressions =
      Statistician::standard().statistics().number("numberOfAchievementsImpressions");
  auto expected = AchievementsStore::loadResources(installLayout().value().resourceFolder);
  QVERIFY(expected.hasValue());
  expected.value().setStatistics(Statistician::standard().statistics());

  AchievementsPage page;
  QSignalSpy loaded(&page, &AchievementsPage::loaded);
  page.refresh();
  QVERIFY(waitForSignal(loaded, 30));

  int earned = 0;
  int notEarned = 0;
  QCOMPARE(page.list().topLevelItemCount(), static_cast<int>(expected.value().groups().size()));
  for (int g = 0; g < page.list().topLevelItemCount(); ++g) {
    const auto& group = expected.value().groups()[static_cast<size_t>(g)];
    QTreeWidgetItem* shownGroup = page.list().topLevelItem(g);
    QCOMPARE(shownGroup->text(0), QString::fromStdString(group.title));
    QCOMPARE(shownGroup->childCount(), static_cast<int>(group.achievements.size()));
    for (int a = 0; a < shownGroup->childCount(); ++a) {
      const auto& achievement = group.achievements[static_cast<size_t>(a)];
      QTreeWidgetItem* shown = shownGroup->child(a);
      QCOMPARE(shown->text(0), QString::fromStdString(achievement.title));
      QCOMPARE(shown->text(1), QString(achievement.isAccomplished ? "Yes" : "Not yet"));
      QCOMPARE(shown->text(2), QString::fromStdString(achievement.description()));
      (achievement.isAccomplished ? earned : notEarned) += 1;
    }
  }
  // The statistics earn some achievements and not others, so both states are compared.
  QVERIFY(earned >= 2);
  QVERIFY(notEarned >= 1);
  QVERIFY(expected.value().currentRank() != nullptr);
  QCOMPARE(page.rankLabel().text(), QString::fromStdString(expected.value().currentRank()->title));
  // Showing them counts as seeing them, as `zarnik stats achievements` does.
  QCOMPARE(Statistician::standard().statistics().number("numberOfAchievementsImpressions"),
           impressions + 1);
}

}  // namespace zarnik::gui::testing
