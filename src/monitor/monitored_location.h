// A folder the duplicates monitor watches, with what it knows of it: whether its first full walk
// has completed (until then its groups are not news to anybody) and whether the person added it
// (as opposed to taking it over from a scan).
#pragma once

#include "base/json.h"
#include "file_model/scan_location.h"

#include <optional>
#include <string>
#include <vector>

namespace zarnik {

struct MonitoredLocationInfo {
  ScanLocationPtr scanLocation;
  bool wasInitiallyScanned = false;
  bool wasAddedManually = true;

  [[nodiscard]] const std::string& path() const { return scanLocation->path(); }
  [[nodiscard]] Json encode() const;
  // Nothing for an archive that does not describe a location.
  static std::optional<MonitoredLocationInfo> decode(const Json& archive);
};

[[nodiscard]] Json encodeMonitoredLocations(const std::vector<MonitoredLocationInfo>& locations);
// Entries that cannot be read are skipped.
[[nodiscard]] std::vector<MonitoredLocationInfo> decodeMonitoredLocations(const Json& archive);

[[nodiscard]] std::vector<std::string> pathsOf(const std::vector<MonitoredLocationInfo>& locations);

}  // namespace zarnik
