// The duplicates monitor's menu: what the running monitor does (off, paused, monitoring,
// scanning), the duplicates it found lately (newest first, with their count), Pause/Resume (the
// request `zarnik monitor pause|resume` writes) and "Review Duplicates". It is the tray item's
// menu while the monitor runs and the desktop has a tray, and the window's "Monitor" menu always.
// The status is read again when the monitor's folder changes and every few seconds, always on the
// shared pool, never on the window's thread.
#pragma once

#include <QFileSystemWatcher>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <memory>

// The monitor's headers stay out of this one: moc cannot parse what they include.
namespace zarnik {
struct RecentDuplicatesInfo;
}

namespace zarnik::gui {

// What was read of the monitor at one moment (monitor_menu.cpp).
struct MonitorSnapshot;

class MonitorMenu : public QObject {
  Q_OBJECT

 public:
  explicit MonitorMenu(QObject* parent = nullptr);
  ~MonitorMenu() override;

  [[nodiscard]] QMenu& menu() { return *menu_; }
  [[nodiscard]] QSystemTrayIcon& trayIcon() { return *tray_; }
  // "Monitoring", "Paused"... as the menu and the tooltip say it.
  [[nodiscard]] QString stateTitle() const;
  [[nodiscard]] QAction& pauseAction() { return *pause_; }
  [[nodiscard]] QAction& resumeAction() { return *resume_; }
  [[nodiscard]] QAction& reviewAction() { return *review_; }

  // Reads the status again, off the window's thread; statusRead() follows.
  void refresh();
  // Asks the monitor to pause (or to go on), as `zarnik monitor pause|resume` do; the status is
  // read again once the request is written.
  void requestPaused(bool paused);

 signals:
  void statusRead();
  void reviewRequested();
  // The tray item was clicked: the window is wanted.
  void windowRequested();
  void problem(const QString& message);

 private:
  void show(const MonitorSnapshot& snapshot);
  void fillRecentDuplicates(const RecentDuplicatesInfo& recent);
  void watchFolders();

  QMenu* menu_;
  QSystemTrayIcon* tray_;
  QAction* state_;
  QAction* recentTitle_;
  QAction* recentEnd_;
  QList<QMenu*> recent_;
  QString recentShown_;  // what the entries show, so that they are remade only when it changes
  QAction* pause_;
  QAction* resume_;
  QAction* review_;
  QFileSystemWatcher watcher_;
  QTimer poll_;
  QTimer settle_;  // one read for a burst of changes in the folders watched
  std::unique_ptr<MonitorSnapshot> snapshot_;
  bool reading_ = false;
  bool readAgain_ = false;
};

// "Monitoring" for "monitoring"; "Off" when no monitor runs.
[[nodiscard]] QString monitorStateTitle(const MonitorSnapshot& snapshot);

}  // namespace zarnik::gui
