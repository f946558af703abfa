#include "gui_fixture.h"

#include "support/pictures.h"

#include "platform/image_decoding.h"
#include "scanning/scanning_task.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <cstdlib>

namespace zarnik::gui::testing {
namespace {

QTemporaryDir& homeDir() {
  static QTemporaryDir dir;
  return dir;
}

int& folderNumber() {
  static int number = 0;
  return number;
}

void writeFile(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
  file.write(bytes);
}

QByteArray randomBytes(int size) {
  QByteArray bytes(size, Qt::Uninitialized);
  for (int i = 0; i < size; ++i)
    bytes[i] = static_cast<char>(QRandomGenerator::global()->bounded(256));
  return bytes;
}

}  // namespace

QString temporaryHome() { return homeDir().path(); }

void useTemporaryHome() {
  qputenv("HOME", homeDir().path().toUtf8());
  qputenv("XDG_RUNTIME_DIR", (homeDir().path() + "/run").toUtf8());
  QDir().mkpath(homeDir().path() + "/run");
  QFile::setPermissions(homeDir().path() + "/run",
                        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  useFreshUserFolders();
}

void useFreshUserFolders() {
  const QString base = QString("%1/user%2").arg(homeDir().path()).arg(++folderNumber());
  qputenv("XDG_DATA_HOME", (base + "/data").toUtf8());
  qputenv("XDG_CONFIG_HOME", (base + "/config").toUtf8());
  qputenv("XDG_STATE_HOME", (base + "/state").toUtf8());
  qputenv("XDG_CACHE_HOME", (base + "/cache").toUtf8());
}

SampleTree::SampleTree() : dir(temporaryHome() + "/tree-XXXXXX") {
  const QByteArray report = randomBytes(120'000);
  writeFile(path("Documents/report.pdf"), report);
  writeFile(path("Old/report.pdf"), report);
  const QByteArray photo = randomBytes(90'000);
  writeFile(path("Photos/photo.png"), photo);
  writeFile(path("Backup/photo.png"), photo);
  writeFile(path("Old/photo copy.png"), photo);
  writeFile(path("Documents/notes.txt"), randomBytes(5'000));
}

bool SampleTree::addPictures() const {
  for (int variant = 0; variant < 2; ++variant) {
    const auto rgb = zarnik::testing::madeUpPicture(320, 240, variant * 40);
    for (const char* folder : {"Pictures", "Pictures/Backup"}) {
      QDir().mkpath(path(folder));
      const QString file = path(QString("%1/holiday-%2.png").arg(folder).arg(variant));
      if (writePicture(file.toStdString(), rgb, 320, 240).hasError()) return false;
    }
  }
  return true;
}

std::unique_ptr<DesktopSession> makeSession() {
  return std::make_unique<DesktopSession>(
      DuplicatesDetectionSpec::standard(std::make_shared<ScanningService>()));
}

QModelIndex copyNamed(const ResultsItemModel& model, const QString& name) {
  for (int group = 0; group < model.rowCount(); ++group) {
    const QModelIndex parent = model.index(group, 0);
    for (int row = 0; row < model.rowCount(parent); ++row) {
      const QModelIndex copy = model.index(row, 0, parent);
      if (copy.data(ResultsItemModel::pathRole).toString().endsWith(name)) return copy;
    }
  }
  return {};
}

bool waitForSignal(QSignalSpy& spy, int seconds) {
  return !spy.isEmpty() || spy.wait(seconds * 1000);
}

bool scanAndLoad(DesktopSession& session, const QString& folder, ScanKinds kinds) {
  if (session.isLoading()) {
    QSignalSpy initial(&session, &DesktopSession::resultsLoaded);
    if (!waitForSignal(initial)) return false;
  }
  if (!session.setLocations({folder}).isEmpty()) return false;
  QSignalSpy finished(&session, &DesktopSession::scanFinished);
  QSignalSpy loaded(&session, &DesktopSession::resultsLoaded);
  kinds.everySize = true;
  if (!session.startScan(kinds).isEmpty()) return false;
  if (!waitForSignal(finished, 120) || !waitForSignal(loaded)) return false;
  return finished.first().first().toString().isEmpty();
}

}  // namespace zarnik::gui::testing
