#include "detection/duplicates_detection_session.h"

#include "foundation/logger.h"
#include "platform/file_reading.h"
#include "platform/xdg_directories.h"
#include "store/persistent_content.h"

#include <cerrno>

namespace zarnik {
namespace {

constexpr std::string_view kAuthor = "DuplicatesDetectionSession";
constexpr size_t kMaximumStateFileSize = 64 << 20;

void logFailure(std::string_view function, const std::string& message, const Error& error) {
  LogContext context;
  context.underlyingError = error.oneLine();
  Logger::shared().log(kAuthor, function, message, context);
}

template <typename... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
template <typename... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

}  // namespace

// --- spec

std::string DuplicatesDetectionSpec::urlOfStateFile() const {
  return urlOfStateContainer + (isMonitorReview ? "/dmreview.state" : "/session.state");
}

std::string DuplicatesDetectionSpec::urlOfStateDB() const {
  if (isInMemory()) return ":memory:";
  return urlOfStateContainer + (isMonitorReview ? "/monitor.db" : "/duplicates.db");
}

std::string DuplicatesDetectionSpec::urlOfLockFile() const {
  return urlOfStateContainer + (isMonitorReview ? "/dmreview.lock" : "/session.lock");
}

DuplicatesDetectionSpec DuplicatesDetectionSpec::standard(
    std::shared_ptr<ScanningService> scanningService) {
  DuplicatesDetectionSpec spec;
  spec.urlOfStateContainer = persistentContentDirectory() + "/session";
  spec.scanningService = std::move(scanningService);
  return spec;
}

namespace {
std::string monitorReviewMarker() {
  return persistentContentDirectory() + "/monitor-review/reviewing";
}
}  // namespace

DuplicatesDetectionSpec DuplicatesDetectionSpec::monitorReview(
    std::shared_ptr<ScanningService> scanningService) {
  DuplicatesDetectionSpec spec;
  spec.urlOfStateContainer = persistentContentDirectory() + "/monitor-review";
  spec.isMonitorReview = true;
  spec.scanningService = std::move(scanningService);
  return spec;
}

DuplicatesDetectionSpec DuplicatesDetectionSpec::current(
    std::shared_ptr<ScanningService> scanningService) {
  if (pathExists(monitorReviewMarker())) return monitorReview(std::move(scanningService));
  return standard(std::move(scanningService));
}

Result<void> DuplicatesDetectionSpec::setReviewingMonitorFindings(bool reviewing) {
  const std::string marker = monitorReviewMarker();
  if (!reviewing) return removeFileIfPresent(marker);
  return writeFileAtomically(marker,
                             "The monitor's findings are under review; the next scan ends it.\n");
}

DuplicatesDetectionSpec DuplicatesDetectionSpec::inMemory(
    std::shared_ptr<ScanningService> scanningService) {
  DuplicatesDetectionSpec spec;
  spec.scanningService = std::move(scanningService);
  return spec;
}

// --- locations

EnumerationFilter ScanLocationFilter::enumerationFilter() const {
  std::vector<EnumerationFilter> filters;
  if (imagesOnly) filters.push_back(enumeration_filters::image());
  if (minimumSize) filters.push_back(enumeration_filters::minimumSize(*minimumSize));
  if (filters.empty()) return {};
  return filters.size() == 1 ? filters.front() : enumeration_filters::allOf(std::move(filters));
}

Json ScanLocationFilter::encode() const {
  Json archive{{"imagesOnly", imagesOnly}};
  if (minimumSize) archive["minimumSize"] = *minimumSize;
  return archive;
}

ScanLocationFilter ScanLocationFilter::decode(const Json& archive) {
  ScanLocationFilter filter;
  filter.imagesOnly = jsonBool(archive, "imagesOnly").value_or(false);
  if (auto size = jsonInt(archive, "minimumSize"); size && *size >= 0) filter.minimumSize = *size;
  return filter;
}

Json ScanLocationViewModel::encode() const {
  Json archive{{"$class", "ScanLocationViewModel"}, {"filter", filter.encode()}};
  if (scanLocation) archive["scanLocation"] = scanLocation->encode();
  if (customName) archive["customName"] = bytesJson(*customName);
  if (customImageName) archive["customImageName"] = bytesJson(*customImageName);
  return archive;
}

Result<ScanLocationViewModel> ScanLocationViewModel::decode(const Json& archive) {
  if (jsonString(archive, "$class") != "ScanLocationViewModel") {
    return Error::generic("The stored scan location is of another class.");
  }
  const Json* location = jsonMember(archive, "scanLocation");
  if (location == nullptr) return Error::generic("The stored scan location has no folder.");
  ScanLocationViewModel model;
  ZK_ASSIGN_OR_RETURN(model.scanLocation, ScanLocation::decode(*location));
  if (const Json* filter = jsonMember(archive, "filter"))
    model.filter = ScanLocationFilter::decode(*filter);
  if (const Json* name = jsonMember(archive, "customName")) model.customName = bytesFromJson(*name);
  if (const Json* image = jsonMember(archive, "customImageName"))
    model.customImageName = bytesFromJson(*image);
  return model;
}

// --- status

Json encodeStatus(const DuplicatesDetectionSessionStatus& status) {
  return std::visit(Overloaded{
                        [](const SelectingLocationsStatus&) {
                          return Json{{"$class", "SelectingLocationsStatus"}};
                        },
                        [](const DetectingStatus& detecting) {
                          Json archive{{"$class", "DetectingStatus"}};
                          if (detecting.previousResultsState) {
                            archive["previousResultsState"] =
                                detecting.previousResultsState->encode();
                          }
                          return archive;
                        },
                        [](const ReviewingStatus& reviewing) {
                          return Json{{"$class", "ReviewingStatus"},
                                      {"resultsState", reviewing.resultsState.encode()}};
                        },
                    },
                    status);
}

DuplicatesDetectionSessionStatus decodeStatus(const Json& archive) {
  const auto name = jsonString(archive, "$class");
  const auto stateIn =
      [&archive](std::string_view key) -> std::optional<DuplicatesDetectionResultsState> {
    const Json* state = jsonMember(archive, key);
    return state != nullptr ? DuplicatesDetectionResultsState::decode(*state) : std::nullopt;
  };
  if (name == "ReviewingStatus") {
    if (auto state = stateIn("resultsState")) return ReviewingStatus{*state};
  } else if (name == "DetectingStatus") {
    return DetectingStatus{nullptr, stateIn("previousResultsState")};
  }
  return SelectingLocationsStatus{};
}

DuplicatesDetectionSessionState::DuplicatesDetectionSessionState() { initializeDefaults(); }

const PropertyTable& DuplicatesDetectionSessionState::propertyTable() const {
  static const PropertyTable kTable({
      PropertyMetainfo{"scanLocations", Json::array(), nullptr, nullptr, false, {"array"}, {}},
      PropertyMetainfo{"status",
                       encodeStatus(SelectingLocationsStatus{}),
                       nullptr,
                       nullptr,
                       false,
                       {"object"},
                       {}},
  });
  return kTable;
}

// --- detection

void DuplicatesDetection::stop(bool keepResults) {
  isStopping_.store(true);
  task_->cancel(keepResults);
}

// --- session

DuplicatesDetectionSession::DuplicatesDetectionSession(DuplicatesDetectionSpec spec)
    : spec_(std::move(spec)),
      queue_(SerialQueue::make("duplicates-detection-session", QualityOfService::userInteractive)) {
}

Future<std::shared_ptr<DuplicatesDetectionSession>> DuplicatesDetectionSession::restore(
    DuplicatesDetectionSpec spec) {
  std::shared_ptr<DuplicatesDetectionSession> session(
      new DuplicatesDetectionSession(std::move(spec)));
  return makeFuture(
      *session->queue_, [session]() -> Result<std::shared_ptr<DuplicatesDetectionSession>> {
        const std::string file = session->spec_.urlOfStateFile();
        if (session->spec_.isInMemory()) return session;
        if (!pathExists(file)) {
          ZK_TRY(session->reviewStoredResultsIfAny());
          return session;
        }
        auto text = readWholeFile(file, kMaximumStateFileSize);
        auto json = text.hasValue() ? parseJson(text.value(), file) : Result<Json>(text.error());
        DuplicatesDetectionSessionState state;
        auto decoded = json.hasValue() ? state.decode(json.value()) : Result<void>(json.error());
        if (decoded.hasError()) {
          auto movedTo = moveStoreAside(file);
          logFailure("restore()",
                     "Did fail to read the session state; reviewing the stored results without it",
                     decoded.error());
          if (movedTo.hasValue()) {
            Logger::shared().log(kAuthor, "restore()",
                                 "Moved the unreadable state to " + movedTo.value());
            session->stateMovedAsideTo_ = movedTo.value();
          }
          ZK_TRY(session->reviewStoredResultsIfAny());
          return session;
        }
        for (const auto& archive : state.valueForKey("scanLocations")) {
          auto model = ScanLocationViewModel::decode(archive);
          if (model.hasValue()) {
            session->scanLocations_.push_back(std::move(model).value());
          } else {
            logFailure("restore()", "Did skip a stored scan location", model.error());
          }
        }
        auto status = decodeStatus(state.valueForKey("status"));
        if (auto* detecting = std::get_if<DetectingStatus>(&status)) {
          // The program ended during a detection: its results were never stored.
          status = detecting->previousResultsState
                       ? DuplicatesDetectionSessionStatus(
                             ReviewingStatus{*detecting->previousResultsState})
                       : DuplicatesDetectionSessionStatus(SelectingLocationsStatus{});
        }
        if (auto* reviewing = std::get_if<ReviewingStatus>(&status)) {
          ZK_TRY(session->openResultsIfNeeded(reviewing->resultsState));
          // The results were in a damaged store, now set aside: there is nothing left to review.
          if (session->results_->movedAsideTo()) status = SelectingLocationsStatus{};
        }
        session->status_ = std::move(status);
        return session;
      });
}

// The store, not the state file, holds the results and the records of cleanings: without a
// readable state the session still reviews what the store holds.
Result<void> DuplicatesDetectionSession::reviewStoredResultsIfAny() {
  if (!pathExists(spec_.urlOfStateDB())) return success();
  ZK_TRY(openResultsIfNeeded(DuplicatesDetectionResultsState{}));
  if (results_->movedAsideTo()) return success();
  ZK_ASSIGN_OR_RETURN(
      const std::int64_t groups,
      results_->forEachEquivalence([](const ZKEquivalence&) { return false; }).wait());
  if (groups > 0) status_ = ReviewingStatus{results_->state()};
  return success();
}

const DuplicatesDetectionSessionStatus& DuplicatesDetectionSession::status() const {
  queue_->assertOnQueue();
  return status_;
}

const std::vector<ScanLocationViewModel>& DuplicatesDetectionSession::scanLocations() const {
  queue_->assertOnQueue();
  return scanLocations_;
}

const std::shared_ptr<DuplicatesDetectionResults>& DuplicatesDetectionSession::results() const {
  queue_->assertOnQueue();
  return results_;
}

bool DuplicatesDetectionSession::canScan() const {
  queue_->assertOnQueue();
  return !scanLocations_.empty() && std::holds_alternative<SelectingLocationsStatus>(status_);
}

bool DuplicatesDetectionSession::canRescan() const {
  queue_->assertOnQueue();
  return !scanLocations_.empty() && std::holds_alternative<ReviewingStatus>(status_) &&
         !cleaningRunning_ && !revertingRunning_;
}

int DuplicatesDetectionSession::progressKind() const {
  queue_->assertOnQueue();
  if (std::holds_alternative<DetectingStatus>(status_)) return 1;
  if (cleaningRunning_) return 2;
  if (revertingRunning_) return 3;
  return 0;
}

void DuplicatesDetectionSession::setCleaningRunning(bool running) {
  queue_->assertOnQueue();
  cleaningRunning_ = running;
}

void DuplicatesDetectionSession::setRevertingRunning(bool running) {
  queue_->assertOnQueue();
  revertingRunning_ = running;
}

void DuplicatesDetectionSession::addScanLocations(std::vector<ScanLocationViewModel> locations) {
  queue_->assertOnQueue();
  for (auto& location : locations) {
    const bool known =
        std::any_of(scanLocations_.begin(), scanLocations_.end(), [&](const auto& existing) {
          return existing.scanLocation && location.scanLocation &&
                 *existing.scanLocation == *location.scanLocation;
        });
    if (!known) scanLocations_.push_back(std::move(location));
  }
  scheduleStoreState();
}

void DuplicatesDetectionSession::removeScanLocations(
    const std::vector<std::string>& abbreviatedPaths) {
  queue_->assertOnQueue();
  std::erase_if(scanLocations_, [&](const ScanLocationViewModel& model) {
    return model.scanLocation &&
           std::find(abbreviatedPaths.begin(), abbreviatedPaths.end(),
                     model.scanLocation->abbreviatedPath()) != abbreviatedPaths.end();
  });
  scheduleStoreState();
}

void DuplicatesDetectionSession::replaceScanLocations(
    std::vector<ScanLocationViewModel> locations) {
  queue_->assertOnQueue();
  scanLocations_.clear();
  addScanLocations(std::move(locations));
}

void DuplicatesDetectionSession::setStatus(DuplicatesDetectionSessionStatus status) {
  status_ = std::move(status);
  scheduleStoreState();
}

Result<void> DuplicatesDetectionSession::openResultsIfNeeded(
    const DuplicatesDetectionResultsState& state) {
  if (results_) return success();
  ZK_ASSIGN_OR_RETURN(results_, DuplicatesDetectionResults::open(spec_.urlOfStateDB(), state));
  return success();
}

Result<std::shared_ptr<DuplicatesDetection>> DuplicatesDetectionSession::startDetection(
    std::shared_ptr<const ExtendedScanRules> scanRules,
    ExtendedAutoselectionRules autoselectionRules, bool includeHiddenItems,
    const std::function<void(ScanningTask&)>& prepareTask) {
  queue_->assertOnQueue();
  if (!canScan() && !canRescan()) {
    return Error::generic(scanLocations_.empty() ? "There is no location to scan."
                                                 : "A detection cannot start now.");
  }
  std::optional<DuplicatesDetectionResultsState> previous;
  if (const auto* reviewing = std::get_if<ReviewingStatus>(&status_))
    previous = reviewing->resultsState;
  if (!spec_.isInMemory()) ZK_TRY(xdg::makeDirectories(spec_.urlOfStateContainer));
  ZK_TRY(openResultsIfNeeded(previous.value_or(DuplicatesDetectionResultsState{})));

  ScanningServiceRequest request;
  std::vector<ScanLocationPtr> locations;
  for (const auto& model : scanLocations_) {
    request.specifications.push_back({model.scanLocation, model.filter.enumerationFilter()});
    locations.push_back(model.scanLocation);
  }
  request.scanRules = std::move(scanRules);
  request.includeHiddenItems = includeHiddenItems;
  request.autoselectionRules = std::move(autoselectionRules);
  auto task = spec_.scanningService->perform(std::move(request));
  if (prepareTask) prepareTask(*task);

  Promise<std::shared_ptr<const ScanningServiceResult>> scannedPromise;
  Promise<DuplicatesDetectionOutcome> promise;
  auto detection =
      std::make_shared<DuplicatesDetection>(task, scannedPromise.future(), promise.future());
  setStatus(DetectingStatus{detection, previous});

  std::weak_ptr<DuplicatesDetectionSession> weakSelf = shared_from_this();
  auto results = results_;
  auto queue = queue_;
  task->start().onComplete(
      Executor::immediate(),
      [weakSelf, results, queue, detection, locations, scannedPromise,
       promise](const Result<std::shared_ptr<const ScanningServiceResult>>& scanned) mutable {
        auto finish = [weakSelf, detection,
                       promise](const Result<DuplicatesDetectionOutcome>& outcome) mutable {
          if (auto self = weakSelf.lock()) self->finishDetection(detection, outcome);
          promise.complete(outcome);
        };
        if (scanned.hasError()) {
          scannedPromise.fail(scanned.error());
          queue->async([finish, error = scanned.error()]() mutable { finish(error); });
          return;
        }
        const auto& result = scanned.value();
        scannedPromise.succeed(result);
        results
            ->storeResults(
                result, locations,
                [detection](double fraction) { detection->setFlushingToDBProgress(fraction); })
            .onComplete(*queue, [finish, result](
                                    const Result<DuplicatesDetectionResultsState>& stored) mutable {
              if (stored.hasError()) {
                finish(stored.error());
              } else {
                finish(DuplicatesDetectionOutcome{result, stored.value()});
              }
            });
      });
  return detection;
}

void DuplicatesDetectionSession::finishDetection(
    const std::shared_ptr<DuplicatesDetection>& detection,
    const Result<DuplicatesDetectionOutcome>& outcome) {
  queue_->assertOnQueue();
  const auto* detecting = std::get_if<DetectingStatus>(&status_);
  if (detecting == nullptr || detecting->detection != detection) return;
  if (outcome.hasValue()) {
    setStatus(ReviewingStatus{outcome.value().resultsState});
  } else {
    if (!outcome.error().isCancellation())
      logFailure("finishDetection", "The detection failed", outcome.error());
    // The earlier results are still stored: the store is replaced in one transaction or not at all.
    setStatus(
        detecting->previousResultsState
            ? DuplicatesDetectionSessionStatus(ReviewingStatus{*detecting->previousResultsState})
            : DuplicatesDetectionSessionStatus(SelectingLocationsStatus{}));
  }
}

void DuplicatesDetectionSession::scheduleStoreState() {
  queue_->assertOnQueue();
  if (isStoreStateScheduled_) return;
  isStoreStateScheduled_ = true;
  std::weak_ptr<DuplicatesDetectionSession> weakSelf = weak_from_this();
  pendingStore_ = DelayedWorkItem::schedule(*spec_.clock, kStoreStateDelay, queue_, [weakSelf] {
    auto self = weakSelf.lock();
    if (!self || !self->isStoreStateScheduled_) return;
    Logger::shared().log(kAuthor, "scheduleStoreState()", "Storing");
    if (auto stored = self->storeStateNow(); stored.hasError()) {
      logFailure("scheduleStoreState()", "Did fail to store the session state", stored.error());
    }
  });
}

Result<void> DuplicatesDetectionSession::storeStateNow() {
  queue_->assertOnQueue();
  isStoreStateScheduled_ = false;
  if (pendingStore_) pendingStore_->cancel();
  pendingStore_.reset();
  if (spec_.isInMemory()) return success();
  DuplicatesDetectionSessionState state;
  Json locations = Json::array();
  for (const auto& model : scanLocations_) locations.push_back(model.encode());
  state.setValueForKey("scanLocations", std::move(locations));
  state.setValueForKey("status", encodeStatus(status_));
  ZK_TRY(xdg::makeDirectories(spec_.urlOfStateContainer));
  return writeFileAtomically(spec_.urlOfStateFile(), dumpJson(state.encode(), 2) + "\n");
}

}  // namespace zarnik
