// What the window's tests share: a home folder of their own (HOME and XDG_* point into a temporary
// folder, so that the session, the preferences and the trash are the test's), trees of files,
// and waiting for a signal while the event loop runs.
#pragma once

#include "gui/desktop_session.h"
#include "gui/results_item_model.h"
#include "gui/scan_kinds.h"

#include <QSignalSpy>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <string>

namespace zarnik::gui::testing {

// Points HOME and the XDG folders at a fresh temporary folder; done once, before any library call
// reads them.
void useTemporaryHome();
// A fresh XDG data, config, state and cache folder under the temporary home, for one test: its own
// preferences and trash. The session's folder is chosen once a process, so the tests share one
// session, and each scans before it looks at results.
void useFreshUserFolders();
[[nodiscard]] QString temporaryHome();

// A folder with a few groups of exact copies (report.pdf twice, photo.png three times with one
// named "photo copy.png") and a file of its own.
struct SampleTree {
  SampleTree();
  QTemporaryDir dir;
  [[nodiscard]] QString path(const QString& relative) const { return dir.filePath(relative); }
  // Two pictures in Pictures, each with a copy in Pictures/Backup: two groups of pictures. False
  // when they cannot be written.
  [[nodiscard]] bool addPictures() const;
};

// A session on the user's (temporary) session folder.
[[nodiscard]] std::unique_ptr<DesktopSession> makeSession();

// The copy row whose path ends with `name`; invalid when there is none.
[[nodiscard]] QModelIndex copyNamed(const ResultsItemModel& model, const QString& name);

// Runs the event loop until `spy` has seen a signal (true) or `seconds` passed (false).
bool waitForSignal(QSignalSpy& spy, int seconds = 60);

// Scans `folder` for `kinds` with every group shown, whatever its size; false when it fails or
// lasts too long.
bool scanAndLoad(DesktopSession& session, const QString& folder, ScanKinds kinds = {});

}  // namespace zarnik::gui::testing
