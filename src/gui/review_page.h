// The review: the criteria with their counts and sizes in a sidebar, the groups and their copies
// (search, ordering, a selection strategy per group, keep/remove check boxes, undo and redo), and
// a preview of the current copy (its picture, file facts, warnings, "Open in File Manager").
// "Grid" (Ctrl+G) shows the current group's copies as tiles with their pictures instead of the
// list, Page Up and Page Down going to the group before or after.
// Keyboard: arrows move, Space toggles the current copy, Delete marks it for removal.
#pragma once

#include "gui/desktop_session.h"
#include "gui/picture_grid_model.h"
#include "gui/results_item_model.h"
#include "gui/thumbnail_cache.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeView>
#include <QWidget>

namespace zarnik::gui {

class ReviewPage : public QWidget {
  Q_OBJECT

 public:
  explicit ReviewPage(DesktopSession& session, QWidget* parent = nullptr);

  [[nodiscard]] ResultsItemModel& model() { return *model_; }
  [[nodiscard]] QTreeView& tree() { return *tree_; }
  // What the preview pane says of the current copy (rich text).
  [[nodiscard]] QString previewFacts() const;
  // Makes the first copy of the first group current, as a person starting the review sees it.
  void showFirstCopy();
  // Shows the current group's copies as a grid of pictures, or the list again.
  void setGridShown(bool shown);
  [[nodiscard]] bool isGridShown() const;
  [[nodiscard]] QListView& grid() { return *grid_; }
  [[nodiscard]] PictureGridModel& gridModel() { return *gridModel_; }

 signals:
  void cleanRequested();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void fillCriteria();
  void applyQuery();
  void expandFirstGroups();
  void updateSummary();
  void showPreview();
  void openFolderOfCurrent();
  void chooseStrategyForCurrent(int comboIndex);
  QWidget* makeGridPane();
  void followCurrentGroup();
  void showGroupBeside(int step);
  void toggleCurrent(const QModelIndex& current, bool remove);

  DesktopSession& session_;
  ResultsItemModel* model_;
  ThumbnailCache thumbnails_;
  QListWidget* criteria_;
  QLineEdit* search_;
  QComboBox* ordering_;
  QComboBox* strategy_;
  QTreeView* tree_;
  // Made by makeGridPane().
  PictureGridModel* gridModel_ = nullptr;
  QListView* grid_ = nullptr;
  QLabel* gridTitle_ = nullptr;
  QPushButton* previousGroup_ = nullptr;
  QPushButton* nextGroup_ = nullptr;
  QPushButton* gridToggle_;
  QStackedWidget* views_;
  QLabel* summary_;
  QLabel* picture_;
  QLabel* facts_;
  QLabel* warnings_;
  QPushButton* openFolder_;
  QPushButton* undo_;
  QPushButton* redo_;
  QString previewPath_;
};

// "automatic", "newest"... as offered to a person.
[[nodiscard]] QString strategyTitle(SelectionStrategy strategy);

}  // namespace zarnik::gui
