#include "platform/cloud_folders.h"

#include <dirent.h>
#include <sys/stat.h>

#include <memory>

#include "base/path_components.h"

namespace zarnik {
namespace {

struct KnownFolder {
  const char* service;
  const char* name;
  bool isPrefix;  // "Dropbox (Personal)", "OneDrive - Company"
};
constexpr KnownFolder kKnownFolders[] = {
    {"Dropbox", "Dropbox", true},         {"GoogleDrive", "Google Drive", true},
    {"GoogleDrive", "GoogleDrive", true}, {"OneDrive", "OneDrive", true},
    {"ICloudDrive", "iCloud Drive", true}, {"ICloudDrive", "iCloudDrive", true},
};

bool isDirectory(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::vector<CloudFolder> discoverCloudFolders(const std::string& homeDirectory) {
  std::vector<CloudFolder> found;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(homeDirectory.c_str()), &::closedir);
  if (!dir) return found;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    for (const auto& known : kKnownFolders) {
      const std::string_view knownName = known.name;
      const bool matches = name == knownName ||
                           (known.isPrefix && name.size() > knownName.size() + 1 &&
                            name.substr(0, knownName.size()) == knownName &&
                            (name[knownName.size()] == ' ' || name[knownName.size()] == '-'));
      if (!matches) continue;
      std::string path = appendingPathComponent(homeDirectory, name);
      if (isDirectory(path)) found.push_back({known.service, std::move(path)});
      break;
    }
  }
  return found;
}

}  // namespace zarnik
