#include "gui/picture_tile_delegate.h"

#include "gui/picture_grid_model.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

namespace zarnik::gui {
namespace {

constexpr int kMargin = 6;

QStyle* styleOf(const QWidget* widget) { return widget ? widget->style() : QApplication::style(); }

QRect pictureRect(const QRect& tile) {
  const int side = PictureGridModel::kTileSide;
  return {tile.x() + (tile.width() - side) / 2, tile.y() + kMargin, side, side};
}

}  // namespace

QRect PictureTileDelegate::checkBoxRect(const QRect& tile, const QWidget* widget) {
  const QStyle* style = styleOf(widget);
  const int width = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, widget);
  const int height = style->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, widget);
  const QRect picture = pictureRect(tile);
  return {picture.x() + kMargin, picture.y() + kMargin, width, height};
}

QSize PictureTileDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
  const int lines = 3;
  return {PictureGridModel::kTileSide + 2 * kMargin,
          PictureGridModel::kTileSide + 2 * kMargin + lines * option.fontMetrics.height()};
}

void PictureTileDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
  QStyleOptionViewItem tile = option;
  initStyleOption(&tile, index);
  const QWidget* widget = option.widget;
  QStyle* style = styleOf(widget);
  // The tint of a copy marked for removal, and the current tile framed; the text stays readable.
  painter->save();
  if (tile.backgroundBrush.style() != Qt::NoBrush)
    painter->fillRect(option.rect, tile.backgroundBrush);
  if (option.state & QStyle::State_Selected) {
    QColor ground = option.palette.color(QPalette::Highlight);
    ground.setAlpha(50);
    painter->fillRect(option.rect, ground);
    painter->setPen(QPen(option.palette.color(QPalette::Highlight), 2));
    painter->drawRect(option.rect.adjusted(1, 1, -1, -1));
  }
  painter->restore();

  const QRect picture = pictureRect(option.rect);
  tile.icon.paint(painter, picture, Qt::AlignHCenter | Qt::AlignTop);
  const QVariant check = index.data(Qt::CheckStateRole);
  const bool marked = check.isValid() && check.toInt() == Qt::Checked;
  if (marked) {
    const QSize shown = tile.icon.actualSize(picture.size());
    painter->save();
    painter->setPen(QPen(QColor(200, 30, 30), 3));
    painter->drawRect(
        QStyle::alignedRect(Qt::LeftToRight, Qt::AlignHCenter | Qt::AlignTop, shown, picture)
            .adjusted(1, 1, -2, -2));
    painter->restore();
  }
  if (check.isValid()) {
    QStyleOptionViewItem box = tile;
    box.rect = checkBoxRect(option.rect, widget);
    box.state = (box.state & ~(QStyle::State_On | QStyle::State_Off)) |
                (marked ? QStyle::State_On : QStyle::State_Off);
    // A light ground, so that the box shows on a dark picture.
    painter->fillRect(box.rect.adjusted(-2, -2, 2, 2), option.palette.base());
    style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &box, painter, widget);
  }

  const int below = picture.y() + tile.icon.actualSize(picture.size()).height() + 4;
  const QRect text(option.rect.x() + 2, below, option.rect.width() - 4,
                   option.rect.bottom() - below);
  QStringList lines;
  for (const QString& line : index.data(Qt::DisplayRole).toString().split('\n'))
    lines << option.fontMetrics.elidedText(line, Qt::ElideMiddle, text.width());
  painter->save();
  painter->setPen(option.palette.color(QPalette::Normal, QPalette::Text));
  painter->setFont(option.font);
  painter->drawText(text, Qt::AlignHCenter | Qt::AlignTop, lines.join('\n'));
  painter->restore();
}

bool PictureTileDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                      const QStyleOptionViewItem& option,
                                      const QModelIndex& index) {
  const bool mouse = event->type() == QEvent::MouseButtonPress ||
                     event->type() == QEvent::MouseButtonRelease ||
                     event->type() == QEvent::MouseButtonDblClick;
  if (!mouse || !(index.flags() & Qt::ItemIsUserCheckable))
    return QStyledItemDelegate::editorEvent(event, model, option, index);
  const auto* click = static_cast<QMouseEvent*>(event);
  if (click->button() != Qt::LeftButton ||
      !checkBoxRect(option.rect, option.widget).contains(click->position().toPoint()))
    return QStyledItemDelegate::editorEvent(event, model, option, index);
  // The press and a double click are taken too, so that the box changes once per click.
  if (event->type() != QEvent::MouseButtonRelease) return true;
  const bool marked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
  return model->setData(index, marked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
}

}  // namespace zarnik::gui
