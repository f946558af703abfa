// Thumbnails of pictures for the review's preview, decoded by the library's picture decoding on
// the shared pool, never on the GUI thread, and kept by path and file size (a file rewritten with
// another size is decoded again).
#pragma once

#include <QHash>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>
#include <cstdint>

namespace zarnik::gui {

class ThumbnailCache : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;

  // The thumbnail when it is decoded; else a null image, and ready() follows once it is (or
  // failed() when the file is no picture that can be decoded).
  QImage thumbnail(const QString& path, std::int64_t size);

 signals:
  void ready(const QString& path, std::int64_t size);
  void failed(const QString& path, const QString& reason);

 private:
  static QString keyOf(const QString& path, std::int64_t size);
  QHash<QString, QImage> images_;
  QSet<QString> pending_;
};

}  // namespace zarnik::gui
