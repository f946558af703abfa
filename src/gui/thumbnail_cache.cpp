#include "gui/thumbnail_cache.h"

#include "foundation/executor.h"
#include "platform/image_decoding.h"

#include <QMetaObject>
#include <QPointer>

namespace zarnik::gui {

QString ThumbnailCache::keyOf(const QString& path, std::int64_t size) {
  return path + QChar(0) + QString::number(size);
}

QImage ThumbnailCache::thumbnail(const QString& path, std::int64_t size) {
  const QString key = keyOf(path, size);
  if (const auto found = images_.find(key); found != images_.end()) return *found;
  if (pending_.contains(key)) return {};
  pending_.insert(key);
  QPointer<ThumbnailCache> self(this);
  Executor::primary().execute([self, key, path, size, file = path.toStdString()] {
    auto decoded = decodePictureForHashing(file);
    QImage image;
    QString reason;
    if (decoded.hasValue()) {
      const auto& picture = decoded.value();
      image = QImage(picture.rgb.data(), picture.width, picture.height, picture.width * 3,
                     QImage::Format_RGB888)
                  .copy();  // the pixels go with `decoded`
    } else {
      reason = QString::fromStdString(decoded.error().oneLine());
    }
    // The cache may be gone by now: the queued call is then dropped with it.
    QMetaObject::invokeMethod(
        self.data(),
        [self, key, path, size, image, reason] {
          if (!self) return;
          self->pending_.remove(key);
          if (image.isNull()) {
            emit self->failed(path, reason);
            return;
          }
          self->images_.insert(key, image);
          emit self->ready(path, size);
        },
        Qt::QueuedConnection);
  });
  return {};
}

}  // namespace zarnik::gui
