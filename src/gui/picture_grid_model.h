// The review's copies as tiles of a grid: the results' own rows (a check box says the copy is
// marked for removal, and checking it asks the library as the list does), with the picture's
// thumbnail, decoded off the window's thread, and "Keep" or "Remove" under the name.
#pragma once

#include "gui/results_item_model.h"
#include "gui/thumbnail_cache.h"

#include <QHash>
#include <QIdentityProxyModel>
#include <QPersistentModelIndex>
#include <QPixmap>
#include <QSet>

namespace zarnik::gui {

class PictureGridModel : public QIdentityProxyModel {
  Q_OBJECT

 public:
  static constexpr int kTileSide = 160;

  PictureGridModel(ResultsItemModel& results, ThumbnailCache& thumbnails,
                   QObject* parent = nullptr);

  [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;

 private:
  [[nodiscard]] QVariant thumbnailOf(const QModelIndex& index, const ResultsCopy& copy) const;
  void thumbnailReady(const QString& path);
  void thumbnailFailed(const QString& path);

  ResultsItemModel& results_;
  ThumbnailCache& thumbnails_;
  // Tiles waiting for their picture, by path, and the pictures scaled for the tiles.
  mutable QHash<QString, QList<QPersistentModelIndex>> waiting_;
  mutable QHash<QString, QPixmap> scaled_;
  QSet<QString> noPicture_;
};

}  // namespace zarnik::gui
