// The review's tree model over the library's results: its check boxes change the stored
// selection (and undo brings it back), and its counts are the library's.
#include "results_adapter_test.h"

#include "gui/results_item_model.h"
#include "gui_fixture.h"

#include <QTest>

namespace zarnik::gui::testing {
namespace {

// Whether the stored group marks the copy for removal, read from the store again.
bool storedAsSelected(DesktopSession& session, qint64 group, qint64 copy) {
  QSignalSpy loaded(&session, &DesktopSession::resultsLoaded);
  session.reloadResults();
  if (!waitForSignal(loaded)) return false;
  const ZKEquivalence* stored = session.storedGroup(group);
  if (!stored) return false;
  for (const auto& duplicate : stored->duplicates)
    if (duplicate.identifier == copy) return stored->isSelected(duplicate);
  return false;
}

}  // namespace

void ResultsAdapterTest::init() { useFreshUserFolders(); }

void ResultsAdapterTest::checkingACopyMarksItInTheStoreAndUndoKeepsItAgain() {
  SampleTree tree;
  auto session = makeSession();
  ResultsItemModel model(*session);
  QVERIFY(scanAndLoad(*session, tree.dir.path()));
  QModelIndex copy = copyNamed(model, "Backup/photo.png");
  QVERIFY(copy.isValid());
  const qint64 group = copy.data(ResultsItemModel::groupIdentifierRole).toLongLong();
  const qint64 identifier = copy.data(ResultsItemModel::copyIdentifierRole).toLongLong();
  QCOMPARE(copy.data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));

  QSignalSpy changed(session.get(), &DesktopSession::groupChanged);
  QVERIFY(model.setData(copy, Qt::Checked, Qt::CheckStateRole));
  QVERIFY(waitForSignal(changed));
  QCOMPARE(copyNamed(model, "Backup/photo.png").data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
  QVERIFY(storedAsSelected(*session, group, identifier));

  changed.clear();
  session->undo();
  QVERIFY(waitForSignal(changed));
  QCOMPARE(copyNamed(model, "Backup/photo.png").data(Qt::CheckStateRole).toInt(),
           int(Qt::Unchecked));
  QVERIFY(!storedAsSelected(*session, group, identifier));

  changed.clear();
  session->redo();
  QVERIFY(waitForSignal(changed));
  QVERIFY(storedAsSelected(*session, group, identifier));
}

void ResultsAdapterTest::markingTheLastKeptCopyWaitsForConfirmation() {
  SampleTree tree;
  auto session = makeSession();
  ResultsItemModel model(*session);
  QVERIFY(scanAndLoad(*session, tree.dir.path()));
  QSignalSpy changed(session.get(), &DesktopSession::groupChanged);
  QSignalSpy asked(session.get(), &DesktopSession::selectionNeedsConfirmation);
  // Every copy of the report marked in turn: the one that would leave none kept is held back.
  const QPersistentModelIndex group = copyNamed(model, "Old/report.pdf").parent();
  QVERIFY(group.isValid());
  for (int row = 0; row < model.rowCount(group) && asked.isEmpty(); ++row) {
    const QModelIndex copy = model.index(row, 0, group);
    if (copy.data(Qt::CheckStateRole).toInt() == Qt::Checked) continue;
    const auto answers = changed.count() + asked.count();
    model.setData(copy, Qt::Checked, Qt::CheckStateRole);
    QTRY_VERIFY_WITH_TIMEOUT(changed.count() + asked.count() > answers, 60'000);
  }
  QCOMPARE(asked.count(), 1);
  QVERIFY(!asked.first().at(2).toStringList().isEmpty());
  int kept = 0;
  for (int row = 0; row < model.rowCount(group); ++row)
    kept += model.index(row, 0, group).data(Qt::CheckStateRole).toInt() == Qt::Unchecked ? 1 : 0;
  QCOMPARE(kept, 1);
}

void ResultsAdapterTest::countsAreTheLibrarysAndFollowTheSearch() {
  SampleTree tree;
  auto session = makeSession();
  ResultsItemModel model(*session);
  QVERIFY(scanAndLoad(*session, tree.dir.path()));
  const auto& all = session->model().figures(FilteringCriterion::all);
  QCOMPARE(model.rowCount(), static_cast<int>(all.groups));
  QCOMPARE(all.groups, std::int64_t{2});
  int copies = 0;
  for (int group = 0; group < model.rowCount(); ++group)
    copies += model.rowCount(model.index(group, 0));
  QCOMPARE(copies, static_cast<int>(all.total.count));
  QCOMPARE(copies, 5);

  ResultsQuery query = model.query();
  query.search = "photo copy";
  model.setQuery(query);
  QCOMPARE(model.rowCount(), 1);
  QCOMPARE(model.rowCount(model.index(0, 0)), 1);
  QCOMPARE(model.shown().filtered.count, std::int64_t{1});

  // A copy marked moves the "selected" figures of the library and of the tree alike.
  query.search.clear();
  model.setQuery(query);
  const CopiesAndBytes before = session->model().figures(FilteringCriterion::all).selected;
  QSignalSpy changed(session.get(), &DesktopSession::groupChanged);
  const QModelIndex backup = copyNamed(model, "Backup/photo.png");
  QCOMPARE(backup.data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
  model.setData(backup, Qt::Checked, Qt::CheckStateRole);
  QVERIFY(waitForSignal(changed));
  const CopiesAndBytes after = session->model().figures(FilteringCriterion::all).selected;
  QCOMPARE(after.count, before.count + 1);
  QCOMPARE(after.size, before.size + 90'000);
  QCOMPARE(model.shown().selected, after);
}

}  // namespace zarnik::gui::testing
