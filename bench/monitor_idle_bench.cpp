// The file watcher of the duplicates monitor on a large tree: how long setting up the watches
// takes and what it costs in memory. Started by bench/monitor_idle.sh, which then measures the
// idle cost from outside.
//
//   monitor_idle_bench ROOT
//
// Prints one line once every folder is watched, then runs until its standard input is closed and
// prints the events it saw: all, files created, and queue overflows (detail lost).
#include "monitor/file_system_monitor.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

namespace {

long residentKib() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmRSS:")) return std::stol(line.substr(6));
  }
  return -1;
}

class CountingObserver final : public zarnik::FileSystemEventObserver {
 public:
  void fileSystemEvent(std::uint64_t, const std::string&,
                       zarnik::FileSystemChange change) override {
    ++count;
    if (change.contains(zarnik::FileSystemChange::created | zarnik::FileSystemChange::isFile))
      ++filesCreated;
    if (change.contains(zarnik::FileSystemChange::scanSubDirs)) ++overflows;
  }
  // Touched only on the monitor's queue.
  long count = 0;
  long filesCreated = 0;
  long overflows = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: monitor_idle_bench ROOT\n");
    return 2;
  }
  const long residentBefore = residentKib();
  const auto start = std::chrono::steady_clock::now();
  auto monitor = zarnik::FileSystemMonitor::make({0.0, {argv[1]}, {}, {}, {}});
  auto observer = std::make_shared<CountingObserver>();
  monitor->add(observer);
  monitor->start();
  const std::chrono::duration<double> setup = std::chrono::steady_clock::now() - start;
  const auto status = monitor->status();
  std::printf(
      "setup_seconds=%.3f watched_folders=%zu not_watched=%zu kernel_watches=%ld "
      "rss_before_kib=%ld rss_kib=%ld\n",
      setup.count(), status.watchedFolders, status.foldersNotWatched, monitor->kernelWatchCount(),
      residentBefore, residentKib());
  std::fflush(stdout);
  // Idle: the main thread only waits for the end of its input; the monitor runs on its queue.
  for (std::string line; std::getline(std::cin, line);) {
  }
  long events = 0;
  long filesCreated = 0;
  long overflows = 0;
  monitor->monitoringQueue()->sync([&] {
    events = observer->count;
    filesCreated = observer->filesCreated;
    overflows = observer->overflows;
  });
  monitor->stop();
  std::printf("events=%ld files_created=%ld queue_overflows=%ld rss_kib=%ld\n", events,
              filesCreated, overflows, residentKib());
  return 0;
}
