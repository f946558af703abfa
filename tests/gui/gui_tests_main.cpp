// The window's tests, with Qt's offscreen platform unless another is asked for, in a home folder
// of their own.
#include "gui_fixture.h"
#include "monitor_menu_test.h"
#include "picture_grid_test.h"
#include "preferences_pages_test.h"
#include "responsiveness_test.h"
#include "results_adapter_test.h"
#include "screenshot_test.h"
#include "session_flow_test.h"

#include <QApplication>
#include <QTest>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  zarnik::gui::testing::useTemporaryHome();
  QApplication app(argc, argv);
  int status = 0;
  {
    zarnik::gui::testing::ResultsAdapterTest test;
    status |= QTest::qExec(&test, argc, argv);
  }
  {
    zarnik::gui::testing::SessionFlowTest test;
    status |= QTest::qExec(&test, argc, argv);
  }
  {
    zarnik::gui::testing::PreferencesPagesTest test;
    status |= QTest::qExec(&test, argc, argv);
  }
  {
    zarnik::gui::testing::PictureGridTest test;
    status |= QTest::qExec(&test, argc, argv);
  }
  {
    zarnik::gui::testing::MonitorMenuTest test;
    status |= QTest::qExec(&test, argc, argv);
  }
  {
    zarnik::gui::testing::ScreenshotTest test;
    status |= QTest::qExec(&test, argc, argv);
  }
  {
    zarnik::gui::testing::ResponsivenessTest test;
    status |= QTest::qExec(&test, argc, argv);
  }
  return status;
}
