// The history: the copies past cleanings removed, cleaning by cleaning, with what became of each,
// and bringing back the chosen ones or all of them.
#pragma once

#include "gui/desktop_session.h"

#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QWidget>

namespace zarnik::gui {

class HistoryPage : public QWidget {
  Q_OBJECT

 public:
  explicit HistoryPage(DesktopSession& session, QWidget* parent = nullptr);

  void refresh();
  [[nodiscard]] QTreeWidget& list() { return *list_; }
  // Brings back the copies chosen in the list (every copy of a chosen cleaning).
  void revertChosen();

 private:
  DesktopSession& session_;
  QTreeWidget* list_;
  QPushButton* revertChosen_;
  QPushButton* revertAll_;
  QLabel* outcome_;
};

}  // namespace zarnik::gui
