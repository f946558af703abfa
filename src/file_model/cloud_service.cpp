#include "file_model/cloud_service.h"

#include "base/path_components.h"
#include "platform/cloud_folders.h"

namespace zarnik {

std::string_view rawValue(CloudService service) {
  switch (service) {
    case CloudService::dropbox: return "Dropbox";
    case CloudService::iCloudDrive: return "ICloudDrive";
    case CloudService::googleDrive: return "GoogleDrive";
    case CloudService::oneDrive: return "OneDrive";
  }
  return "Dropbox";
}

std::optional<CloudService> cloudServiceFromRawValue(std::string_view raw) {
  for (auto service : {CloudService::dropbox, CloudService::iCloudDrive, CloudService::googleDrive,
                       CloudService::oneDrive}) {
    if (rawValue(service) == raw) return service;
  }
  return std::nullopt;
}

std::string_view displayTitle(CloudService service) {
  switch (service) {
    case CloudService::dropbox: return "Dropbox";
    case CloudService::iCloudDrive: return "iCloud Drive";
    case CloudService::googleDrive: return "Google Drive";
    case CloudService::oneDrive: return "OneDrive";
  }
  return "";
}

CloudServiceFolders CloudServiceFolders::discover(const std::string& homeDirectory) {
  CloudServiceFolders folders;
  for (auto& folder : discoverCloudFolders(homeDirectory)) {
    if (auto service = cloudServiceFromRawValue(folder.service)) folders.add(*service, std::move(folder.path));
  }
  return folders;
}

void CloudServiceFolders::add(CloudService service, std::string path) {
  folders_.emplace_back(service, standardizedPath(path));
}

std::optional<CloudService> CloudServiceFolders::serviceForPath(std::string_view path) const {
  const std::string standardized = standardizedPath(path);
  for (const auto& [service, folder] : folders_) {
    if (standardized == folder ||
        (standardized.size() > folder.size() && standardized.compare(0, folder.size(), folder) == 0 &&
         standardized[folder.size()] == '/')) {
      return service;
    }
  }
  return std::nullopt;
}

std::optional<CloudService> CloudServiceFolders::rootServiceForPath(std::string_view path) const {
  const std::string standardized = standardizedPath(path);
  for (const auto& [service, folder] : folders_) {
    if (standardized == folder) return service;
  }
  return std::nullopt;
}

}  // namespace zarnik
