// Draws a tile of the review's grid: the picture with the copy's check box on its corner (checked:
// marked for removal, and framed in red), and the name, folder and "Keep"/"Remove" under it. A
// click on the check box sets the check state through the model, as the list's check box does.
#pragma once

#include <QStyledItemDelegate>

namespace zarnik::gui {

class PictureTileDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  [[nodiscard]] QSize sizeHint(const QStyleOptionViewItem& option,
                               const QModelIndex& index) const override;
  // Where the check box of the tile drawn in `tile` lies.
  [[nodiscard]] static QRect checkBoxRect(const QRect& tile, const QWidget* widget);

 protected:
  bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
};

}  // namespace zarnik::gui
