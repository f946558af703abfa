#include "monitor/duplicates_monitor_crash_handler.h"

#include "foundation/logger.h"
#include "platform/running_marker.h"
#include "platform/sqlite_database.h"
#include "platform/xdg_directories.h"

#include <fmt/format.h>

#include <cstdlib>

namespace zarnik {

CrashGuardCounts SettingsCrashGuardCounterStore::load() {
  const auto& storage = controller_->storage();
  return {storage.ongoingMonitorStoreOperations(), storage.consecutiveMonitorCrashes()};
}

Result<void> SettingsCrashGuardCounterStore::save(const CrashGuardCounts& counts) {
  return controller_->change([&counts](PreferencesStorage& storage) -> Result<void> {
    storage.setValueForKey(std::string(kOngoingMonitorStoreOperationsKey),
                           Json(counts.ongoingOperations));
    storage.setValueForKey(std::string(kConsecutiveMonitorCrashesKey),
                           Json(counts.consecutiveCrashes));
    return success();
  });
}

DuplicatesMonitorCrashHandler::Places DuplicatesMonitorCrashHandler::Places::standard() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string markerFolder = runtime != nullptr && runtime[0] == '/'
                                       ? std::string(runtime) + "/zarnik"
                                       : xdg::zarnikDataDirectory();
  return {markerFolder + "/monitor.running", xdg::zarnikDataDirectory() + "/monitor.db"};
}

std::shared_ptr<DuplicatesMonitorCrashHandler> DuplicatesMonitorCrashHandler::make(
    std::unique_ptr<CrashGuardCounterStore> counters, Places places) {
  return std::shared_ptr<DuplicatesMonitorCrashHandler>(
      new DuplicatesMonitorCrashHandler(std::move(counters), std::move(places)));
}

Future<CrashGuardLaunch> DuplicatesMonitorCrashHandler::handleLaunch() {
  Promise<CrashGuardLaunch> promise;
  queue_->async([self = shared_from_this(), promise]() mutable {
    self->counts_ = self->counters_->load();
    bool markerLeft = false;
    const auto& marker = self->places_.runningMarker;
    if (auto folder = xdg::makeDirectories(marker.substr(0, marker.rfind('/')));
        folder.hasError()) {
      self->log("handleLaunch", folder.error().oneLine());
    } else if (auto placed = placeRunningMarker(marker); placed.hasError()) {
      self->log("handleLaunch", placed.error().oneLine());
    } else {
      markerLeft = placed.value();
    }
    const bool afterCrash = markerLeft || self->counts_.ongoingOperations > 0;
    promise.succeed(afterCrash ? self->afterCrash({}) : self->regular());
  });
  return promise.future();
}

Future<CrashGuardLaunch> DuplicatesMonitorCrashHandler::handleLaunchAfterCrash(
    std::function<void()> reset) {
  Promise<CrashGuardLaunch> promise;
  queue_->async([self = shared_from_this(), promise, reset = std::move(reset)]() mutable {
    self->counts_ = self->counters_->load();
    promise.succeed(self->afterCrash(reset));
  });
  return promise.future();
}

Future<CrashGuardLaunch> DuplicatesMonitorCrashHandler::handleRegularLaunch() {
  Promise<CrashGuardLaunch> promise;
  queue_->async([self = shared_from_this(), promise]() mutable {
    self->counts_ = self->counters_->load();
    promise.succeed(self->regular());
  });
  return promise.future();
}

CrashGuardLaunch DuplicatesMonitorCrashHandler::afterCrash(const std::function<void()>& reset) {
  CrashGuardLaunch launch;
  launch.followedCrash = true;
  log("handleLaunchAfterCrash",
      fmt::format("ongoing DM operations count {}", counts_.ongoingOperations));
  // A crash outside store operations says nothing about the store.
  if (counts_.ongoingOperations != 0) {
    ++counts_.consecutiveCrashes;
    counts_.ongoingOperations = 0;
  }
  log("handleLaunchAfterCrash",
      fmt::format("consecutive crash count {}", counts_.consecutiveCrashes));
  if (counts_.consecutiveCrashes >= kCrashesBeforeReset) {
    counts_.consecutiveCrashes = 0;
    log("handleLaunchAfterCrash", "reset consecutive crash count");
    launch.storeWasReset = true;
    if (reset) {
      reset();
    } else {
      deleteStoreFiles(launch);
    }
  }
  save();
  processed_.succeed(Void{});
  return launch;
}

CrashGuardLaunch DuplicatesMonitorCrashHandler::regular() {
  log("handleRegularLaunch", "reset consecutive crash count");
  counts_ = {};
  save();
  processed_.succeed(Void{});
  return {};
}

void DuplicatesMonitorCrashHandler::deleteStoreFiles(CrashGuardLaunch& launch) {
  if (auto removed = SqliteDatabase::removeFiles(places_.storeFile); removed.hasError()) {
    log("deleteStoreFiles", removed.error().oneLine());
    launch.message = fmt::format(
        "The monitor's saved state kept making it stop unexpectedly, but it could not be "
        "cleared: {}",
        removed.error().oneLine());
    return;
  }
  launch.message =
      "The monitor's saved state kept making it stop unexpectedly, so it was cleared; the "
      "monitor looks through its folders again.";
}

void DuplicatesMonitorCrashHandler::beginStoreOperation() {
  queue_->sync([this] {
    if (ongoing_++ > 0) return;
    counts_.ongoingOperations = 1;
    save();
  });
}

void DuplicatesMonitorCrashHandler::endStoreOperation() {
  queue_->sync([this] {
    if (ongoing_ == 0 || --ongoing_ > 0) return;
    counts_.ongoingOperations = 0;
    save();
  });
}

void DuplicatesMonitorCrashHandler::handleCleanExit() {
  queue_->sync([this] {
    if (auto removed = removeRunningMarker(places_.runningMarker); removed.hasError())
      log("handleCleanExit", removed.error().oneLine());
  });
}

void DuplicatesMonitorCrashHandler::save() {
  if (auto saved = counters_->save(counts_); saved.hasError())
    log("save", "the crash counters could not be saved: " + saved.error().oneLine());
}

void DuplicatesMonitorCrashHandler::log(std::string_view function,
                                        const std::string& message) const {
  Logger::shared().log("DuplicatesMonitorCrashHandler", function, message);
}

}  // namespace zarnik
