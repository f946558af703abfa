#include "platform/disk_map.h"

#include <climits>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>

#include <fmt/format.h>

#include "base/path_components.h"

namespace zarnik {
namespace {

std::string readFirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\n')) line.pop_back();
  return line;
}

std::string realPath(const std::string& path) {
  char buffer[PATH_MAX];
  return ::realpath(path.c_str(), buffer) != nullptr ? std::string(buffer) : std::string();
}

struct PhysicalDisk {
  std::string id;
  int kind = ZKDiskInfo::unknown;
};

// The whole-disk sysfs folder of a block device: a partition's parent holds "queue".
std::optional<PhysicalDisk> physicalDiskOf(unsigned major, unsigned minor, const std::string& sysfsRoot) {
  const std::string device = realPath(fmt::format("{}/dev/block/{}:{}", sysfsRoot, major, minor));
  if (device.empty()) return std::nullopt;
  std::string disk = device;
  if (readFirstLine(disk + "/queue/rotational").empty()) disk = parentPath(device);
  const std::string rotational = readFirstLine(disk + "/queue/rotational");
  if (rotational.empty()) return std::nullopt;
  PhysicalDisk result;
  const bool usb = disk.find("/usb") != std::string::npos;
  if (usb || readFirstLine(disk + "/removable") == "1") {
    result.kind = ZKDiskInfo::externalLocal;
  } else {
    result.kind = rotational == "0" ? ZKDiskInfo::solidState : ZKDiskInfo::rotating;
  }
  std::string serial = readFirstLine(disk + "/device/serial");
  if (serial.empty()) serial = readFirstLine(disk + "/device/wwid");
  if (serial.empty()) serial = readFirstLine(disk + "/serial");
  result.id = serial.empty() ? "disk:" + std::string(lastPathComponent(disk)) : serial;
  return result;
}

}  // namespace

bool isNetworkFileSystem(const std::string& type) {
  static const std::set<std::string> kTypes = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "9p", "afs", "ceph"};
  return kTypes.count(type) != 0;
}

std::vector<ZKDiskInfo> buildDiskMap(const std::vector<MountEntry>& mounts, const std::string& sysfsRoot) {
  std::map<std::string, ZKDiskInfo> disks;
  for (const MountEntry& mount : mounts) {
    ZKDiskInfo info;
    if (isNetworkFileSystem(mount.fileSystemType)) {
      info.uniqueID = "network:" + mount.source;
      info.kind = ZKDiskInfo::network;
    } else if (auto disk = mount.major != 0 ? physicalDiskOf(mount.major, mount.minor, sysfsRoot) : std::nullopt) {
      info.uniqueID = disk->id;
      info.kind = disk->kind;
    } else {
      info.uniqueID = "volume:" + mount.mountPoint;  // its own disk of unknown kind
    }
    auto [it, inserted] = disks.try_emplace(info.uniqueID, info);
    it->second.volumeURLs.insert(mount.mountPoint);
  }
  std::vector<ZKDiskInfo> result;
  result.reserve(disks.size());
  for (auto& [id, info] : disks) result.push_back(std::move(info));
  return result;
}

}  // namespace zarnik
