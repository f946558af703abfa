#include "platform/installed_packages.h"

#include <dirent.h>

#include <algorithm>
#include <fstream>

#include "base/path_components.h"

namespace zarnik {
namespace {

constexpr std::string_view kListSuffix = ".list";

std::vector<std::string> listFileNames(const std::string& folder) {
  std::vector<std::string> names;
  DIR* directory = ::opendir(folder.c_str());
  if (directory == nullptr) return names;
  while (const dirent* entry = ::readdir(directory)) {
    std::string_view name = entry->d_name;
    if (name.size() > kListSuffix.size() && name.substr(name.size() - kListSuffix.size()) == kListSuffix) {
      names.emplace_back(name);
    }
  }
  ::closedir(directory);
  std::sort(names.begin(), names.end());  // the first list naming a path wins, whatever the listing order
  return names;
}

// "libx11-6:amd64.list" names the package "libx11-6".
std::string packageName(std::string_view listName) {
  std::string_view name = listName.substr(0, listName.size() - kListSuffix.size());
  return std::string(name.substr(0, name.find(':')));
}

}  // namespace

InstalledPackageFiles::InstalledPackageFiles(std::string listsFolder, std::vector<std::string> within)
    : listsFolder_(std::move(listsFolder)) {
  for (auto& folder : within) within_.push_back(standardizedPath(folder));
}

bool InstalledPackageFiles::isWithin(const std::string& path) const {
  return std::any_of(within_.begin(), within_.end(), [&](const std::string& folder) {
    if (folder == "/") return true;
    return path.size() >= folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           (path.size() == folder.size() || path[folder.size()] == '/');
  });
}

void InstalledPackageFiles::load() const {
  for (const std::string& listName : listFileNames(listsFolder_)) {
    std::ifstream list(appendingPathComponent(listsFolder_, listName));
    std::optional<std::uint32_t> index;
    std::string line;
    while (std::getline(list, line)) {
      if (line.empty() || line[0] != '/' || !isWithin(line)) continue;
      if (!index) {
        index = static_cast<std::uint32_t>(packages_.size());
        packages_.push_back(packageName(listName));
      }
      packageByPath_.emplace(std::move(line), *index);
    }
  }
}

std::optional<std::string> InstalledPackageFiles::packageOf(const std::string& path) const {
  if (!isWithin(path)) return std::nullopt;
  std::call_once(loaded_, [this] { load(); });
  auto it = packageByPath_.find(path);
  if (it == packageByPath_.end()) return std::nullopt;
  return packages_[it->second];
}

}  // namespace zarnik
