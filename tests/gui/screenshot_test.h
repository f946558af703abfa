#pragma once

#include <QObject>

namespace zarnik::gui::testing {

class ScreenshotTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void everyPageIsDrawnWholeAndNotBlank_data();
  void everyPageIsDrawnWholeAndNotBlank();
};

}  // namespace zarnik::gui::testing
