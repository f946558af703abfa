#include "gui/screenshot.h"

#include <QEventLoop>
#include <QImage>
#include <QPixmap>
#include <QTimer>

namespace zarnik::gui {
namespace {

// Runs the event loop until `signal` of `sender` fires, or at most `seconds`.
template <typename Sender, typename Signal>
bool waitFor(Sender* sender, Signal signal, int seconds, const std::function<void()>& start = {}) {
  QEventLoop loop;
  bool fired = false;
  auto connection = QObject::connect(sender, signal, &loop, [&] {
    fired = true;
    loop.quit();
  });
  QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
  if (start) start();
  if (!fired) loop.exec();
  QObject::disconnect(connection);
  return fired;
}

}  // namespace

QString takeScreenshot(DesktopSession& session, MainWindow& window,
                       const ScreenshotRequest& request) {
  window.resize(kScreenshotWidth, kScreenshotHeight);
  window.show();
  // The stored results the window opened with.
  if (session.isLoading()) waitFor(&session, &DesktopSession::resultsLoaded, 30);
  if (!request.scanPaths.isEmpty()) {
    window.locationsPage().setLocations(request.scanPaths);
    ScanKinds kinds = window.locationsPage().kinds();
    kinds.everySize = true;  // the small folders of a demonstration show their groups too
    window.locationsPage().setKinds(kinds);
    QString failure;
    auto finished = QObject::connect(&session, &DesktopSession::scanFinished,
                                     [&failure](const QString& error) { failure = error; });
    if (!waitFor(&session, &DesktopSession::resultsLoaded, 600, [&] { window.startScan(); }))
      return "the scan did not finish within ten minutes";
    QObject::disconnect(finished);
    if (!failure.isEmpty()) return "the scan failed: " + failure;
  }
  if (request.page == Page::cleaning) {
    waitFor(&session, &DesktopSession::planReady, 30, [&] { window.showPage(request.page); });
  } else if (request.page == Page::preferences) {
    waitFor(&window.preferencesEditor(), &PreferencesEditor::loaded, 30,
            [&] { window.showPage(request.page); });
  } else if (request.page == Page::achievements) {
    waitFor(&window.achievementsPage(), &AchievementsPage::loaded, 30,
            [&] { window.showPage(request.page); });
  } else {
    window.showPage(request.page);
  }
  if (request.page == Page::review) window.reviewPage().showFirstCopy();
  if (request.page == Page::review && request.grid) window.reviewPage().setGridShown(true);
  if (request.page == Page::review &&
      window.reviewPage().model().copyAt(window.reviewPage().tree().currentIndex())) {
    // The preview's picture is decoded off the GUI thread; a moment for it to arrive.
    QEventLoop settle;
    QTimer::singleShot(1500, &settle, &QEventLoop::quit);
    settle.exec();
  }
  QEventLoop layout;
  QTimer::singleShot(50, &layout, &QEventLoop::quit);
  layout.exec();
  const QImage image = window.grab().toImage();
  if (!image.save(request.output, "PNG")) return request.output + ": the picture cannot be written";
  return {};
}

}  // namespace zarnik::gui
