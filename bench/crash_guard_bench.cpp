// The cost of counting one monitor store operation for the crash guard: a begin and an end, each
// of which writes the settings file (locked, read, written to a temporary file, synced, renamed)
// when the count leaves or returns to 0. The store saves at most every 2 s, so one pair per 2 s
// is what a busy monitor pays. Reports wall and processor time per pair.
//   crash_guard_bench [FOLDER] [PAIRS]   (default: a new folder under the current one, 200)
#include "monitor/duplicates_monitor_crash_handler.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

using namespace zarnik;

double processorSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
  // A folder on the disk the settings live on, not /tmp, which may be in memory.
  const std::string folder =
      argc > 1 ? argv[1] : std::filesystem::current_path().string() + "/crash-guard-bench";
  const int pairs = argc > 2 ? std::stoi(argv[2]) : 200;
  std::filesystem::create_directories(folder);

  PreferencesLocations locations;
  locations.settingsFile = folder + "/settings.json";
  auto controller = PreferencesController::open(locations);
  if (controller.hasError()) {
    std::fprintf(stderr, "%s\n", controller.error().oneLine().c_str());
    return 1;
  }
  auto handler = DuplicatesMonitorCrashHandler::make(
      std::make_unique<SettingsCrashGuardCounterStore>(std::move(controller).value()),
      {folder + "/monitor.running", folder + "/monitor.db"});
  (void)handler->handleLaunch().wait();

  const auto wallStart = std::chrono::steady_clock::now();
  const double processorStart = processorSeconds();
  for (int i = 0; i < pairs; ++i) {
    DuplicatesMonitorCrashHandler::StoreOperation operation(handler);
  }
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  const double processor = processorSeconds() - processorStart;
  handler->handleCleanExit();
  std::printf("%d store operations counted: %.2f ms wall, %.3f ms processor per operation\n", pairs,
              wall * 1000 / pairs, processor * 1000 / pairs);
  std::printf("at one save per 2 s: %.3f %% of one core\n", processor / pairs / 2 * 100);
  std::filesystem::remove_all(folder);
  return 0;
}
