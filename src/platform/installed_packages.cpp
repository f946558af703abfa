#include "platform/installed_packages.h"

#include "base/path_components.h"

#include <algorithm>
#include <dirent.h>
#include <fstream>

namespace zarnik {
namespace {

constexpr std::string_view kListSuffix = ".list";

std::vector<std::string> listFileNames(const std::string& folder) {
  std::vector<std::string> names;
  DIR* directory = ::opendir(folder.c_str());
  if (directory == nullptr) return names;
  while (const dirent* entry = ::readdir(directory)) {
    std::string_view name = entry->d_name;
    if (name.size() > kListSuffix.size() &&
        name.substr(name.size() - kListSuffix.size()) == kListSuffix) {
      names.emplace_back(name);
    }
  }
  ::closedir(directory);
  // The first list naming a path wins, whatever the listing order.
  std::sort(names.begin(), names.end());
  return names;
}

// "libx11-6:amd64.list" names the package "libx11-6".
std::string packageName(std::string_view listName) {
  std::string_view name = listName.substr(0, listName.size() - kListSuffix.size());
  return std::string(name.substr(0, name.find(':')));
}

// Whether `path` is `folder` or lies below it.
bool liesIn(const std::string& path, const std::string& folder) {
  if (folder == "/") return true;
  return path.size() >= folder.size() && path.compare(0, folder.size(), folder) == 0 &&
         (path.size() == folder.size() || path[folder.size()] == '/');
}

}  // namespace

InstalledPackageFiles::InstalledPackageFiles(std::string listsFolder,
                                             const std::vector<std::string>& within,
                                             const std::string& home)
    : listsFolder_(std::move(listsFolder)) {
  for (const auto& folder : within) within_.push_back(standardizedPath(folder));
  if (!home.empty() && standardizedPath(home) != "/") home_ = standardizedPath(home);
}

bool InstalledPackageFiles::isLookedUp(const std::string& path) const {
  if (!home_.empty() && liesIn(path, home_)) return false;
  return std::any_of(within_.begin(), within_.end(),
                     [&path](const std::string& folder) { return liesIn(path, folder); });
}

void InstalledPackageFiles::load() const {
  for (const std::string& listName : listFileNames(listsFolder_)) {
    std::ifstream list(appendingPathComponent(listsFolder_, listName));
    std::optional<std::uint32_t> index;
    std::string line;
    while (std::getline(list, line)) {
      if (line.empty() || line[0] != '/' || !isLookedUp(line)) continue;
      if (!index) {
        index = static_cast<std::uint32_t>(packages_.size());
        packages_.push_back(packageName(listName));
      }
      packageByPath_.emplace(std::move(line), *index);
    }
  }
}

void InstalledPackageFiles::readAhead() const {
  const bool isHomeOnly = !home_.empty() && std::all_of(within_.begin(), within_.end(),
                                                        [this](const std::string& folder) {
                                                          return liesIn(folder, home_);
                                                        });
  if (!isHomeOnly) std::call_once(loaded_, [this] { load(); });
}

std::optional<std::string> InstalledPackageFiles::packageOf(const std::string& path) const {
  if (!isLookedUp(path)) return std::nullopt;
  std::call_once(loaded_, [this] { load(); });
  auto it = packageByPath_.find(path);
  if (it == packageByPath_.end()) return std::nullopt;
  return packages_[it->second];
}

}  // namespace zarnik
