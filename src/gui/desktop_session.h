// DesktopSession: the window's side of the user's detection session. It drives the library's
// detection session, stored results, cleaning and reverting services exactly as the commands do,
// and keeps the ResultsModel the review presents. Everything here is used on the GUI thread;
// library callbacks arrive on their own queues and are handed over with queued calls, so that no
// widget is touched from another thread and no long work runs on the GUI thread.
#pragma once

#include "gui/scan_kinds.h"

#include "cleaning/cleaning_service.h"
#include "detection/duplicates_detection_session.h"
#include "detection/results_model.h"
#include "platform/file_lock.h"
#include "preferences/preferences_controller.h"
#include "statistics/usage_statistics.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <map>
#include <memory>
#include <optional>
#include <set>

namespace zarnik::gui {

// What the scanning page shows of a running scan.
struct ScanProgress {
  ScanningPhase phase = ScanningPhase::initial;
  double fraction = 0;
  std::int64_t itemsListed = 0;
  ByteCount bytesListed = 0;
  std::int64_t filesRead = 0;
  ByteCount bytesRead = 0;
  ByteCount foundSoFar = 0;
  bool canKeepResults = false;
  QString currentPath;
};

// How the selected copies go.
enum class CleaningWay { trash, remove, moveTo, hardLink };

struct CleaningOutcome {
  std::int64_t cleanID = 0;
  std::int64_t cleaned = 0;
  ByteCount cleanedSize = 0;
  bool cancelled = false;
  QStringList failures;  // "path: reason"
  QStringList remarks;
};

class DesktopSession : public QObject {
  Q_OBJECT

 public:
  // Restores the session kept at `place`; the preferences are the user's, or the defaults when
  // they cannot be read (said by lastError()).
  explicit DesktopSession(DuplicatesDetectionSpec place, QObject* parent = nullptr);
  ~DesktopSession() override;

  [[nodiscard]] const ResultsModel& model() const { return model_; }
  [[nodiscard]] const ZKEquivalence* storedGroup(std::int64_t identifier) const;
  [[nodiscard]] const std::map<std::int64_t, ZKEquivalence>& storedGroups() const {
    return groups_;
  }
  [[nodiscard]] bool isScanning() const { return detection_ != nullptr; }
  // True from reloadResults() until resultsLoaded().
  [[nodiscard]] bool isLoading() const { return loading_; }
  [[nodiscard]] bool isCleaning() const { return preparing_ || cleaningTask_ || revertingTask_; }
  [[nodiscard]] bool hasResults() const;
  // What went wrong while the session and the preferences were opened, one line each.
  [[nodiscard]] const QStringList& notices() const { return notices_; }

  // The folders to scan, as remembered by the session.
  [[nodiscard]] QStringList locations() const;
  // Replaces them; an error naming the first path that cannot be scanned, the others are kept.
  QString setLocations(const QStringList& paths);
  [[nodiscard]] ScanKinds storedKinds() const;
  // What the next scans, selections and cleanings are made from, after the person changed them.
  void usePreferences(const Preferences& preferences) { stored_ = preferences; }

  // Scans the locations; progress() and scanFinished() follow.
  QString startScan(const ScanKinds& kinds);
  void stopScan(bool keepResults);
  // Reads the stored groups again; resultsLoaded() follows.
  void reloadResults();

  // Puts the duplicates monitor's groups under review, as `zarnik monitor review` does: a copy
  // of the monitor's store becomes the session reviewed until the next scan.
  // monitorReviewOpened() follows, then resultsLoaded().
  void openMonitorReview();
  [[nodiscard]] bool isReviewingMonitorFindings() const;

  // Marks a copy for removal (or keeps it); `confirmed` passes the warnings it raised.
  void setCopySelected(std::int64_t group, std::int64_t copy, bool selected,
                       bool confirmed = false);
  void chooseStrategy(std::int64_t group, SelectionStrategy strategy);
  void undo();
  void redo();

  // What a cleaning would remove now; planReady() follows.
  void planCleaning();
  // Cleans the marked copies when they are still `confirmedCopies`, the ones the person was
  // shown; otherwise nothing goes, failed() says why and planReady() shows the new list.
  void startCleaning(CleaningWay way, const QString& moveToFolder,
                     const std::set<std::int64_t>& confirmedCopies);
  void cancelCleaning();
  // Brings back the copies (every cleaned copy when empty); revertFinished() follows.
  void revert(const std::set<std::int64_t>& copies);

 signals:
  void progress(const zarnik::gui::ScanProgress& progress);
  void scanFinished(const QString& error);
  void resultsLoaded();
  void groupChanged(qint64 group);
  // A change held back by its warnings; confirming repeats it with `confirmed`.
  void selectionNeedsConfirmation(qint64 group, qint64 copy, const QStringList& warnings);
  void failed(const QString& message);
  void planReady(const zarnik::CleaningPlan& plan, const QStringList& warnings);
  void cleaningProgress(double fraction, qint64 done, qint64 total);
  void cleaningFinished(const zarnik::gui::CleaningOutcome& outcome);
  void revertFinished(qint64 broughtBack, const QStringList& failures);
  // The monitor's groups are the session reviewed (`error` empty), or why they are not.
  void monitorReviewOpened(qint64 groups, const QString& error);
  // What the lifetime statistics say of a finished scan, cleaning or revert: the achievements it
  // unlocked, or why the statistics could not be kept.
  void statisticsNotice(const QString& line);

 private:
  template <typename F>
  void onGuiThread(F&& work);
  // True, after saying why in failed(), while a scan or a cleaning runs: the results are theirs.
  bool refusedWhileBusy();
  void requestCleaning(const std::shared_ptr<DuplicatesDetectionResults>& results,
                       const CleaningRules& rules);
  bool takeLock(const char* command);
  void releaseLock();
  void applySelectionResult(const Result<SelectionChangeResult>& result, std::int64_t copy);
  void finishScan(const Result<DuplicatesDetectionOutcome>& outcome);
  void failPreparing(const QString& error);
  void runCleaning(CleaningRequest request);
  void runRevert(const std::set<std::int64_t>& copies);
  // Adds the change to the lifetime statistics on the statistics queue, in the order of the work.
  void recordInStatistics(StatisticsChange change);

  void finishOpeningMonitorReview(
      const Result<std::shared_ptr<DuplicatesDetectionSession>>& restored, qint64 groups);

  std::shared_ptr<ScanningService> scanningService_;
  // The person's own session, which scans; and the one reviewed, either it or the monitor's.
  std::shared_ptr<DuplicatesDetectionSession> ownSession_;
  std::shared_ptr<DuplicatesDetectionSession> session_;
  std::shared_ptr<DuplicatesDetectionResults> results_;
  std::unique_ptr<PreferencesController> preferences_;
  Preferences stored_;
  ResultsModel model_;
  std::map<std::int64_t, ZKEquivalence> groups_;
  std::shared_ptr<DuplicatesDetection> detection_;
  ScanProgress lastProgress_;
  std::shared_ptr<CleaningTask> cleaningTask_;
  std::shared_ptr<RevertingTask> revertingTask_;
  CleaningService cleaningService_;
  std::shared_ptr<SerialQueue> statisticsQueue_ = SerialQueue::make("gui.statistics");
  std::optional<FileLock> lock_;
  int lockUsers_ = 0;
  bool loading_ = false;
  bool preparing_ = false;  // a cleaning or revert waits for the store to settle earlier ones
  bool openingMonitorReview_ = false;
  QStringList notices_;
};

}  // namespace zarnik::gui

Q_DECLARE_METATYPE(zarnik::gui::ScanProgress)
Q_DECLARE_METATYPE(zarnik::gui::CleaningOutcome)
