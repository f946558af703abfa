#include "monitor/monitored_location.h"

namespace zarnik {

Json MonitoredLocationInfo::encode() const {
  return Json{{"scanLocation", scanLocation->encode()},
              {"wasInitiallyScanned", wasInitiallyScanned},
              {"wasAddedManually", wasAddedManually}};
}

std::optional<MonitoredLocationInfo> MonitoredLocationInfo::decode(const Json& archive) {
  if (!archive.is_object() || !archive.contains("scanLocation")) return std::nullopt;
  auto location = ScanLocation::decode(archive["scanLocation"]);
  if (location.hasError() || !location.value() || location.value()->path().empty())
    return std::nullopt;
  MonitoredLocationInfo info;
  info.scanLocation = location.value();
  info.wasInitiallyScanned = archive.value("wasInitiallyScanned", false);
  info.wasAddedManually = archive.value("wasAddedManually", true);
  return info;
}

Json encodeMonitoredLocations(const std::vector<MonitoredLocationInfo>& locations) {
  Json list = Json::array();
  for (const auto& location : locations) list.push_back(location.encode());
  return list;
}

std::vector<MonitoredLocationInfo> decodeMonitoredLocations(const Json& archive) {
  std::vector<MonitoredLocationInfo> locations;
  if (!archive.is_array()) return locations;
  for (const auto& entry : archive) {
    if (auto location = MonitoredLocationInfo::decode(entry))
      locations.push_back(std::move(*location));
  }
  return locations;
}

std::vector<std::string> pathsOf(const std::vector<MonitoredLocationInfo>& locations) {
  std::vector<std::string> paths;
  paths.reserve(locations.size());
  for (const auto& location : locations) paths.push_back(location.path());
  return paths;
}

}  // namespace zarnik
