#include "gui/desktop_session.h"

#include "base/byte_path.h"
#include "cleaning/cleaning_plan.h"
#include "detection/session_lock.h"
#include "monitor/monitor_requests.h"
#include "monitor/monitor_review.h"
#include "platform/file_reading.h"
#include "platform/resource_values.h"

#include <QMetaObject>
#include <QPointer>
#include <cctype>

namespace zarnik::gui {
namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }

Preferences storedPreferences(PreferencesController* preferences) {
  if (preferences) return preferences->extendedPreferences();
  return buildExtendedPreferences(PreferencesStorage(), {}, OVURLResolver::shared());
}

// Why a folder cannot be scanned, or nothing when it can.
std::optional<QString> unscannableReason(const std::string& path) {
  auto values = readResourceValues(path);
  if (values.hasError()) return qs(values.error().oneLine());
  if (values.value().fileResourceType != FileResourceType::directory)
    return qs(Error::generic("Not a folder; give the folder that holds it.", path).oneLine());
  if (!values.value().isReadable || !values.value().isExecutable)
    return qs(Error::posix(EACCES, path).oneLine());
  return std::nullopt;
}

QStringList warningsOf(const std::vector<SelectionWarning>& warnings) {
  QStringList texts;
  for (const auto& warning : warnings)
    texts << qs(warning.detail.empty() ? std::string(description(warning.warning))
                                       : warning.detail);
  return texts;
}

// What `zarnik monitor review` does before it prints the groups: the copy of the monitor's store
// made under the review's lock, and the recent duplicates counted as seen.
Result<std::int64_t> putMonitorFindingsUnderReview(const DuplicatesDetectionSpec& spec) {
  ZK_ASSIGN_OR_RETURN(auto lock, trySessionLock(spec, "zarnik-gui monitor review"));
  if (!lock) {
    std::string busy = sessionBusyMessage(spec) + ".";
    busy[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(busy[0])));
    return Error::generic(busy);
  }
  if (!pathExists(monitorStorePath()))
    return Error::generic(
        "The monitor has found nothing yet. Add folders with `zarnik monitor add FOLDER` and "
        "start it with `zarnik monitor enable`.");
  ZK_ASSIGN_OR_RETURN(const auto prepared, prepareMonitorReview(monitorStorePath()));
  return prepared.groups;
}

}  // namespace

template <typename F>
void DesktopSession::onGuiThread(F&& work) {
  QMetaObject::invokeMethod(this, std::forward<F>(work), Qt::QueuedConnection);
}

DesktopSession::DesktopSession(DuplicatesDetectionSpec place, QObject* parent)
    : QObject(parent), scanningService_(place.scanningService) {
  qRegisterMetaType<ScanProgress>();
  qRegisterMetaType<CleaningOutcome>();
  if (auto opened = PreferencesController::open(PreferencesLocations::standard());
      opened.hasValue())
    preferences_ = std::move(opened).value();
  else
    notices_ << "The preferences cannot be read: " + qs(opened.error().oneLine());
  stored_ = storedPreferences(preferences_.get());
  auto restored = DuplicatesDetectionSession::restore(place).wait();
  if (restored.hasError()) {
    notices_ << qs(restored.error().oneLine()) + " The results of this session will not be kept.";
    place.urlOfStateContainer.clear();
    restored = DuplicatesDetectionSession::restore(place).wait();
  }
  session_ = restored.value();
  ownSession_ = session_;
  // The monitor's groups stay under review until the next scan, here as for `zarnik results`.
  if (!place.isInMemory() && !place.isMonitorReview &&
      DuplicatesDetectionSpec::current(nullptr).isMonitorReview) {
    auto monitor = DuplicatesDetectionSession::restore(
                       DuplicatesDetectionSpec::monitorReview(scanningService_))
                       .wait();
    if (monitor.hasValue())
      session_ = monitor.value();
    else
      notices_ << "The monitor's groups cannot be reviewed: " + qs(monitor.error().oneLine());
  }
  if (preferences_)
    for (const auto& notice : preferences_->takeNotices()) notices_ << qs(notice);
}

// Work still running is stopped and waited for, so that no library callback is left to call a
// session that is gone; what it would have posted here is dropped with the object.
DesktopSession::~DesktopSession() {
  if (detection_) {
    detection_->stop(false);
    (void)detection_->outcome().wait();
    (void)detection_->task()->status().completion().wait();
  }
  if (cleaningTask_) {
    cleaningTask_->cancel();
    (void)cleaningTask_->completionFuture().wait();
  }
  if (revertingTask_) {
    revertingTask_->cancel();
    (void)revertingTask_->completionFuture().wait();
  }
  statisticsQueue_->sync([] {});  // its work posts to this object
  for (const auto& session : {ownSession_, session_})
    session->queue()->sync([&session] { (void)session->storeStateNow(); });
  // Twice: a cleaning being prepared asks the store for more once the first answer is in.
  if (results_)
    for (int pass = 0; pass < 2; ++pass) results_->queue()->sync([] {});
}

bool DesktopSession::takeLock(const char* command) {
  if (session_->spec().isInMemory()) return true;
  if (lockUsers_ == 0) {
    auto locked = trySessionLock(session_->spec(), command);
    if (locked.hasError()) {
      emit failed(qs(locked.error().oneLine()));
      return false;
    }
    if (!locked.value()) {
      QString busy = qs(sessionBusyMessage(session_->spec())) + ".";
      busy[0] = busy[0].toUpper();
      emit failed(busy);
      return false;
    }
    lock_ = std::move(*locked.value());
  }
  ++lockUsers_;
  return true;
}

void DesktopSession::releaseLock() {
  if (session_->spec().isInMemory() || lockUsers_ == 0) return;
  if (--lockUsers_ == 0) lock_.reset();
}

bool DesktopSession::hasResults() const { return results_ != nullptr && model_.groupCount() > 0; }

const ZKEquivalence* DesktopSession::storedGroup(std::int64_t identifier) const {
  const auto found = groups_.find(identifier);
  return found == groups_.end() ? nullptr : &found->second;
}

QStringList DesktopSession::locations() const {
  QStringList paths;
  ownSession_->queue()->sync([&] {
    for (const auto& location : ownSession_->scanLocations())
      if (location.scanLocation) paths << qs(location.scanLocation->path());
  });
  return paths;
}

QString DesktopSession::setLocations(const QStringList& paths) {
  QString firstError;
  std::vector<ScanLocationViewModel> models;
  for (const auto& path : paths) {
    const std::string resolved = resolvedPath(path.toStdString()).valueOr(path.toStdString());
    if (auto reason = unscannableReason(resolved)) {
      if (firstError.isEmpty()) firstError = *reason;
      continue;
    }
    if (auto location = ScanLocation::make(resolved, OVURLResolver::shared()))
      models.push_back({location, {}, {}, {}});
  }
  // Written by the session a few seconds later, or when the window closes: no file is written on
  // the GUI thread as folders are added.
  ownSession_->queue()->sync([&] { ownSession_->replaceScanLocations(std::move(models)); });
  return firstError;
}

ScanKinds DesktopSession::storedKinds() const { return ScanKinds::of(*stored_.scanRules); }

QString DesktopSession::startScan(const ScanKinds& kinds) {
  if (detection_) return "A scan is running already.";
  if (isCleaning()) return "A cleaning is running; scan when it has finished.";
  if (openingMonitorReview_) return "The monitor's groups are being opened; scan in a moment.";
  // A scan's results are the person's own: reviewing the monitor's groups ends here. The groups
  // shown stay until the scan's are read, but no mark of them changes meanwhile.
  if (session_ != ownSession_) {
    if (lockUsers_ > 0) return "The last change of the marks is being saved; scan in a moment.";
    session_ = ownSession_;
    results_.reset();
  }
  if (!takeLock("zarnik-gui scan")) {
    if (!results_) reloadResults();
    return "The results are being changed by another program.";
  }
  (void)DuplicatesDetectionSpec::setReviewingMonitorFindings(false);
  Result<std::shared_ptr<DuplicatesDetection>> started = Error::generic("not started");
  session_->queue()->sync([&] {
    started = session_->startDetection(
        kinds.appliedTo(*stored_.scanRules), stored_.autoselectionRules, kinds.includeHidden,
        [this](ScanningTask& task) {
          task.setErrorHandler([this](const Error& error) {
            const QString line = qs(error.oneLine());
            onGuiThread([this, line] { emit failed(line); });
          });
          task.status().onUpdate(Executor::immediate(), [this](const ConstantScanningStatus& s) {
            ScanProgress shown{s.phase,
                               s.estimatedCompletionFraction,
                               static_cast<std::int64_t>(s.numberOfNodesToMatch),
                               s.sizeOfListedNodes,
                               s.content.filesRead,
                               s.content.bytesRead,
                               s.estimatedSizeOfFoundDuplicates,
                               s.canKeepResults,
                               qs(s.latestProcessedURL.value_or(""))};
            onGuiThread([this, shown] {
              lastProgress_ = shown;
              emit progress(shown);
            });
          });
        });
  });
  if (started.hasError()) {
    releaseLock();
    if (!results_) reloadResults();
    return qs(started.error().oneLine());
  }
  detection_ = started.value();
  lastProgress_ = {};
  detection_->outcome().onComplete(Executor::immediate(),
                                   [this](const Result<DuplicatesDetectionOutcome>& outcome) {
                                     onGuiThread([this, outcome] { finishScan(outcome); });
                                   });
  return {};
}

void DesktopSession::finishScan(const Result<DuplicatesDetectionOutcome>& outcome) {
  if (outcome.hasValue() && outcome.value().result && detection_->task()->canContinue()) {
    std::vector<std::string> locations;
    for (const auto& specification : detection_->task()->acceptableEnumerationSpecifications())
      locations.push_back(specification.url);
    recordInStatistics(finishedScanChange(*outcome.value().result, locations));
  }
  detection_.reset();
  releaseLock();
  if (outcome.hasValue() && preferences_) {
    (void)preferences_->change([](PreferencesStorage& storage) -> Result<void> {
      storage.mixedPreferences()->setLastScanDate(dateNow());
      return success();
    });
  }
  // A short scan ends before its first status is published: the result has the last word.
  if (outcome.hasValue() && outcome.value().result) {
    const auto& scanned = *outcome.value().result;
    ScanProgress done = lastProgress_;
    done.phase = ScanningPhase::finished;
    done.fraction = 1;
    done.itemsListed = scanned.scannedNodesCount;
    done.bytesListed = scanned.scannedNodesSize;
    done.foundSoFar = 0;
    for (const auto& result : scanned.detectionResults) done.foundSoFar += result.reclaimableSize();
    done.currentPath.clear();
    emit progress(done);
  }
  emit scanFinished(outcome.hasError() && !outcome.error().isCancellation()
                        ? qs(outcome.error().oneLine())
                        : QString());
  reloadResults();
}

void DesktopSession::stopScan(bool keepResults) {
  if (detection_) detection_->stop(keepResults);
}

void DesktopSession::reloadResults() {
  session_->queue()->sync([&] {
    results_ =
        std::holds_alternative<ReviewingStatus>(session_->status()) ? session_->results() : nullptr;
  });
  if (!results_) {
    model_ = ResultsModel();
    groups_.clear();
    emit resultsLoaded();
    return;
  }
  loading_ = true;
  // The groups and their figures are gathered on the results' queue; the GUI thread only takes
  // them over.
  struct Loaded {
    std::map<std::int64_t, ZKEquivalence> groups;
    ResultsModel model;
  };
  auto loaded = std::make_shared<Loaded>();
  results_
      ->forEachEquivalence(
          [loaded](const ZKEquivalence& group) {
            loaded->model.put(group);
            loaded->groups.emplace(group.uniqueIdentifier, group);
            return true;
          },
          DuplicatesDetectionResults::MemberNodes::decodedAhead)
      .onComplete(Executor::immediate(), [this, loaded](const Result<std::int64_t>& read) {
        const QString error = read.hasError() ? qs(read.error().oneLine()) : QString();
        onGuiThread([this, loaded, error] {
          if (!error.isEmpty()) emit failed(error);
          model_ = std::move(loaded->model);
          groups_ = std::move(loaded->groups);
          loading_ = false;
          emit resultsLoaded();
        });
      });
}

bool DesktopSession::isReviewingMonitorFindings() const { return session_->spec().isMonitorReview; }

void DesktopSession::openMonitorReview() {
  if (openingMonitorReview_ || refusedWhileBusy()) return;
  if (lockUsers_ > 0) {
    emit failed("The last change of the marks is being saved; try again in a moment.");
    return;
  }
  openingMonitorReview_ = true;
  // The copy about to be taken replaces the store of an earlier review: that one is closed first,
  // its view state written now rather than over the new one later.
  if (session_ != ownSession_) {
    const auto earlier = session_;
    earlier->queue()->sync([&earlier] { (void)earlier->storeStateNow(); });
    session_ = ownSession_;
    reloadResults();
  }
  QPointer<DesktopSession> self(this);
  Executor::primary().execute([self, service = scanningService_] {
    const auto spec = DuplicatesDetectionSpec::monitorReview(service);
    auto groups = putMonitorFindingsUnderReview(spec);
    if (groups.hasError()) {
      const Result<std::shared_ptr<DuplicatesDetectionSession>> failure = groups.error();
      QMetaObject::invokeMethod(
          self.data(), [self, failure] { self->finishOpeningMonitorReview(failure, 0); },
          Qt::QueuedConnection);
      return;
    }
    DuplicatesDetectionSession::restore(spec).onComplete(
        Executor::immediate(),
        [self, count = groups.value()](
            const Result<std::shared_ptr<DuplicatesDetectionSession>>& restored) {
          QMetaObject::invokeMethod(
              self.data(),
              [self, restored, count] { self->finishOpeningMonitorReview(restored, count); },
              Qt::QueuedConnection);
        });
  });
}

void DesktopSession::finishOpeningMonitorReview(
    const Result<std::shared_ptr<DuplicatesDetectionSession>>& restored, qint64 groups) {
  openingMonitorReview_ = false;
  if (restored.hasError()) {
    const QString error = qs(restored.error().oneLine());
    emit failed(error);
    emit monitorReviewOpened(0, error);
    return;
  }
  session_ = restored.value();
  emit monitorReviewOpened(groups, {});
  reloadResults();
}

void DesktopSession::applySelectionResult(const Result<SelectionChangeResult>& result,
                                          std::int64_t copy) {
  releaseLock();
  if (result.hasError()) {
    emit failed(qs(result.error().oneLine()));
    return;
  }
  const auto& change = result.value();
  if (!change.proposal.canApply) {
    emit selectionNeedsConfirmation(change.equivalenceIdentifier, copy,
                                    warningsOf(change.proposal.warnings));
    return;
  }
  if (!change.proposal.changesAnything()) return;
  // The stored group is read again, so that the preview and the cleaning see what is stored.
  const std::int64_t group = change.equivalenceIdentifier;
  model_.applySelection(group, change.proposal.current);
  if (auto stored = groups_.find(group); stored != groups_.end())
    stored->second.currentSelectionConfiguration = change.proposal.current;
  emit groupChanged(group);
}

void DesktopSession::setCopySelected(std::int64_t group, std::int64_t copy, bool selected,
                                     bool confirmed) {
  if (!results_ || refusedWhileBusy() || !takeLock("zarnik-gui select")) return;
  SelectionRequest request;
  request.kind = selected ? SelectionRequest::Kind::select : SelectionRequest::Kind::deselect;
  request.identifiers = {copy};
  request.confirmsWarnings = confirmed;
  results_->changeSelection(group, request)
      .onComplete(Executor::immediate(), [this, copy](const Result<SelectionChangeResult>& r) {
        onGuiThread([this, r, copy] { applySelectionResult(r, copy); });
      });
}

void DesktopSession::chooseStrategy(std::int64_t group, SelectionStrategy strategy) {
  if (!results_ || refusedWhileBusy() || !takeLock("zarnik-gui select")) return;
  SelectionRequest request;
  request.kind = SelectionRequest::Kind::strategy;
  request.strategy = strategy;
  results_->changeSelection(group, request)
      .onComplete(Executor::immediate(), [this](const Result<SelectionChangeResult>& r) {
        onGuiThread([this, r] { applySelectionResult(r, 0); });
      });
}

void DesktopSession::undo() {
  if (!results_ || refusedWhileBusy() || !takeLock("zarnik-gui select")) return;
  results_->undo().onComplete(Executor::immediate(),
                              [this](const Result<SelectionChangeResult>& r) {
                                onGuiThread([this, r] { applySelectionResult(r, 0); });
                              });
}

void DesktopSession::redo() {
  if (!results_ || refusedWhileBusy() || !takeLock("zarnik-gui select")) return;
  results_->redo().onComplete(Executor::immediate(),
                              [this](const Result<SelectionChangeResult>& r) {
                                onGuiThread([this, r] { applySelectionResult(r, 0); });
                              });
}

void DesktopSession::planCleaning() {
  if (!results_) return;
  results_->planCleaning(false).onComplete(
      Executor::immediate(), [this](const Result<CleaningPlan>& plan) {
        onGuiThread([this, plan] {
          if (plan.hasError()) {
            emit failed(qs(plan.error().oneLine()));
            return;
          }
          QStringList warnings;
          for (std::int64_t group : plan.value().groupsLeftWhole)
            warnings << QString("Group %1 is left alone: every copy of it is selected.").arg(group);
          emit planReady(plan.value(), warnings);
        });
      });
}

namespace {

std::set<std::int64_t> copiesOf(const CleaningPlan& plan) {
  std::set<std::int64_t> copies;
  for (const auto& item : plan.items) copies.insert(item.duplicateID);
  return copies;
}

}  // namespace

bool DesktopSession::refusedWhileBusy() {
  if (isScanning()) {
    emit failed("A scan is running: wait for it to finish, or stop it, first.");
    return true;
  }
  if (isCleaning()) {
    emit failed("A cleaning is running: wait for it to finish first.");
    return true;
  }
  if (openingMonitorReview_) {
    emit failed("The monitor's groups are being opened: wait a moment.");
    return true;
  }
  return false;
}

void DesktopSession::startCleaning(CleaningWay way, const QString& moveToFolder,
                                   const std::set<std::int64_t>& confirmedCopies) {
  if (!results_ || refusedWhileBusy() || !takeLock("zarnik-gui clean")) return;
  CleaningRules rules = stored_.cleaningRules;
  rules.shouldTryToReplaceRemovedDuplicatesWithHardLinkToOriginal = way == CleaningWay::hardLink;
  switch (way) {
    case CleaningWay::trash:
      rules.cleaningOption = FileCleaningOption{};
      break;
    case CleaningWay::remove:
    case CleaningWay::hardLink:
      rules.cleaningOption = {FileCleaningOption::Kind::removePermanently, {}};
      break;
    case CleaningWay::moveTo:
      rules.cleaningOption = {FileCleaningOption::Kind::moveToFolder, moveToFolder.toStdString()};
      break;
  }
  // The store's work runs on its queue in the order asked: cleanings cut off earlier are settled
  // first (as every command that changes the results does), fake ones forgotten, then the
  // request is made; the window waits for none of it.
  preparing_ = true;
  auto results = results_;
  results->settleCutOffCleanings().onComplete(
      Executor::immediate(), [this, results, rules, confirmedCopies](const Result<Void>& settled) {
        if (settled.hasError()) {
          const QString error =
              "The records of an earlier cleaning that was cut off cannot be "
              "settled: " +
              qs(settled.error().oneLine());
          onGuiThread([this, error] { failPreparing(error); });
          return;
        }
        (void)results->forgetTrialCleanings();
        // The lock is held from here on and the window changes no mark while preparing, so the
        // cleaning removes what this plan lists: it must be what the person confirmed.
        results->planCleaning(false).onComplete(
            Executor::immediate(),
            [this, results, rules, confirmedCopies](const Result<CleaningPlan>& plan) {
              if (plan.hasError() || copiesOf(plan.value()) != confirmedCopies) {
                onGuiThread([this] {
                  failPreparing(
                      "The marks changed after the list was shown, so nothing was cleaned. "
                      "Look at the new list and confirm again.");
                  planCleaning();
                });
                return;
              }
              requestCleaning(results, rules);
            });
      });
}

void DesktopSession::requestCleaning(const std::shared_ptr<DuplicatesDetectionResults>& results,
                                     const CleaningRules& rules) {
  results->cleaningRequest(rules, false)
      .onComplete(Executor::immediate(), [this](const Result<CleaningRequest>& request) {
        onGuiThread([this, request] {
          preparing_ = false;
          if (request.hasError()) {
            releaseLock();
            emit failed(qs(request.error().oneLine()));
            return;
          }
          runCleaning(request.value());
        });
      });
}

void DesktopSession::failPreparing(const QString& error) {
  preparing_ = false;
  releaseLock();
  emit failed(error);
}

void DesktopSession::runCleaning(CleaningRequest request) {
  cleaningTask_ = CleaningTask::make(std::move(request));
  auto outcome = std::make_shared<CleaningOutcome>();
  auto outcomeMutex = std::make_shared<std::mutex>();
  cleaningTask_->reports().onUpdate(Executor::immediate(), [this, outcome, outcomeMutex](
                                                               const CleaningReport& report) {
    if (const auto* step = std::get_if<CleaningProgress>(&report)) {
      const double fraction = step->sizeBasedFractionCompleted();
      const qint64 done = step->numberOfSuccededItems + step->numberOfFailedItems;
      const qint64 total = step->numberOfItems;
      onGuiThread([this, fraction, done, total] { emit cleaningProgress(fraction, done, total); });
      return;
    }
    const auto& emitted = std::get<CleaningNoteEmitted>(report);
    std::lock_guard lock(*outcomeMutex);
    if (emitted.note.error)
      outcome->failures << qs(displayPath(emitted.path) + ": " + emitted.note.error->oneLine());
    if (emitted.note.note)
      outcome->remarks << qs(displayPath(emitted.path) + ": " + *emitted.note.note);
  });
  cleaningTask_->completionFuture().onComplete(
      Executor::immediate(), [this, outcome, outcomeMutex](const Result<CleaningResult>& result) {
        std::lock_guard lock(*outcomeMutex);
        CleaningOutcome finished = *outcome;
        if (result.hasError()) {
          finished.failures << qs(result.error().oneLine());
        } else {
          const auto& statistics = result.value().statistics;
          finished.cleaned =
              statistics.numberOfSucceededDuplicates + statistics.numberOfSucceededSimilars;
          finished.cleanedSize =
              statistics.sizeOfSucceededDuplicates + statistics.sizeOfSucceededSimilars;
          finished.cancelled = result.value().didCancel;
          recordInStatistics(cleaningChange(result.value(), false));
        }
        onGuiThread([this, finished]() mutable {
          finished.cleanID = cleaningTask_ ? cleaningTask_->cleanID() : 0;
          cleaningTask_.reset();
          releaseLock();
          emit cleaningFinished(finished);
          reloadResults();
        });
      });
  cleaningService_.perform(cleaningTask_);
}

void DesktopSession::recordInStatistics(StatisticsChange change) {
  statisticsQueue_->async([this, change = std::move(change)] {
    const StatisticsUpdate update = updateUsageStatistics(change, true);
    QStringList lines;
    for (const auto& notice : update.notices) lines << qs("The statistics: " + notice);
    if (!update.unlocked.empty()) lines << qs(update.unlockedSentence());
    if (!lines.isEmpty()) onGuiThread([this, lines] { emit statisticsNotice(lines.join(" ")); });
  });
}

void DesktopSession::cancelCleaning() {
  if (cleaningTask_) cleaningTask_->cancel();
  if (revertingTask_) revertingTask_->cancel();
}

void DesktopSession::revert(const std::set<std::int64_t>& copies) {
  if (!results_ || refusedWhileBusy() || !takeLock("zarnik-gui revert")) return;
  preparing_ = true;
  auto results = results_;
  results->settleCutOffCleanings().onComplete(
      Executor::immediate(), [this, results, copies](const Result<Void>& settled) {
        const QString error = settled.hasError()
                                  ? "The records of an earlier cleaning that was cut off cannot be "
                                    "settled: " +
                                        qs(settled.error().oneLine())
                                  : QString();
        onGuiThread([this, error, copies] {
          if (!error.isEmpty()) {
            failPreparing(error);
            return;
          }
          preparing_ = false;
          runRevert(copies);
        });
      });
}

void DesktopSession::runRevert(const std::set<std::int64_t>& copies) {
  revertingTask_ = RevertingTask::make({results_->storeAccess(), copies});
  revertingTask_->completionFuture().onComplete(
      Executor::immediate(), [this](const Result<RevertingOutcome>& outcome) {
        qint64 broughtBack = 0;
        QStringList failures;
        if (outcome.hasError()) {
          failures << qs(outcome.error().oneLine());
        } else {
          CleaningStatistics statistics;
          for (const auto& item : outcome.value().items) {
            statistics.count(!item.error, item.isSimilar, item.size);
            if (item.error)
              failures << qs(displayPath(item.path) + ": " + item.error->oneLine());
            else
              ++broughtBack;
          }
          if (!outcome.value().items.empty()) recordInStatistics(revertChange(statistics));
        }
        onGuiThread([this, broughtBack, failures] {
          revertingTask_.reset();
          releaseLock();
          emit revertFinished(broughtBack, failures);
          reloadResults();
        });
      });
  cleaningService_.perform(revertingTask_);
}

}  // namespace zarnik::gui
