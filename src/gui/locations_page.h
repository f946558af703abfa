// The first page: the folders to scan (added with the file dialog or dropped from the file
// manager), the kinds of duplicates to look for, and the button that starts the scan.
#pragma once

#include "gui/scan_kinds.h"

#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QWidget>

namespace zarnik::gui {

class LocationsPage : public QWidget {
  Q_OBJECT

 public:
  explicit LocationsPage(QWidget* parent = nullptr);

  void setLocations(const QStringList& paths);
  [[nodiscard]] QStringList locations() const;
  void setKinds(const ScanKinds& kinds);
  [[nodiscard]] ScanKinds kinds() const;
  // Adds folders, leaving out files and folders already listed; the paths refused, with why.
  QStringList addFolders(const QStringList& paths);

 signals:
  void locationsChanged(const QStringList& paths);
  void startRequested();
  void problem(const QString& message);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void chooseFolder();
  void removeChosen();
  void updateButtons();

  QListWidget* folders_;
  QPushButton* remove_;
  QPushButton* start_;
  QCheckBox* exact_;
  QCheckBox* audioContent_;
  QCheckBox* folderKind_;
  QCheckBox* apps_;
  QCheckBox* similarImages_;
  QCheckBox* similarAudio_;
  QCheckBox* hidden_;
  QCheckBox* everySize_;
};

}  // namespace zarnik::gui
