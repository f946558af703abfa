// The window: the pages of one session (locations, scanning, review, cleaning, history), then the
// preferences and the statistics, in a sidebar, each reached when it makes sense, and the status
// bar that says what went wrong.
#pragma once

#include "gui/achievements_page.h"
#include "gui/cleaning_page.h"
#include "gui/desktop_session.h"
#include "gui/history_page.h"
#include "gui/locations_page.h"
#include "gui/monitor_menu.h"
#include "gui/preferences_page.h"
#include "gui/review_page.h"
#include "gui/scanning_page.h"

#include <QListWidget>
#include <QMainWindow>
#include <QStackedWidget>

namespace zarnik::gui {

enum class Page { locations = 0, scanning, review, cleaning, history, preferences, achievements };
// "locations" → Page::locations; nothing for an unknown name.
[[nodiscard]] std::optional<Page> pageNamed(const QString& name);

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(DesktopSession& session, QWidget* parent = nullptr);

  void showPage(Page page);
  [[nodiscard]] Page currentPage() const;
  // Starts a scan of the locations listed with the kinds chosen, and shows its progress.
  void startScan();
  // Opens the review of the monitor's groups, as its menu does, once the results the window
  // opened with are loaded.
  void reviewMonitorFindingsOnceOpen();

  [[nodiscard]] LocationsPage& locationsPage() { return *locations_; }
  [[nodiscard]] ReviewPage& reviewPage() { return *review_; }
  [[nodiscard]] CleaningPage& cleaningPage() { return *cleaning_; }
  [[nodiscard]] HistoryPage& historyPage() { return *history_; }
  [[nodiscard]] PreferencesEditor& preferencesEditor() { return *preferences_; }
  [[nodiscard]] AchievementsPage& achievementsPage() { return *achievements_; }
  [[nodiscard]] MonitorMenu& monitorMenu() { return *monitor_; }

 private:
  void updatePageAvailability();
  void confirmSelection(qint64 group, qint64 copy, const QStringList& warnings);
  void addMonitorMenu();

  DesktopSession& session_;
  QListWidget* pages_;
  QStackedWidget* stack_;
  LocationsPage* locations_;
  ScanningPage* scanning_;
  ReviewPage* review_;
  CleaningPage* cleaning_;
  HistoryPage* history_;
  PreferencesEditor* preferences_;
  PreferencesPage* preferencesPage_;
  AchievementsPage* achievements_;
  MonitorMenu* monitor_ = nullptr;
};

}  // namespace zarnik::gui
