// The review's grid of pictures: a tile's mark changes through the library as the list's check
// box does (undo and redo included), the tiles show the pictures decoded off the window's
// thread, and Page Down shows the next group.
#include "picture_grid_test.h"

#include "gui/picture_tile_delegate.h"
#include "gui/review_page.h"
#include "gui_fixture.h"
#include "support/pictures.h"

#include "platform/image_decoding.h"

#include <QDir>
#include <QPixmap>
#include <QPushButton>
#include <QTest>

namespace zarnik::gui::testing {
namespace {

// Whether the library has the copy at `tile` marked for removal.
bool storedMark(const DesktopSession& session, const PictureGridModel& grid,
                const QModelIndex& tile) {
  const auto group = grid.data(tile, ResultsItemModel::groupIdentifierRole).toLongLong();
  const auto copy = grid.data(tile, ResultsItemModel::copyIdentifierRole).toLongLong();
  const ZKEquivalence* stored = session.storedGroup(group);
  if (!stored) return false;
  return stored->currentSelectionConfiguration &&
         stored->currentSelectionConfiguration->isSelected(copy);
}

QPushButton* buttonNamed(QWidget& page, const QString& text) {
  for (auto* button : page.findChildren<QPushButton*>())
    if (button->text() == text) return button;
  return nullptr;
}

// The sample tree with two groups of pictures, scanned and reviewed on a page showing its grid.
struct GridOfPictures {
  SampleTree tree;
  std::unique_ptr<DesktopSession> session = makeSession();
  std::unique_ptr<ReviewPage> page;

  bool open() {
    if (!tree.addPictures() || !scanAndLoad(*session, tree.dir.path())) return false;
    page = std::make_unique<ReviewPage>(*session);
    page->resize(1100, 700);
    page->show();
    page->showFirstCopy();
    page->setGridShown(true);
    return true;
  }
};

}  // namespace

void PictureGridTest::init() { useFreshUserFolders(); }

void PictureGridTest::aTileToggledChangesTheStoredMarksAndUndoRestoresThem() {
  GridOfPictures shown;
  QVERIFY(shown.open());
  auto& session = shown.session;
  ReviewPage& page = *shown.page;
  QVERIFY(page.isGridShown());
  QListView& grid = page.grid();
  PictureGridModel& tiles = page.gridModel();
  QVERIFY(grid.rootIndex().isValid());
  QVERIFY(tiles.rowCount(grid.rootIndex()) >= 2);
  // A copy the scan marked, if any: unmarking it raises no warning to confirm.
  QModelIndex tile = tiles.index(0, 0, grid.rootIndex());
  for (int row = 0; row < tiles.rowCount(grid.rootIndex()); ++row) {
    const QModelIndex candidate = tiles.index(row, 0, grid.rootIndex());
    if (candidate.data(Qt::CheckStateRole).toInt() == Qt::Checked) tile = candidate;
  }
  grid.setCurrentIndex(tile);
  // The grid's current tile is the list's current copy, which the preview shows.
  QCOMPARE(tiles.mapToSource(tile), page.tree().currentIndex().siblingAtColumn(0));
  const QPersistentModelIndex kept(tile);

  const bool before = storedMark(*session, tiles, kept);
  QCOMPARE(kept.data(Qt::CheckStateRole).toInt(), int(before ? Qt::Checked : Qt::Unchecked));
  QVERIFY(kept.data(Qt::DisplayRole).toString().endsWith(before ? "\nRemove" : "\nKeep"));
  QSignalSpy changed(session.get(), &DesktopSession::groupChanged);
  QTest::keyClick(&grid, Qt::Key_Space);
  QVERIFY(waitForSignal(changed));
  QCOMPARE(storedMark(*session, tiles, kept), !before);
  QCOMPARE(kept.data(Qt::CheckStateRole).toInt(), int(before ? Qt::Unchecked : Qt::Checked));
  QVERIFY(kept.data(Qt::DisplayRole).toString().endsWith(before ? "\nKeep" : "\nRemove"));

  // The list's undo brings the mark back, and the tile shows it.
  changed.clear();
  QPushButton* undo = buttonNamed(page, "Undo");
  QVERIFY(undo);
  undo->click();
  QVERIFY(waitForSignal(changed));
  QCOMPARE(storedMark(*session, tiles, kept), before);
  QCOMPARE(kept.data(Qt::CheckStateRole).toInt(), int(before ? Qt::Checked : Qt::Unchecked));

  // A click on the tile's check box toggles it, as in the list.
  changed.clear();
  const QPoint box = PictureTileDelegate::checkBoxRect(grid.visualRect(kept), &grid).center();
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, box);
  QVERIFY(waitForSignal(changed));
  QCOMPARE(storedMark(*session, tiles, kept), !before);
  changed.clear();
  session->undo();
  QVERIFY(waitForSignal(changed));
  QCOMPARE(storedMark(*session, tiles, kept), before);

  page.setGridShown(false);
  QVERIFY(!page.isGridShown());
  QVERIFY(page.tree().isVisible());
}

void PictureGridTest::theTilesShowThePicturesAndPageDownGoesToTheNextGroup() {
  GridOfPictures shown;
  QVERIFY(shown.open());
  ReviewPage& page = *shown.page;
  QListView& grid = page.grid();
  PictureGridModel& tiles = page.gridModel();
  // Four groups: the report, the photo, two pictures; each shows its own copies.
  const int groups = page.model().rowCount();
  QCOMPARE(groups, 4);
  QList<QPersistentModelIndex> roots;
  for (int step = 0; step < groups; ++step) {
    const QModelIndex root = grid.rootIndex();
    QVERIFY(root.isValid());
    QCOMPARE(root.row(), step);
    QCOMPARE(tiles.rowCount(root), page.model().rowCount(tiles.mapToSource(root)));
    roots << root;
    QTest::keyClick(&grid, Qt::Key_PageDown);
  }
  QCOMPARE(grid.rootIndex().row(), groups - 1);  // the last group stays
  QTest::keyClick(&grid, Qt::Key_PageUp);
  QCOMPARE(grid.rootIndex().row(), groups - 2);

  // The pictures' tiles get their thumbnails, no larger than a tile; other files keep an icon.
  int pictures = 0;
  for (const auto& root : roots) {
    const QModelIndex first = tiles.index(0, 0, root);
    if (!first.data(ResultsItemModel::pathRole).toString().contains("holiday-")) continue;
    ++pictures;
    (void)first.data(Qt::DecorationRole);  // asks for it
    QTRY_VERIFY_WITH_TIMEOUT(first.data(Qt::DecorationRole).userType() == QMetaType::QPixmap,
                             20'000);
    const auto pixmap = first.data(Qt::DecorationRole).value<QPixmap>();
    QCOMPARE(pixmap.width(), PictureGridModel::kTileSide);
    QVERIFY(pixmap.height() <= PictureGridModel::kTileSide);
  }
  QCOMPARE(pictures, 2);
}

}  // namespace zarnik::gui::testing
