#include "gui/monitor_menu.h"

#include "gui/results_item_model.h"

#include "foundation/executor.h"
#include "monitor/monitor_requests.h"
#include "monitor/monitor_status.h"
#include "platform/process_launcher.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <QPointer>
#include <QStyle>
#include <algorithm>
#include <optional>

namespace zarnik::gui {

struct MonitorSnapshot {
  std::optional<MonitorStatus> running;  // nothing when no monitor runs
  MonitorRequests requests;
  QString problem;  // why the requests cannot be read, or empty
};

namespace {

constexpr int kPollMilliseconds = 5000;
constexpr int kSettleMilliseconds = 200;

QString qs(const std::string& text) { return QString::fromStdString(text); }

MonitorSnapshot readSnapshot() {
  MonitorSnapshot snapshot;
  snapshot.running = MonitorStatus::readRunning();
  auto requests = MonitorRequests::load(MonitorRequests::defaultPath());
  if (requests.hasValue())
    snapshot.requests = std::move(requests).value();
  else
    snapshot.problem = "The monitor's settings cannot be read; fix or remove the file: " +
                       qs(requests.error().oneLine());
  return snapshot;
}

// What `zarnik monitor pause|resume` write: the settings as they are, paused or not.
QString writePaused(bool paused) {
  const std::string path = MonitorRequests::defaultPath();
  auto requests = MonitorRequests::load(path);
  if (requests.hasError())
    return "The monitor's settings cannot be read; fix or remove the file: " +
           qs(requests.error().oneLine());
  requests.value().paused = paused;
  if (auto saved = requests.value().save(path); saved.hasError())
    return qs(saved.error().oneLine());
  return {};
}

QString countedDuplicates(std::int64_t count) {
  return QString("%1 %2").arg(count).arg(count == 1 ? "duplicate" : "duplicates");
}

QString recentTitle(const RecentDuplicatesInfo& recent) {
  if (recent.totalCount == 0) return "No duplicates found lately";
  QString title = "Recent duplicates: " + QString::number(recent.totalCount);
  if (recent.newCount > 0) title += QString(" · %1 new").arg(recent.newCount);
  return title;
}

// The entries shown, newest first: their identifiers and paths say whether they changed.
std::vector<RecentDuplicate> newestFirst(std::vector<RecentDuplicate> latest) {
  std::stable_sort(latest.begin(), latest.end(),
                   [](const auto& a, const auto& b) { return a.foundDate > b.foundDate; });
  return latest;
}

void revealInFileManager(const RecentDuplicate& duplicate, MonitorMenu& menu) {
  const QString folder = QFileInfo(qs(duplicate.path)).path();
  if (auto launched = launchDetached({"xdg-open", folder.toStdString()}); launched.hasError())
    emit menu.problem(qs(launched.error().oneLine()));
}

}  // namespace

QString monitorStateTitle(const MonitorSnapshot& snapshot) {
  if (!snapshot.running) return "Off";
  const QString state = qs(snapshot.running->state);
  if (state.isEmpty()) return "Off";
  return state.left(1).toUpper() + state.mid(1);
}

MonitorMenu::MonitorMenu(QObject* parent)
    : QObject(parent),
      menu_(new QMenu("&Monitor")),
      tray_(new QSystemTrayIcon(this)),
      snapshot_(std::make_unique<MonitorSnapshot>()) {
  menu_->setAccessibleName("Duplicates monitor");
  menu_->setToolTipsVisible(true);
  state_ = menu_->addAction("Monitor: Off");
  state_->setEnabled(false);
  menu_->addSeparator();
  recentTitle_ = menu_->addAction("No duplicates found lately");
  recentTitle_->setEnabled(false);
  recentEnd_ = menu_->addSeparator();
  pause_ = menu_->addAction("Pause Monitoring");
  resume_ = menu_->addAction("Resume Monitoring");
  resume_->setVisible(false);
  review_ = menu_->addAction("Review Duplicates");
  review_->setToolTip("Review the monitor's groups here until the next scan");

  tray_->setIcon(QIcon::fromTheme(
      "com.orvane.zarnik", QApplication::style()->standardIcon(QStyle::SP_FileDialogContentsView)));
  tray_->setContextMenu(menu_);
  tray_->setToolTip("Zarnik duplicates monitor: Off");

  connect(pause_, &QAction::triggered, this, [this] { requestPaused(true); });
  connect(resume_, &QAction::triggered, this, [this] { requestPaused(false); });
  connect(review_, &QAction::triggered, this, &MonitorMenu::reviewRequested);
  connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
    if (why == QSystemTrayIcon::Trigger) emit windowRequested();
  });
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, &settle_, qOverload<>(&QTimer::start));
  connect(&watcher_, &QFileSystemWatcher::fileChanged, &settle_, qOverload<>(&QTimer::start));
  settle_.setSingleShot(true);
  settle_.setInterval(kSettleMilliseconds);
  connect(&settle_, &QTimer::timeout, this, &MonitorMenu::refresh);
  poll_.setInterval(kPollMilliseconds);
  connect(&poll_, &QTimer::timeout, this, &MonitorMenu::refresh);
  poll_.start();
  watchFolders();
}

MonitorMenu::~MonitorMenu() {
  tray_->setContextMenu(nullptr);
  delete menu_;
}

QString MonitorMenu::stateTitle() const { return monitorStateTitle(*snapshot_); }

// The status is replaced by a rename, which the folder tells of; the settings' folder is made by
// the first command that writes them, so it is looked for again after every read.
void MonitorMenu::watchFolders() {
  const QStringList folders{QFileInfo(qs(MonitorStatus::defaultPath())).path(),
                            QFileInfo(qs(MonitorRequests::defaultPath())).path()};
  for (const QString& folder : folders) {
    if (!watcher_.directories().contains(folder) && QFileInfo(folder).isDir())
      watcher_.addPath(folder);
  }
}

void MonitorMenu::refresh() {
  if (reading_) {
    readAgain_ = true;
    return;
  }
  reading_ = true;
  QPointer<MonitorMenu> self(this);
  Executor::primary().execute([self] {
    MonitorSnapshot snapshot = readSnapshot();
    QMetaObject::invokeMethod(
        self.data(),
        [self, snapshot] {
          if (!self) return;
          self->reading_ = false;
          self->show(snapshot);
          if (self->readAgain_) {
            self->readAgain_ = false;
            self->refresh();
          }
        },
        Qt::QueuedConnection);
  });
}

void MonitorMenu::requestPaused(bool paused) {
  QPointer<MonitorMenu> self(this);
  Executor::primary().execute([self, paused] {
    const QString error = writePaused(paused);
    QMetaObject::invokeMethod(
        self.data(),
        [self, error] {
          if (!self) return;
          if (!error.isEmpty()) emit self->problem(error);
          self->refresh();
        },
        Qt::QueuedConnection);
  });
}

void MonitorMenu::show(const MonitorSnapshot& snapshot) {
  *snapshot_ = snapshot;
  const QString title = monitorStateTitle(snapshot);
  const bool paused = snapshot.requests.paused;
  state_->setText(!snapshot.running && paused ? "Monitor: Off (paused when it starts)"
                                              : "Monitor: " + title);
  fillRecentDuplicates(snapshot.running ? snapshot.running->recent : RecentDuplicatesInfo{});
  pause_->setVisible(!paused);
  resume_->setVisible(paused);

  QStringList tip{"Zarnik duplicates monitor: " + title};
  if (snapshot.running) {
    const auto& recent = snapshot.running->recent;
    if (recent.totalCount > 0)
      tip << QString("%1 found lately, %2 new")
                 .arg(countedDuplicates(recent.totalCount))
                 .arg(recent.newCount);
    if (snapshot.running->notice) tip << qs(*snapshot.running->notice);
  }
  if (!snapshot.problem.isEmpty()) tip << snapshot.problem;
  tray_->setToolTip(tip.join("\n"));
  tray_->setVisible(snapshot.running.has_value() && QSystemTrayIcon::isSystemTrayAvailable());
  watchFolders();
  emit statusRead();
}

void MonitorMenu::fillRecentDuplicates(const RecentDuplicatesInfo& recent) {
  recentTitle_->setText(recentTitle(recent));
  const auto latest = newestFirst(recent.latest);
  QString shown;
  for (const auto& duplicate : latest)
    shown += QString::number(duplicate.id) + QChar(0) + qs(duplicate.path) + QChar(0);
  if (shown == recentShown_) return;
  recentShown_ = shown;
  for (QMenu* entry : recent_) delete entry;
  recent_.clear();
  for (const auto& duplicate : latest) {
    const QString name =
        qs(duplicate.abbreviatedPath.empty() ? duplicate.path : duplicate.abbreviatedPath);
    auto* entry = new QMenu(QString("%1 (%2)").arg(name, byteCountText(duplicate.size)), menu_);
    connect(entry->addAction("Show in File Manager"), &QAction::triggered, this,
            [this, duplicate] { revealInFileManager(duplicate, *this); });
    connect(entry->addAction("Review Duplicates"), &QAction::triggered, this,
            &MonitorMenu::reviewRequested);
    menu_->insertMenu(recentEnd_, entry);
    recent_ << entry;
  }
}

}  // namespace zarnik::gui
