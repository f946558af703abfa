#include "platform/mounts.h"

#include <fstream>
#include <sstream>

#include "base/path_components.h"

namespace zarnik {
namespace {

std::string unescapeOctal(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() &&
        text[i + 1] >= '0' && text[i + 1] <= '3' && text[i + 2] >= '0' && text[i + 2] <= '7' &&
        text[i + 3] >= '0' && text[i + 3] <= '7') {
      out += static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0'));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

std::vector<MountEntry> readMountTable(const std::string& mountinfoPath) {
  std::vector<MountEntry> mounts;
  std::ifstream in(mountinfoPath);
  std::string line;
  while (std::getline(in, line)) {
    // id parent major:minor root mountpoint options [optional fields...] - fstype source options
    std::istringstream fields(line);
    std::string id, parent, device, root, mountPoint;
    if (!(fields >> id >> parent >> device >> root >> mountPoint)) continue;
    const size_t separator = line.find(" - ");
    if (separator == std::string::npos) continue;
    std::istringstream tail(line.substr(separator + 3));
    MountEntry entry;
    tail >> entry.fileSystemType >> entry.source;
    entry.mountPoint = unescapeOctal(mountPoint);
    entry.source = unescapeOctal(entry.source);
    const size_t colon = device.find(':');
    if (colon != std::string::npos) {
      entry.major = static_cast<std::uint32_t>(std::strtoul(device.c_str(), nullptr, 10));
      entry.minor = static_cast<std::uint32_t>(std::strtoul(device.c_str() + colon + 1, nullptr, 10));
    }
    mounts.push_back(std::move(entry));
  }
  return mounts;
}

std::optional<std::string> mountPointForPath(const std::vector<MountEntry>& mounts, const std::string& path) {
  // Called for every file read, so it compares bytes instead of building component lists.
  const MountEntry* best = nullptr;
  for (const auto& mount : mounts) {
    const std::string& point = mount.mountPoint;
    const bool contains = point == "/" || (path.compare(0, point.size(), point) == 0 &&
                                           (path.size() == point.size() || path[point.size()] == '/'));
    // Later entries shadow earlier ones mounted at the same place.
    if (contains && (best == nullptr || point.size() >= best->mountPoint.size())) best = &mount;
  }
  if (best == nullptr) return std::nullopt;
  return best->mountPoint;
}

}  // namespace zarnik
