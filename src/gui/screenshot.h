// The testing hook that shows what a person sees: scans the folders given (if any), opens a page,
// and saves the window, 1280 × 800, as a PNG.
#pragma once

#include "gui/main_window.h"

#include <QString>
#include <QStringList>

namespace zarnik::gui {

struct ScreenshotRequest {
  QString output;
  Page page = Page::locations;
  QStringList scanPaths;
  bool grid = false;  // the review page shows its grid of pictures
};

inline constexpr int kScreenshotWidth = 1280;
inline constexpr int kScreenshotHeight = 800;

// Waits for what the page shows (the scan, the stored results, the cleaning plan, the preferences,
// the statistics) in a local event loop; an error line when the scan failed or the file cannot be
// written.
[[nodiscard]] QString takeScreenshot(DesktopSession& session, MainWindow& window,
                                     const ScreenshotRequest& request);

}  // namespace zarnik::gui
