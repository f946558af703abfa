#pragma once

#include <QObject>

namespace zarnik::gui::testing {

class ResponsivenessTest : public QObject {
  Q_OBJECT

 private slots:
  void theWindowAnswersWithin100MillisecondsWhileALargeFolderIsScanned();
};

}  // namespace zarnik::gui::testing
