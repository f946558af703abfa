#include "foundation/disk_access_manager.h"

#include "base/path_components.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace zarnik {
namespace {

// mountinfo is re-read at most this often: a scan asks for access thousands of times a second.
constexpr auto kMountCheckInterval = std::chrono::seconds(2);

std::string readMountinfo() {
  std::ifstream in("/proc/self/mountinfo");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

DiskAccessingSession::~DiskAccessingSession() {
  if (isAccessing_) endAccessing();
}

void DiskAccessingSession::endAccessing() {
  if (!isAccessing_) return;
  isAccessing_ = false;
  manager_->endAccess(*disk_);
}

const std::string& DiskAccessingSession::diskUniqueID() const { return disk_->diskInfo.uniqueID; }

DiskAccessManager& DiskAccessManager::shared() {
  static DiskAccessManager* manager = new DiskAccessManager();
  return *manager;
}

DiskAccessManager::DiskAccessManager(std::vector<ZKDiskInfo> disks) {
  unknownDiskData_ = std::make_shared<DiskData>();
  unknownDiskData_->diskInfo.uniqueID = "unknown";
  std::vector<MountEntry> mounts;
  for (const auto& disk : disks) {
    for (const auto& volume : disk.volumeURLs) mounts.push_back(MountEntry{volume, "", "", 0, 0});
  }
  rebuildDiskMap(std::move(disks), std::move(mounts));
}

DiskAccessManager::DiskAccessManager() : DiskAccessManager(std::vector<ZKDiskInfo>{}) {
  followsSystemMounts_ = true;
  refreshIfMountsChanged();
}

void DiskAccessManager::rebuildDiskMap(std::vector<ZKDiskInfo> disks,
                                       std::vector<MountEntry> mounts) {
  std::unique_lock volumesLock(volumesMutex_);
  std::lock_guard lock(mutex_);
  mounts_ = std::move(mounts);
  diskUniqueIDsByVolumeURL_.clear();
  std::unordered_map<std::string, std::shared_ptr<DiskData>> rebuilt;
  for (auto& disk : disks) {
    for (const auto& volume : disk.volumeURLs) diskUniqueIDsByVolumeURL_[volume] = disk.uniqueID;
    // A known disk keeps its data, so that sessions open across a rebuild stay counted.
    auto existing = diskDataByUniqueID_.find(disk.uniqueID);
    auto data =
        existing != diskDataByUniqueID_.end() ? existing->second : std::make_shared<DiskData>();
    data->diskInfo = disk;
    rebuilt.emplace(disk.uniqueID, std::move(data));
  }
  diskDataByUniqueID_ = std::move(rebuilt);
}

void DiskAccessManager::refreshIfMountsChanged() {
  if (!followsSystemMounts_) return;
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  auto last = lastMountCheck_.load(std::memory_order_relaxed);
  const auto interval =
      std::chrono::duration_cast<std::chrono::steady_clock::duration>(kMountCheckInterval).count();
  if (last != 0 && now - last < interval) return;
  // One thread re-reads; the others go on with the map they have.
  if (!lastMountCheck_.compare_exchange_strong(last, now, std::memory_order_relaxed)) return;
  std::string text = readMountinfo();
  {
    std::lock_guard lock(mountinfoMutex_);
    if (text == lastMountinfo_) return;
    lastMountinfo_ = text;
  }
  auto mounts = readMountTable();
  auto disks = buildDiskMap(mounts);
  rebuildDiskMap(std::move(disks), std::move(mounts));
}

std::shared_ptr<DiskAccessManager::DiskData> DiskAccessManager::diskDataForURL(
    const std::string& url, const std::optional<std::string>& volumeURL) {
  refreshIfMountsChanged();
  std::shared_lock lock(volumesMutex_);
  const std::optional<std::string> volume = volumeURL ? volumeURL : mountPointForPath(mounts_, url);
  if (!volume) return unknownDiskData_;
  auto id = diskUniqueIDsByVolumeURL_.find(*volume);
  if (id == diskUniqueIDsByVolumeURL_.end()) return unknownDiskData_;
  auto data = diskDataByUniqueID_.find(id->second);
  return data == diskDataByUniqueID_.end() ? unknownDiskData_ : data->second;
}

std::string DiskAccessManager::diskUniqueIDForURL(const std::string& url) {
  return diskDataForURL(url, std::nullopt)->diskInfo.uniqueID;
}

std::unique_ptr<DiskAccessingSession> DiskAccessManager::beginAccessingURL(
    const std::string& url, std::string propose, QualityOfService qos,
    std::optional<double> accessWaitingTimeout, std::optional<std::string> volumeURL) {
  auto disk = diskDataForURL(url, volumeURL);
  std::unique_ptr<DiskAccessingSession> session(
      new DiskAccessingSession(this, disk, url, std::move(propose)));
  if (!requestAccess(*disk, qos, accessWaitingTimeout)) return nullptr;
  session->isAccessing_ = true;
  return session;
}

bool DiskAccessManager::requestAccess(DiskData& disk, QualityOfService qos,
                                      std::optional<double> timeout) {
  const auto me = std::this_thread::get_id();
  std::shared_ptr<AccessRequest> request;
  {
    std::lock_guard lock(mutex_);
    const size_t limit = readersAllowed(disk, qos);
    auto& holders = disk.accessingThreads;
    if (holders.size() < limit || std::find(holders.begin(), holders.end(), me) != holders.end()) {
      holders.push_back(me);
      return true;
    }
    request = std::make_shared<AccessRequest>();
    request->thread = me;
    disk.requests[static_cast<size_t>(qos)].push_back(request);
  }
  if (timeout) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(*timeout));
    (void)request->semaphore.try_acquire_until(deadline);
  } else {
    request->semaphore.acquire();
  }
  // Whoever sets the flag first decides: the planner (granted, already counted as a holder)
  // or this thread (gave up; the planner will drop the request).
  return request->decided.test_and_set();
}

void DiskAccessManager::endAccess(DiskData& disk) {
  std::lock_guard lock(mutex_);
  auto& holders = disk.accessingThreads;
  auto it = std::find(holders.begin(), holders.end(), std::this_thread::get_id());
  if (it != holders.end()) holders.erase(it);
  plan(disk);
}

void DiskAccessManager::plan(DiskData& disk) {
  for (;;) {
    auto queue = std::find_if(disk.requests.begin(), disk.requests.end(),
                              [](const auto& q) { return !q.empty(); });
    if (queue == disk.requests.end()) return;
    const auto qos = static_cast<QualityOfService>(queue - disk.requests.begin());
    if (disk.accessingThreads.size() >= readersAllowed(disk, qos)) return;
    auto request = std::move(queue->front());
    queue->pop_front();
    if (request->decided.test_and_set()) continue;  // abandoned by its thread
    disk.accessingThreads.push_back(request->thread);
    request->semaphore.release();
  }
}

size_t DiskAccessManager::readersAllowed(const DiskData& disk, QualityOfService qos) {
  return qos == QualityOfService::background ? 1 : static_cast<size_t>(disk.diskInfo.maxTreads());
}

size_t DiskAccessManager::waitingRequestCount(const std::string& diskUniqueID) {
  std::shared_lock volumesLock(volumesMutex_);
  std::lock_guard lock(mutex_);
  auto it = diskDataByUniqueID_.find(diskUniqueID);
  DiskData* disk = it != diskDataByUniqueID_.end()
                       ? it->second.get()
                       : (diskUniqueID == "unknown" ? unknownDiskData_.get() : nullptr);
  if (disk == nullptr) return 0;
  size_t count = 0;
  for (const auto& queue : disk->requests) {
    for (const auto& request : queue) count += request->decided.test() ? 0 : 1;
  }
  return count;
}

}  // namespace zarnik
