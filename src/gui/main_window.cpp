#include "gui/main_window.h"

#include <QHBoxLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <memory>

namespace zarnik::gui {
namespace {

const std::array<const char*, 7> kPageNames = {
    "locations", "scanning", "review", "cleaning", "history", "preferences", "achievements"};
const std::array<const char*, 7> kPageTitles = {
    "Locations", "Scanning", "Review", "Cleaning", "History", "Preferences", "Achievements"};

}  // namespace

std::optional<Page> pageNamed(const QString& name) {
  for (size_t i = 0; i < kPageNames.size(); ++i)
    if (name == kPageNames[i]) return static_cast<Page>(i);
  return std::nullopt;
}

MainWindow::MainWindow(DesktopSession& session, QWidget* parent)
    : QMainWindow(parent), session_(session) {
  setWindowTitle("Zarnik");
  setWindowIcon(QIcon::fromTheme("com.orvane.zarnik"));
  pages_ = new QListWidget;
  pages_->setAccessibleName("Pages");
  for (const char* title : kPageTitles) pages_->addItem(title);
  pages_->setFixedWidth(150);
  pages_->setSpacing(4);
  stack_ = new QStackedWidget;
  locations_ = new LocationsPage;
  scanning_ = new ScanningPage;
  review_ = new ReviewPage(session_);
  cleaning_ = new CleaningPage(session_);
  history_ = new HistoryPage(session_);
  preferences_ = new PreferencesEditor(this);
  preferencesPage_ = new PreferencesPage(*preferences_);
  achievements_ = new AchievementsPage;
  for (QWidget* page : std::initializer_list<QWidget*>{locations_, scanning_, review_, cleaning_,
                                                       history_, preferencesPage_, achievements_})
    stack_->addWidget(page);
  auto* central = new QWidget;
  auto* layout = new QHBoxLayout(central);
  layout->addWidget(pages_);
  layout->addWidget(stack_, 1);
  setCentralWidget(central);

  locations_->setLocations(session_.locations());
  locations_->setKinds(session_.storedKinds());
  connect(pages_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0) showPage(static_cast<Page>(row));
  });
  connect(locations_, &LocationsPage::locationsChanged, this, [this](const QStringList& paths) {
    const QString error = session_.setLocations(paths);
    if (!error.isEmpty()) statusBar()->showMessage(error);
  });
  connect(locations_, &LocationsPage::problem, this,
          [this](const QString& message) { statusBar()->showMessage(message); });
  connect(locations_, &LocationsPage::startRequested, this, &MainWindow::startScan);
  connect(scanning_, &ScanningPage::cancelRequested, &session_, &DesktopSession::stopScan);
  connect(&session_, &DesktopSession::progress, scanning_, &ScanningPage::showProgress);
  connect(&session_, &DesktopSession::scanFinished, this, [this](const QString& error) {
    scanning_->showFinished(error);
    if (!error.isEmpty()) statusBar()->showMessage(error);
  });
  connect(&session_, &DesktopSession::resultsLoaded, this, [this] {
    updatePageAvailability();
    // Results read while a scan runs are the earlier ones: the review waits for the new ones.
    if (currentPage() == Page::scanning && session_.hasResults() && !session_.isScanning()) {
      showPage(Page::review);
      review_->showFirstCopy();
    }
  });
  connect(&session_, &DesktopSession::failed, this,
          [this](const QString& message) { statusBar()->showMessage(message); });
  connect(&session_, &DesktopSession::statisticsNotice, this,
          [this](const QString& line) { statusBar()->showMessage(line); });
  connect(&session_, &DesktopSession::selectionNeedsConfirmation, this,
          &MainWindow::confirmSelection);
  connect(review_, &ReviewPage::cleanRequested, this, [this] { showPage(Page::cleaning); });
  connect(preferences_, &PreferencesEditor::loaded, this, [this](bool changed) {
    if (!changed) return;
    session_.usePreferences(preferences_->snapshot().preferences);
    // The kinds of duplicates follow the settings; the choices made for this scan alone stay.
    ScanKinds kinds = session_.storedKinds();
    kinds.includeHidden = locations_->kinds().includeHidden;
    kinds.everySize = locations_->kinds().everySize;
    locations_->setKinds(kinds);
  });
  preferences_->reload();
  if (!session_.notices().isEmpty()) statusBar()->showMessage(session_.notices().join(" "));
  session_.reloadResults();
  updatePageAvailability();
  showPage(Page::locations);
  addMonitorMenu();
}

// The monitor's menu, here whether or not the desktop shows a tray; "Review Duplicates" opens the
// monitor's groups on the review page once they are read.
void MainWindow::addMonitorMenu() {
  monitor_ = new MonitorMenu(this);
  menuBar()->addMenu(&monitor_->menu());
  connect(monitor_, &MonitorMenu::reviewRequested, &session_, &DesktopSession::openMonitorReview);
  connect(monitor_, &MonitorMenu::problem, this,
          [this](const QString& message) { statusBar()->showMessage(message); });
  connect(monitor_, &MonitorMenu::windowRequested, this, [this] {
    showNormal();
    raise();
    activateWindow();
  });
  connect(&session_, &DesktopSession::resultsLoaded, this, [this] {
    setWindowTitle(session_.isReviewingMonitorFindings() ? "Zarnik — The Monitor's Duplicates"
                                                         : "Zarnik");
  });
  connect(&session_, &DesktopSession::monitorReviewOpened, this,
          [this](qint64 groups, const QString& error) {
            if (!error.isEmpty()) return;  // failed() has said why
            if (groups == 0) {
              statusBar()->showMessage("The monitor has found no duplicates yet.");
              return;
            }
            statusBar()->showMessage("The monitor's groups are under review until the next scan.");
            connect(
                &session_, &DesktopSession::resultsLoaded, this,
                [this] {
                  showPage(Page::review);
                  review_->showFirstCopy();
                },
                Qt::SingleShotConnection);
          });
  monitor_->refresh();
}

void MainWindow::updatePageAvailability() {
  const bool results = session_.hasResults();
  pages_->item(static_cast<int>(Page::scanning))->setHidden(false);
  for (Page page : {Page::review, Page::cleaning, Page::history}) {
    auto* item = pages_->item(static_cast<int>(page));
    item->setFlags(results ? item->flags() | Qt::ItemIsEnabled
                           : item->flags() & ~Qt::ItemIsEnabled);
  }
}

Page MainWindow::currentPage() const { return static_cast<Page>(stack_->currentIndex()); }

void MainWindow::showPage(Page page) {
  stack_->setCurrentIndex(static_cast<int>(page));
  {
    QSignalBlocker blocker(pages_);
    pages_->setCurrentRow(static_cast<int>(page));
  }
  if (page == Page::cleaning) cleaning_->refresh();
  if (page == Page::history) history_->refresh();
  if (page == Page::preferences) preferences_->reload();
  if (page == Page::achievements) achievements_->refresh();
}

void MainWindow::reviewMonitorFindingsOnceOpen() {
  if (!session_.isLoading()) {
    QMetaObject::invokeMethod(&session_, &DesktopSession::openMonitorReview, Qt::QueuedConnection);
    return;
  }
  auto once = std::make_shared<QMetaObject::Connection>();
  *once = connect(&session_, &DesktopSession::resultsLoaded, this, [this, once] {
    disconnect(*once);
    session_.openMonitorReview();
  });
}

void MainWindow::startScan() {
  const QString error = session_.setLocations(locations_->locations());
  if (!error.isEmpty()) statusBar()->showMessage(error);
  const QString refused = session_.startScan(locations_->kinds());
  if (!refused.isEmpty()) {
    statusBar()->showMessage(refused);
    return;
  }
  scanning_->showStarted();
  showPage(Page::scanning);
}

void MainWindow::confirmSelection(qint64 group, qint64 copy, const QStringList& warnings) {
  if (copy == 0) {
    statusBar()->showMessage(warnings.join(" "));
    return;
  }
  const auto answer = QMessageBox::warning(
      this, "Mark This Copy for Removal?", warnings.join("\n") + "\n\nMark it anyway?",
      QMessageBox::Yes | QMessageBox::Cancel, QMessageBox::Cancel);
  if (answer == QMessageBox::Yes) session_.setCopySelected(group, copy, true, true);
}

}  // namespace zarnik::gui
