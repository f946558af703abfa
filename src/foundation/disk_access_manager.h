// DiskAccessManager: every read of file contents happens inside a DiskAccessingSession, and the
// manager lets only a few threads read from one physical disk at once (4 on solid state, 2 on a
// rotating disk, 1 otherwise). A background reader (a scan in background mode) is let in only
// while nobody else reads from its disk. Waiting readers are served
// by priority class, first come first served within a class. A thread that already reads from a
// disk is let in again at once (re-entrant).
//
// Thread safety: every member may be called from any thread. Waiting happens on the caller's
// thread; the grants are guarded by one lock (the planner), never held while waiting. The map
// from volumes to disks has a reader-writer lock of its own: every file read looks a disk up,
// and with the planner's lock held over that lookup the hashing threads queued on each other.
#pragma once

#include "foundation/thread_pool.h"
#include "platform/disk_map.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <semaphore>
#include <shared_mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace zarnik {

class DiskAccessManager;

class DiskAccessingSession {
 public:
  ~DiskAccessingSession();
  DiskAccessingSession(const DiskAccessingSession&) = delete;
  DiskAccessingSession& operator=(const DiskAccessingSession&) = delete;

  // Gives the access back; must run on the thread that began the session. The destructor ends
  // a session still accessing, so that an early return cannot leak access.
  void endAccessing();
  [[nodiscard]] bool isAccessing() const { return isAccessing_; }
  [[nodiscard]] const std::string& propose() const { return propose_; }
  [[nodiscard]] const std::string& url() const { return url_; }
  [[nodiscard]] const std::string& diskUniqueID() const;

 private:
  friend class DiskAccessManager;
  struct DiskData;
  DiskAccessingSession(DiskAccessManager* manager, std::shared_ptr<DiskData> disk, std::string url,
                       std::string propose)
      : manager_(manager),
        disk_(std::move(disk)),
        url_(std::move(url)),
        propose_(std::move(propose)) {}

  DiskAccessManager* manager_;
  std::shared_ptr<DiskData> disk_;
  std::string url_;
  std::string propose_;
  bool isAccessing_ = false;
};

class DiskAccessManager {
 public:
  static DiskAccessManager& shared();

  // A manager over the given disks; a volume found on none of them uses the unknown disk.
  explicit DiskAccessManager(std::vector<ZKDiskInfo> disks);
  // The machine's disks, refreshed when /proc/self/mountinfo changes.
  DiskAccessManager();

  // A granted session, or nothing when the timeout (seconds) passed first.
  [[nodiscard]] std::unique_ptr<DiskAccessingSession> beginAccessingURL(
      const std::string& url, std::string propose, QualityOfService qos = QualityOfService::utility,
      std::optional<double> accessWaitingTimeout = std::nullopt,
      std::optional<std::string> volumeURL = std::nullopt);

  // The disk a path's reads are counted on.
  [[nodiscard]] std::string diskUniqueIDForURL(const std::string& url);
  // Waiting requests, for tests.
  [[nodiscard]] size_t waitingRequestCount(const std::string& diskUniqueID);

  void rebuildDiskMap(std::vector<ZKDiskInfo> disks, std::vector<MountEntry> mounts);

 private:
  friend class DiskAccessingSession;
  struct AccessRequest {
    std::binary_semaphore semaphore{0};
    std::atomic_flag decided = ATOMIC_FLAG_INIT;  // set once: by the grant or by giving up
    std::thread::id thread;
  };
  using DiskData = DiskAccessingSession::DiskData;

  std::shared_ptr<DiskData> diskDataForURL(const std::string& url,
                                           const std::optional<std::string>& volumeURL);
  void refreshIfMountsChanged();
  bool requestAccess(DiskData& disk, QualityOfService qos, std::optional<double> timeout);
  void endAccess(DiskData& disk);
  void plan(DiskData& disk);  // under mutex_
  [[nodiscard]] static size_t readersAllowed(const DiskData& disk, QualityOfService qos);

  std::mutex mutex_;  // grants and waiting requests
  bool followsSystemMounts_ = false;
  std::mutex mountinfoMutex_;
  std::string lastMountinfo_;  // under mountinfoMutex_
  std::atomic<std::chrono::steady_clock::rep> lastMountCheck_{0};
  std::shared_mutex volumesMutex_;  // the three maps below
  std::vector<MountEntry> mounts_;
  std::map<std::string, std::string> diskUniqueIDsByVolumeURL_;
  std::unordered_map<std::string, std::shared_ptr<DiskData>> diskDataByUniqueID_;
  std::shared_ptr<DiskData> unknownDiskData_;
};

struct DiskAccessingSession::DiskData {
  ZKDiskInfo diskInfo;
  std::vector<std::thread::id> accessingThreads;  // a bag: one entry per open session
  std::array<std::deque<std::shared_ptr<DiskAccessManager::AccessRequest>>, 4> requests;
};

}  // namespace zarnik
