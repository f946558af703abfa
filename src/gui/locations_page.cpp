#include "gui/locations_page.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QStatusBar>
#include <QVBoxLayout>

namespace zarnik::gui {

LocationsPage::LocationsPage(QWidget* parent) : QWidget(parent) {
  setAcceptDrops(true);
  auto* title = new QLabel(
      "<h2>Where to look</h2>"
      "Add the folders to scan, or drop them here from the file manager.");
  title->setWordWrap(true);
  folders_ = new QListWidget;
  folders_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  folders_->setAccessibleName("Folders to scan");
  auto* add = new QPushButton("Add Folder…");
  remove_ = new QPushButton("Remove");
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(add);
  buttons->addWidget(remove_);
  buttons->addStretch();

  auto* kindsBox = new QGroupBox("Look for");
  exact_ = new QCheckBox("Files with the same content");
  audioContent_ = new QCheckBox("Identical audio under different tags");
  folderKind_ = new QCheckBox("Duplicate folders");
  apps_ = new QCheckBox("Duplicate applications");
  similarImages_ = new QCheckBox("Similar pictures");
  similarAudio_ = new QCheckBox("Similar audio tracks");
  hidden_ = new QCheckBox("Include hidden items (names starting with a dot)");
  everySize_ = new QCheckBox("Show groups of small files too");
  auto* kinds = new QVBoxLayout(kindsBox);
  for (auto* box : {exact_, audioContent_, folderKind_, apps_, similarImages_, similarAudio_})
    kinds->addWidget(box);
  kinds->addSpacing(8);
  kinds->addWidget(hidden_);
  kinds->addWidget(everySize_);
  kinds->addStretch();

  start_ = new QPushButton("Start Scan");
  start_->setDefault(true);
  start_->setMinimumHeight(36);
  auto* left = new QVBoxLayout;
  left->addWidget(title);
  left->addWidget(folders_, 1);
  left->addLayout(buttons);
  auto* right = new QVBoxLayout;
  right->addWidget(kindsBox, 1);
  right->addWidget(start_);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left, 3);
  layout->addLayout(right, 2);

  connect(add, &QPushButton::clicked, this, &LocationsPage::chooseFolder);
  connect(remove_, &QPushButton::clicked, this, &LocationsPage::removeChosen);
  connect(start_, &QPushButton::clicked, this, &LocationsPage::startRequested);
  connect(folders_, &QListWidget::itemSelectionChanged, this, &LocationsPage::updateButtons);
  updateButtons();
}

void LocationsPage::setLocations(const QStringList& paths) {
  folders_->clear();
  folders_->addItems(paths);
  updateButtons();
}

QStringList LocationsPage::locations() const {
  QStringList paths;
  for (int row = 0; row < folders_->count(); ++row) paths << folders_->item(row)->text();
  return paths;
}

void LocationsPage::setKinds(const ScanKinds& kinds) {
  exact_->setChecked(kinds.exact);
  audioContent_->setChecked(kinds.audioContent);
  folderKind_->setChecked(kinds.folders);
  apps_->setChecked(kinds.apps);
  similarImages_->setChecked(kinds.similarImages);
  similarAudio_->setChecked(kinds.similarAudio);
  hidden_->setChecked(kinds.includeHidden);
  everySize_->setChecked(kinds.everySize);
}

ScanKinds LocationsPage::kinds() const {
  return {{exact_->isChecked(), audioContent_->isChecked(), folderKind_->isChecked(),
           apps_->isChecked(), similarImages_->isChecked(), similarAudio_->isChecked()},
          hidden_->isChecked(),
          everySize_->isChecked()};
}

QStringList LocationsPage::addFolders(const QStringList& paths) {
  QStringList refused;
  QStringList listed = locations();
  for (const auto& path : paths) {
    const QFileInfo info(path);
    if (!info.isDir()) {
      refused << path + ": not a folder";
      continue;
    }
    const QString absolute = info.canonicalFilePath();
    if (listed.contains(absolute)) continue;
    listed << absolute;
  }
  if (listed != locations()) {
    setLocations(listed);
    emit locationsChanged(listed);
  }
  return refused;
}

void LocationsPage::chooseFolder() {
  const QString folder = QFileDialog::getExistingDirectory(this, "Add a Folder to Scan");
  if (folder.isEmpty()) return;
  const QStringList refused = addFolders({folder});
  if (!refused.isEmpty()) emit problem(refused.join("; "));
}

void LocationsPage::removeChosen() {
  for (auto* item : folders_->selectedItems()) delete item;
  updateButtons();
  emit locationsChanged(locations());
}

void LocationsPage::updateButtons() {
  remove_->setEnabled(!folders_->selectedItems().isEmpty());
  start_->setEnabled(folders_->count() > 0);
}

void LocationsPage::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void LocationsPage::dropEvent(QDropEvent* event) {
  QStringList paths;
  for (const auto& url : event->mimeData()->urls())
    if (url.isLocalFile()) paths << url.toLocalFile();
  const QStringList refused = addFolders(paths);
  if (!refused.isEmpty()) emit problem(refused.join("; "));
  event->acceptProposedAction();
}

}  // namespace zarnik::gui
