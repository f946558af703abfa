// The machine's disks and which mounted volume lies on which, from /proc/self/mountinfo and
// /sys/dev/block: rotational 0 → solid state (kind 1), 1 → rotating (kind 2); removable or USB
// → external (kind 3); network file systems → kind 4; anything else is its own disk of kind 0.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "platform/mounts.h"

namespace zarnik {

struct ZKDiskInfo {
  enum Kind { unknown = 0, solidState = 1, rotating = 2, externalLocal = 3, network = 4 };

  std::string uniqueID;
  std::set<std::string> volumeURLs;
  int kind = unknown;

  // Readers allowed at once: 4 on solid state, 2 on a rotating disk, 1 otherwise.
  [[nodiscard]] int maxTreads() const { return kind == solidState ? 4 : kind == rotating ? 2 : 1; }
  friend bool operator==(const ZKDiskInfo& a, const ZKDiskInfo& b) { return a.uniqueID == b.uniqueID; }
};

// `sysfsRoot` is "/sys" except in tests.
[[nodiscard]] std::vector<ZKDiskInfo> buildDiskMap(const std::vector<MountEntry>& mounts,
                                                   const std::string& sysfsRoot = "/sys");
[[nodiscard]] bool isNetworkFileSystem(const std::string& type);

}  // namespace zarnik
