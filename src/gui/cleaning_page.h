// The cleaning: how the marked copies go (trash, delete, move to a folder, hard links to the kept
// copy), what would go, a confirmation listing the copies and the warnings, progress, and the
// report with the failures and their reasons.
#pragma once

#include "gui/desktop_session.h"

#include "cleaning/cleaning_plan.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

namespace zarnik::gui {

class CleaningPage : public QWidget {
  Q_OBJECT

 public:
  explicit CleaningPage(DesktopSession& session, QWidget* parent = nullptr);

  // Reads what would go now.
  void refresh();
  [[nodiscard]] CleaningWay way() const;
  void setWay(CleaningWay way);
  // Cleans without asking (for tests and the keyboard path through the confirmation).
  void cleanNow();
  // Whether cleaning asks first; a test answers for the person.
  void setConfirms(bool confirms) { confirms_ = confirms; }

 private:
  void showPlan(const CleaningPlan& plan, const QStringList& warnings);
  void askAndClean();
  void showOutcome(const CleaningOutcome& outcome);

  DesktopSession& session_;
  QRadioButton* trash_;
  QRadioButton* remove_;
  QRadioButton* moveTo_;
  QRadioButton* hardLink_;
  QLineEdit* folder_;
  QLabel* plan_;
  QPushButton* clean_;
  QPushButton* cancel_;
  QProgressBar* bar_;
  QListWidget* planned_;
  QPlainTextEdit* report_;
  CleaningPlan lastPlan_;
  QStringList lastWarnings_;
  bool confirms_ = true;
};

}  // namespace zarnik::gui
