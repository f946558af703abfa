// Mounted file systems from /proc/self/mountinfo.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zarnik {

struct MountEntry {
  std::string mountPoint;
  std::string fileSystemType;
  std::string source;
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
};

// Mount points are unescaped (mountinfo writes spaces as \040).
[[nodiscard]] std::vector<MountEntry> readMountTable(const std::string& mountinfoPath = "/proc/self/mountinfo");
// The mount point holding `path`: the longest mount point that is a component prefix.
[[nodiscard]] std::optional<std::string> mountPointForPath(const std::vector<MountEntry>& mounts,
                                                           const std::string& path);

}  // namespace zarnik
