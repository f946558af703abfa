// Statistics and achievements: what `zarnik stats` and `zarnik stats achievements` show, the
// lifetime totals (space freed, copies removed, scans), the rank held and how far the points go,
// and every achievement, earned or not, with its description. Read off the window's thread, on a
// queue of the page's own, each time the page is shown; destroying the page waits for a read
// under way.
#pragma once

#include "foundation/serial_queue.h"

#include <QLabel>
#include <QProgressBar>
#include <QTreeWidget>
#include <QWidget>
#include <memory>
#include <vector>

class QFormLayout;

namespace zarnik::gui {

// What the page shows, read from the statistics file and the achievements' resources.
struct AchievementsSnapshot {
  struct Entry {
    QString title;
    QString description;
    bool earned = false;
    double points = 0;
  };
  struct Group {
    QString title;
    std::vector<Entry> achievements;
  };
  std::vector<std::pair<QString, QString>> totals;  // what, how much
  QString problem;  // why the achievements (or the statistics) are not all there
  bool hasAchievements = false;
  double fractionCompleted = 0;
  QString rank;
  QString nextRank;  // "Organizer, from 50 %"; empty at the top
  std::vector<Group> groups;
};

class AchievementsPage : public QWidget {
  Q_OBJECT

 public:
  explicit AchievementsPage(QWidget* parent = nullptr);
  ~AchievementsPage() override;

  // Reads the statistics again; loaded() follows.
  void refresh();
  [[nodiscard]] const AchievementsSnapshot& snapshot() const { return snapshot_; }
  [[nodiscard]] QTreeWidget& list() { return *list_; }
  [[nodiscard]] QLabel& rankLabel() { return *rank_; }

 signals:
  void loaded();

 private:
  void showSnapshot();
  void showTotals();

  std::shared_ptr<SerialQueue> queue_;
  AchievementsSnapshot snapshot_;
  QFormLayout* totals_;
  QLabel* rank_;
  QProgressBar* progress_;
  QLabel* nextRank_;
  QTreeWidget* list_;
  QLabel* problem_;
};

}  // namespace zarnik::gui
