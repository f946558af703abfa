#include "gui/achievements_page.h"

#include "foundation/byte_count_formatter.h"
#include "platform/install_layout.h"
#include "statistics/achievements_store.h"
#include "statistics/statistician.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLocale>
#include <QMetaObject>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace zarnik::gui {
namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }

QString bytes(std::int64_t count) { return qs(formatByteCount(count)); }

QString counted(std::int64_t count, const char* one, const char* many) {
  return QString("%1 %2").arg(QLocale().toString(static_cast<qlonglong>(count)),
                              count == 1 ? one : many);
}

QString percent(double fraction) {
  return QString("%1 %").arg(static_cast<int>(std::floor(100 * fraction)));
}

// The lifetime figures `zarnik stats` prints, one line each.
std::vector<std::pair<QString, QString>> totalsOf(const StatisticianStore& s) {
  const std::int64_t found = s.number("_foundSize");
  return {
      {"Space freed", bytes(s.number("cleanedSize"))},
      {"Copies removed",
       QLocale().toString(static_cast<qlonglong>(s.number("numberOfCleanedFiles")))},
      {"Cleanings",
       counted(s.number("numberOfFinishedCleans"), "cleaning", "cleanings") + ", " +
           counted(s.number("numberOfRevertedCleans"), "brought back", "brought back")},
      {"Scanned", bytes(s.number("scannedSize")) + " in " +
                      counted(s.number("numberOfFinishedScans"), "scan", "scans")},
      {"Removing what the scans proposed frees", found > 0 ? bytes(found) : QString("nothing")},
  };
}

void readAchievements(const StatisticianStore& statistics, AchievementsSnapshot& snapshot) {
  const auto& layout = installLayout();
  if (layout.hasError()) {
    snapshot.problem = "The achievements are not available: " + qs(layout.error().oneLine());
    return;
  }
  auto store = AchievementsStore::loadResources(layout.value().resourceFolder);
  if (store.hasError()) {
    snapshot.problem = "The achievements are not available: " + qs(store.error().oneLine());
    return;
  }
  AchievementsStore& achievements = store.value();
  achievements.setStatistics(statistics);
  snapshot.hasAchievements = true;
  snapshot.fractionCompleted = achievements.fractionCompleted();
  const AchievementRank* rank = achievements.currentRank();
  if (rank) snapshot.rank = qs(rank->title);
  for (const auto& next : achievements.ranks()) {
    if (next.progress <= snapshot.fractionCompleted) continue;
    snapshot.nextRank = qs(next.title) + ", from " + percent(next.progress);
    break;
  }
  for (const auto& group : achievements.groups()) {
    AchievementsSnapshot::Group shown{qs(group.title), {}};
    for (const auto& a : group.achievements)
      shown.achievements.push_back(
          {qs(a.title), qs(a.description()), a.isAccomplished, a.pointsValue});
    snapshot.groups.push_back(std::move(shown));
  }
}

// Showing the achievements counts as seeing them, as `zarnik stats achievements` does.
AchievementsSnapshot readSnapshot() {
  AchievementsSnapshot snapshot;
  Statistician statistician = Statistician::standard();
  QStringList problems;
  if (const auto& notice = statistician.setAsideNotice()) problems << qs(*notice);
  if (auto updated = statistician.updateStatistics(
          [](StatisticianStore& s) { s.add("numberOfAchievementsImpressions", 1); });
      updated.hasError())
    problems << "The statistics were not saved: " + qs(updated.error().oneLine());
  snapshot.totals = totalsOf(statistician.statistics());
  readAchievements(statistician.statistics(), snapshot);
  if (!snapshot.problem.isEmpty()) problems << snapshot.problem;
  snapshot.problem = problems.join(" ");
  return snapshot;
}

}  // namespace

AchievementsPage::AchievementsPage(QWidget* parent)
    : QWidget(parent), queue_(SerialQueue::make("gui.achievements")) {
  auto* totalsBox = new QGroupBox("Totals");
  totals_ = new QFormLayout(totalsBox);
  auto* rankBox = new QGroupBox("Rank");
  auto* rankLayout = new QVBoxLayout(rankBox);
  rank_ = new QLabel("Reading the statistics…");
  QFont large = rank_->font();
  large.setPointSizeF(large.pointSizeF() * 1.6);
  large.setBold(true);
  rank_->setFont(large);
  progress_ = new QProgressBar;
  progress_->setRange(0, 100);
  progress_->setFormat("%p % of the points");
  progress_->setAccessibleName("Points earned");
  nextRank_ = new QLabel;
  nextRank_->setWordWrap(true);
  rankLayout->addWidget(rank_);
  rankLayout->addWidget(progress_);
  rankLayout->addWidget(nextRank_);
  rankLayout->addStretch();
  auto* top = new QHBoxLayout;
  top->addWidget(totalsBox, 3);
  top->addWidget(rankBox, 2);

  list_ = new QTreeWidget;
  list_->setHeaderLabels({"Achievement", "Earned", "How it is earned", "Points"});
  list_->setAccessibleName("Achievements");
  list_->header()->resizeSection(0, 260);
  list_->header()->resizeSection(1, 90);
  list_->header()->resizeSection(2, 560);
  problem_ = new QLabel;
  problem_->setWordWrap(true);
  problem_->hide();

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("<h2>Statistics and achievements</h2>"));
  layout->addLayout(top);
  layout->addWidget(list_, 1);
  layout->addWidget(problem_);
}

// A read under way is waited for: nothing is left to post to a page that is gone.
AchievementsPage::~AchievementsPage() {
  queue_->sync([] {});
}

void AchievementsPage::refresh() {
  queue_->async([this] {
    auto snapshot = std::make_shared<AchievementsSnapshot>(readSnapshot());
    QMetaObject::invokeMethod(
        this,
        [this, snapshot] {
          snapshot_ = std::move(*snapshot);
          showSnapshot();
          emit loaded();
        },
        Qt::QueuedConnection);
  });
}

void AchievementsPage::showTotals() {
  while (totals_->rowCount() > 0) totals_->removeRow(0);
  for (const auto& [what, howMuch] : snapshot_.totals) {
    auto* value = new QLabel(howMuch);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    totals_->addRow(what + ":", value);
  }
}

void AchievementsPage::showSnapshot() {
  showTotals();
  problem_->setText(snapshot_.problem);
  problem_->setVisible(!snapshot_.problem.isEmpty());
  rank_->setText(snapshot_.rank.isEmpty() ? QString("No rank yet") : snapshot_.rank);
  progress_->setValue(static_cast<int>(std::floor(100 * snapshot_.fractionCompleted)));
  progress_->setVisible(snapshot_.hasAchievements);
  nextRank_->setText(snapshot_.nextRank.isEmpty() ? QString("The highest rank is yours.")
                                                  : "Next rank: " + snapshot_.nextRank);
  nextRank_->setVisible(snapshot_.hasAchievements);
  list_->clear();
  for (const auto& group : snapshot_.groups) {
    const auto earned = std::count_if(group.achievements.begin(), group.achievements.end(),
                                      [](const auto& entry) { return entry.earned; });
    auto* top = new QTreeWidgetItem(
        {group.title, QString("%1 of %2").arg(earned).arg(group.achievements.size())});
    QFont bold = top->font(0);
    bold.setBold(true);
    top->setFont(0, bold);
    for (const auto& entry : group.achievements) {
      auto* item = new QTreeWidgetItem(top, {entry.title, entry.earned ? "Yes" : "Not yet",
                                             entry.description, QLocale().toString(entry.points)});
      item->setData(1, Qt::AccessibleTextRole, entry.earned ? "Earned" : "Not earned yet");
      item->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
      if (!entry.earned) {
        for (int column : {0, 1, 3})
          item->setForeground(column, palette().color(QPalette::PlaceholderText));
      }
    }
    list_->addTopLevelItem(top);
  }
  list_->expandAll();
}

}  // namespace zarnik::gui
