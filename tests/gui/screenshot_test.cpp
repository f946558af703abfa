// One picture of every page, after a scan of a small folder with pictures, left in the build
// folder (gui-screenshots/) for a person to look at; each must be the window's size and show more
// than a few colours.
#include "screenshot_test.h"

#include "gui/screenshot.h"
#include "gui_fixture.h"
#include "support/pictures.h"

#include "platform/image_decoding.h"

#include <QDir>
#include <QImage>
#include <QSet>
#include <QTest>

namespace zarnik::gui::testing {
namespace {

// The number of distinct colours, counted up to `enough`.
int coloursIn(const QImage& image, int enough) {
  QSet<QRgb> colours;
  for (int y = 0; y < image.height(); y += 2) {
    for (int x = 0; x < image.width(); x += 2) {
      colours.insert(image.pixel(x, y));
      if (colours.size() >= enough) return enough;
    }
  }
  return static_cast<int>(colours.size());
}

}  // namespace

void ScreenshotTest::initTestCase() {
  useFreshUserFolders();
  QDir().mkpath(ZARNIK_SCREENSHOT_FOLDER);
}

void ScreenshotTest::everyPageIsDrawnWholeAndNotBlank_data() {
  QTest::addColumn<QString>("page");
  for (const char* page : {"locations", "scanning", "review", "review-grid", "cleaning", "history",
                           "preferences", "achievements"})
    QTest::newRow(page) << QString(page);
}

void ScreenshotTest::everyPageIsDrawnWholeAndNotBlank() {
  QFETCH(QString, page);
  // The first two pages scan a folder of pictures; the others show the session left.
  static SampleTree tree;
  static const bool pictures = tree.addPictures();
  QVERIFY(pictures);
  auto session = makeSession();
  MainWindow window(*session);
  ScreenshotRequest request;
  request.output = QString("%1/%2.png").arg(ZARNIK_SCREENSHOT_FOLDER, page);
  request.grid = page == "review-grid";
  request.page = *pageNamed(request.grid ? QString("review") : page);
  if (page == "locations" || page == "scanning") request.scanPaths = {tree.dir.path()};
  const QString error = takeScreenshot(*session, window, request);
  QVERIFY2(error.isEmpty(), qPrintable(error));
  const QImage shot(request.output);
  QCOMPARE(shot.width(), kScreenshotWidth);
  QCOMPARE(shot.height(), kScreenshotHeight);
  QVERIFY2(coloursIn(shot, 16) >= 16, qPrintable(request.output + " is nearly blank"));
}

}  // namespace zarnik::gui::testing
