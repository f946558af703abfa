// CloudService: the synchronisation services whose folders the system recognises, and the
// lookup of the service a path belongs to.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zarnik {

enum class CloudService { dropbox, iCloudDrive, googleDrive, oneDrive };

[[nodiscard]] std::string_view rawValue(CloudService service);  // "Dropbox", "ICloudDrive", ...
[[nodiscard]] std::optional<CloudService> cloudServiceFromRawValue(std::string_view raw);
[[nodiscard]] std::string_view displayTitle(CloudService service);  // "iCloud Drive", ...

// The synchronised folders found in a home folder.
class CloudServiceFolders {
 public:
  static CloudServiceFolders discover(const std::string& homeDirectory);
  void add(CloudService service, std::string path);

  // The service whose folder holds `path` (or is `path`).
  [[nodiscard]] std::optional<CloudService> serviceForPath(std::string_view path) const;
  // The service whose folder is exactly `path`.
  [[nodiscard]] std::optional<CloudService> rootServiceForPath(std::string_view path) const;

 private:
  std::vector<std::pair<CloudService, std::string>> folders_;
};

}  // namespace zarnik
