// Folders of cloud-synchronisation clients in the home folder. Linux clients (the Dropbox
// daemon, rclone and insync mounts, OneDrive clients) keep their synchronised tree in a folder
// named after the service; those that exist as directories are reported.
#pragma once

#include <string>
#include <vector>

namespace zarnik {

struct CloudFolder {
  std::string service;  // "Dropbox", "ICloudDrive", "GoogleDrive" or "OneDrive"
  std::string path;     // absolute, without trailing separator
};

[[nodiscard]] std::vector<CloudFolder> discoverCloudFolders(const std::string& homeDirectory);

}  // namespace zarnik
