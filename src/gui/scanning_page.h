// The page shown while a scan runs: its stage, the items listed and the bytes read so far, what is
// found, and Cancel (keeping what was found when asked).
#pragma once

#include "gui/desktop_session.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

namespace zarnik::gui {

class ScanningPage : public QWidget {
  Q_OBJECT

 public:
  explicit ScanningPage(QWidget* parent = nullptr);

  void showProgress(const ScanProgress& progress);
  void showFinished(const QString& error);
  void showStarted();

 signals:
  void cancelRequested(bool keepResults);

 private:
  QLabel* stage_;
  QProgressBar* bar_;
  QWidget* figures_;
  QLabel* listed_;
  QLabel* read_;
  QLabel* found_;
  QLabel* current_;
  QCheckBox* keep_;
  QPushButton* cancel_;
};

// "Listing the items", "Comparing contents"...
[[nodiscard]] QString stageTitle(ScanningPhase phase);

}  // namespace zarnik::gui
