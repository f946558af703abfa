// DuplicatesMonitorCrashHandler: the guard against a monitor store that keeps crashing the
// monitor. Every store operation is counted while it runs, in the settings, so that the next
// launch knows whether a crash hit one; three such launches in a row reset the store.
//
// A launch counts as following a crash when the previous run left its running marker behind
// (placed at launch, removed by handleCleanExit) or left the count of store operations above 0.
// The marker lies in $XDG_RUNTIME_DIR/zarnik (the data folder when that variable is unset): it
// is gone after a reboot, which is no crash of the monitor; a crash inside a store operation is
// still told by the count, which lies in the settings.
//
// All work runs on the handler's own serial queue. Counting a store operation waits for the
// queue and writes the settings only when the count leaves or returns to 0: the store saves
// every 2 s at most, so that is two small settings writes per save.
#pragma once

#include "foundation/future.h"
#include "foundation/serial_queue.h"
#include "preferences/preferences_controller.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zarnik {

struct CrashGuardCounts {
  std::int64_t ongoingOperations = 0;
  std::int64_t consecutiveCrashes = 0;
};

// Where the two counters persist. Used on the crash handler's queue only.
class CrashGuardCounterStore {
 public:
  virtual ~CrashGuardCounterStore() = default;
  [[nodiscard]] virtual CrashGuardCounts load() = 0;
  virtual Result<void> save(const CrashGuardCounts& counts) = 0;
};

// The counters in the settings file, under their two keys. The controller should be the crash
// handler's own (settings changes re-read the file under its lock, so a second controller in
// the same process loses nothing).
class SettingsCrashGuardCounterStore final : public CrashGuardCounterStore {
 public:
  explicit SettingsCrashGuardCounterStore(std::unique_ptr<PreferencesController> controller)
      : controller_(std::move(controller)) {}
  [[nodiscard]] CrashGuardCounts load() override;
  Result<void> save(const CrashGuardCounts& counts) override;

 private:
  std::unique_ptr<PreferencesController> controller_;
};

// What launch handling found and did.
struct CrashGuardLaunch {
  bool followedCrash = false;
  bool storeWasReset = false;
  std::string message;  // for the user when the store was reset, else empty
};

class DuplicatesMonitorCrashHandler
    : public std::enable_shared_from_this<DuplicatesMonitorCrashHandler> {
 public:
  static constexpr std::int64_t kCrashesBeforeReset = 3;

  struct Places {
    std::string runningMarker;  // see the top of this file
    std::string storeFile;      // $XDG_DATA_HOME/zarnik/monitor.db
    static Places standard();
  };

  static std::shared_ptr<DuplicatesMonitorCrashHandler> make(
      std::unique_ptr<CrashGuardCounterStore> counters, Places places);

  // Decides whether this launch follows a crash and handles it as such or as a regular launch;
  // places the running marker. A reset deletes the store's files (monitor.db, -shm, -wal).
  Future<CrashGuardLaunch> handleLaunch();
  // The two paths on their own; `reset` runs when the store must go (nothing: delete its files).
  Future<CrashGuardLaunch> handleLaunchAfterCrash(std::function<void()> reset = {});
  Future<CrashGuardLaunch> handleRegularLaunch();
  // Completes when launch handling is done; the store should not be opened before.
  [[nodiscard]] Future<Void> hasProcessedCrash() const { return processed_.future(); }

  // Around every store write; each waits until the count is written.
  void beginStoreOperation();
  void endStoreOperation();
  // At a clean end (SIGTERM, stop), after the store was saved: removes the running marker.
  void handleCleanExit();

  // Counts one store operation for as long as it lives.
  class StoreOperation {
   public:
    explicit StoreOperation(std::shared_ptr<DuplicatesMonitorCrashHandler> handler)
        : handler_(std::move(handler)) {
      handler_->beginStoreOperation();
    }
    ~StoreOperation() { handler_->endStoreOperation(); }
    StoreOperation(const StoreOperation&) = delete;
    StoreOperation& operator=(const StoreOperation&) = delete;

   private:
    std::shared_ptr<DuplicatesMonitorCrashHandler> handler_;
  };

 private:
  DuplicatesMonitorCrashHandler(std::unique_ptr<CrashGuardCounterStore> counters, Places places)
      : counters_(std::move(counters)), places_(std::move(places)) {}
  // On queue_.
  CrashGuardLaunch afterCrash(const std::function<void()>& reset);
  CrashGuardLaunch regular();
  void deleteStoreFiles(CrashGuardLaunch& launch);
  void save();
  void log(std::string_view function, const std::string& message) const;

  std::shared_ptr<SerialQueue> queue_ = SerialQueue::make("DuplicatesMonitorCrashHandler");
  std::unique_ptr<CrashGuardCounterStore> counters_;
  Places places_;
  CrashGuardCounts counts_;   // on queue_: what the settings hold
  std::int64_t ongoing_ = 0;  // on queue_: operations under way now
  Promise<Void> processed_;
};

}  // namespace zarnik
