// zarnik-gui: the desktop program. `--screenshot OUT.png [--page NAME] [--grid] [--scan PATH...]`
// saves what a person would see and quits (with QT_QPA_PLATFORM=offscreen or under xvfb-run).
#include "gui/screenshot.h"

#include "foundation/logger.h"
#include "scanning/scanning_task.h"

#include <QApplication>
#include <QCommandLineParser>
#include <clocale>
#include <cstdio>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // Qt takes the desktop's locale for the C library too; the library reads and writes numbers
  // ("0.1" in settings and JSON) the C way, whatever the language shown.
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setApplicationName("zarnik-gui");
  QApplication::setDesktopFileName("zarnik");
  zarnik::Logger::shared().setConsole(nullptr);

  QCommandLineParser parser;
  parser.setApplicationDescription("Find and remove duplicate files in a window.");
  parser.addHelpOption();
  QCommandLineOption screenshot("screenshot", "Save the window as a PNG picture and quit.",
                                "OUT.png");
  QCommandLineOption page("page",
                          "The page the picture shows: locations, scanning, review, cleaning, "
                          "history, preferences or achievements.",
                          "NAME", "locations");
  QCommandLineOption scan("scan", "Scan this folder first (repeatable).", "PATH");
  QCommandLineOption grid("grid", "Show the review page's pictures as a grid.");
  QCommandLineOption monitorReview("monitor-review",
                                   "Open on the duplicates the monitor found (its notifications' "
                                   "Review).");
  parser.addOptions({screenshot, page, scan, grid, monitorReview});
  parser.addPositionalArgument("PATH", "More folders to scan with --scan.", "[PATH...]");
  parser.process(app);

  const auto shownPage = zarnik::gui::pageNamed(parser.value(page));
  if (!shownPage) {
    std::fprintf(stderr,
                 "zarnik-gui: --page %s: expected locations, scanning, review, cleaning, "
                 "history, preferences or achievements\n",
                 qPrintable(parser.value(page)));
    return 2;
  }
  zarnik::gui::DesktopSession session(
      zarnik::DuplicatesDetectionSpec::standard(std::make_shared<zarnik::ScanningService>()));
  zarnik::gui::MainWindow window(session);
  if (parser.isSet(monitorReview)) window.reviewMonitorFindingsOnceOpen();
  if (!parser.isSet(screenshot)) {
    window.resize(zarnik::gui::kScreenshotWidth, zarnik::gui::kScreenshotHeight);
    window.show();
    return QApplication::exec();
  }
  QStringList scanPaths = parser.values(scan);
  if (!scanPaths.isEmpty()) scanPaths += parser.positionalArguments();
  const QString error = zarnik::gui::takeScreenshot(
      session, window, {parser.value(screenshot), *shownPage, scanPaths, parser.isSet(grid)});
  if (!error.isEmpty()) {
    std::fprintf(stderr, "zarnik-gui: %s\n", qPrintable(error));
    return 1;
  }
  return 0;
}
