#include "gui/picture_grid_model.h"

#include <QApplication>
#include <QColor>
#include <QFileInfo>
#include <QStyle>

namespace zarnik::gui {
namespace {

QString keyOf(const QString& path, std::int64_t size) {
  return path + QChar(0) + QString::number(size);
}

}  // namespace

PictureGridModel::PictureGridModel(ResultsItemModel& results, ThumbnailCache& thumbnails,
                                   QObject* parent)
    : QIdentityProxyModel(parent), results_(results), thumbnails_(thumbnails) {
  setSourceModel(&results_);
  connect(&thumbnails_, &ThumbnailCache::ready, this,
          [this](const QString& path, std::int64_t) { thumbnailReady(path); });
  connect(&thumbnails_, &ThumbnailCache::failed, this,
          [this](const QString& path, const QString&) { thumbnailFailed(path); });
  connect(this, &QAbstractItemModel::modelReset, this, [this] { waiting_.clear(); });
}

QVariant PictureGridModel::data(const QModelIndex& index, int role) const {
  const QModelIndex source = mapToSource(index);
  const ResultsCopy* copy = results_.copyAt(source);
  const ResultsGroup* group = results_.groupAt(source);
  if (!copy || !group || index.column() != ResultsItemModel::nameColumn)
    return QIdentityProxyModel::data(index, role);
  const bool marked = !copy->cleaned && group->isSelected(*copy);
  switch (role) {
    case Qt::DisplayRole: {
      const QString state = copy->cleaned ? QString("Cleaned")
                            : marked      ? QString("Remove")
                                          : QString("Keep");
      const QString folder =
          QFileInfo(QIdentityProxyModel::data(index.siblingAtColumn(ResultsItemModel::folderColumn),
                                              Qt::DisplayRole)
                        .toString())
              .fileName();
      return QIdentityProxyModel::data(index, role).toString() + "\nin " + folder + "\n" + state;
    }
    case Qt::DecorationRole:
      return thumbnailOf(index, *copy);
    case Qt::BackgroundRole:
      // The tiles that go stand out from the ones kept at a glance.
      return marked ? QVariant(QColor(220, 60, 60, 70)) : QVariant();
    default:
      return QIdentityProxyModel::data(index, role);
  }
}

QVariant PictureGridModel::thumbnailOf(const QModelIndex& index, const ResultsCopy& copy) const {
  const QString path = QString::fromStdString(copy.path);
  const QString key = keyOf(path, copy.size);
  if (const auto found = scaled_.find(key); found != scaled_.end())
    return QVariant::fromValue(*found);
  if (!noPicture_.contains(path)) {
    const QImage image = thumbnails_.thumbnail(path, copy.size);
    if (!image.isNull()) {
      const QPixmap pixmap = QPixmap::fromImage(
          image.scaled(kTileSide, kTileSide, Qt::KeepAspectRatio, Qt::SmoothTransformation));
      scaled_.insert(key, pixmap);
      return QVariant::fromValue(pixmap);
    }
    waiting_[path] << QPersistentModelIndex(index);
  }
  return QVariant::fromValue(QApplication::style()->standardIcon(QStyle::SP_FileIcon));
}

void PictureGridModel::thumbnailReady(const QString& path) {
  for (const QPersistentModelIndex& tile : waiting_.take(path)) {
    if (tile.isValid()) emit dataChanged(tile, tile, {Qt::DecorationRole});
  }
}

void PictureGridModel::thumbnailFailed(const QString& path) {
  noPicture_.insert(path);
  thumbnailReady(path);
}

}  // namespace zarnik::gui
