// FileSystemCombinedMonitor: watches folder trees while leaving chosen sub-trees out. Everything
// under each root is watched recursively (FileSystemMonitor) except the ignored sub-trees; the
// folders on the way from a root down to an ignored folder, the root included, are watched only
// for their own entries (OVFileMonitor).
//
// Threading: start, stop and the configuration may be called from any thread (a mutex keeps them
// apart). Each observer is called asynchronously on the executor it names, with a snapshot of
// the observers taken per event; observers are held weakly.
#pragma once

#include "foundation/executor.h"
#include "monitor/file_system_monitor.h"
#include "monitor/ov_file_monitor.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace zarnik {

class FileSystemCombinedMonitorObserver {
 public:
  virtual ~FileSystemCombinedMonitorObserver() = default;
  // Where the observer wants to be called (its serial queue).
  [[nodiscard]] virtual std::shared_ptr<Executor> observerQueue() const = 0;
  // A change below a recursively watched folder.
  virtual void fileSystemEvent(std::uint64_t identifier, const std::string& path,
                               FileSystemChange change) = 0;
  // An entry of a folder watched only for its own entries changed.
  virtual void directoryChanged(const std::string& path) = 0;
};

struct FileSystemCombinedMonitorConfiguration {
  std::set<std::string> urlsToObserve;  // folder paths
  std::set<std::string> urlsToIgnore;
  // See FileSystemMonitorConfiguration.
  std::shared_ptr<const std::unordered_map<std::string, long>> duplicatesByFolder;
  friend bool operator==(const FileSystemCombinedMonitorConfiguration&,
                         const FileSystemCombinedMonitorConfiguration&) = default;
};

// Which folders are watched how.
struct MonitoringSplit {
  std::set<std::string> recursively;
  std::set<std::string> nonRecursively;
  friend bool operator==(const MonitoringSplit&, const MonitoringSplit&) = default;
};

// Splits each root around the ignored folders below it. Walking up from an ignored folder to its
// root, each folder on the way is watched for its own entries and its other visible sub-folders
// recursively (hidden ones are left out; a folder that cannot be listed adds none). An ignored
// folder equal to its root splits nothing. Paths are compared component by component, and no
// folder at or below an ignored one is ever watched recursively.
[[nodiscard]] MonitoringSplit splitAroundIgnoredPaths(const std::set<std::string>& roots,
                                                      const std::set<std::string>& ignored);

class FileSystemCombinedMonitor : public FileSystemEventObserver,
                                  public std::enable_shared_from_this<FileSystemCombinedMonitor> {
 public:
  static std::shared_ptr<FileSystemCombinedMonitor> make();
  ~FileSystemCombinedMonitor() override;

  // Applied at the next start; while running, the monitor is stopped and started again.
  void setConfiguration(FileSystemCombinedMonitorConfiguration configuration);

  void addObserver(const std::shared_ptr<FileSystemCombinedMonitorObserver>& observer);

  // Starting while running and stopping while stopped do nothing.
  void start();
  void stop();
  [[nodiscard]] bool isRunning() const;

  // How much of the recursive part is watched (for the monitor's status).
  [[nodiscard]] FileSystemMonitorStatus recursiveStatus() const;
  [[nodiscard]] std::vector<std::string> urlsToObserveNonRecursively() const;

  // From the recursive monitor, on its queue.
  void fileSystemEvent(std::uint64_t identifier, const std::string& path,
                       FileSystemChange change) override;

 private:
  FileSystemCombinedMonitor();
  void startLocked();
  void stopLocked();
  std::shared_ptr<FileSystemMonitor> recursiveMonitorLocked();
  void directoryChanged(const std::string& path);
  [[nodiscard]] std::vector<std::shared_ptr<FileSystemCombinedMonitorObserver>> observers() const;

  mutable std::mutex mutex_;  // start, stop and the configuration
  FileSystemCombinedMonitorConfiguration configuration_;
  bool isRunning_ = false;
  std::shared_ptr<FileSystemMonitor> recursiveMonitor_;  // made on first use
  const std::shared_ptr<OVFileMonitor> nonRecursiveMonitor_;
  std::vector<std::string> urlsToObserveNonRecursively_;

  mutable std::mutex observersMutex_;
  std::vector<std::weak_ptr<FileSystemCombinedMonitorObserver>> observers_;
};

}  // namespace zarnik
