#include "selection/system_files.h"

#include "base/path_components.h"
#include "platform/xdg_directories.h"

#include <algorithm>

namespace zarnik {
namespace {

bool isInside(const std::string& path, const std::string& folder) {
  return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
         path[folder.size()] == '/';
}

}  // namespace

SystemFiles::SystemFiles(const std::vector<std::string>& folders,
                         std::shared_ptr<const InstalledPackageFiles> packages)
    : packages_(std::move(packages)) {
  for (const auto& folder : folders) folders_.push_back(standardizedPath(folder));
}

std::vector<std::string> SystemFiles::standardFolders(const std::string& home) {
  return {"/usr",
          "/etc",
          "/boot",
          "/opt",
          "/var/lib",
          "/snap",
          "/var/lib/flatpak",
          appendingPathComponent(home, ".local/share/flatpak")};
}

std::shared_ptr<const SystemFiles> SystemFiles::ofThisSystem(
    const std::vector<std::string>& scanLocations) {
  const std::string home = xdg::homeDirectory();
  // Packages install outside the home folder only: a scan of a home folder never reads the lists.
  auto packages = std::make_shared<InstalledPackageFiles>(InstalledPackageFiles::kDpkgListsFolder,
                                                          scanLocations, home);
  return std::make_shared<SystemFiles>(standardFolders(home), std::move(packages));
}

std::optional<SystemFileOwner> SystemFiles::ownerOf(const std::string& path) const {
  std::optional<SystemFileOwner> owner;
  if (std::any_of(folders_.begin(), folders_.end(),
                  [&](const auto& folder) { return isInside(path, folder); })) {
    owner = SystemFileOwner{};
  }
  if (packages_) {
    if (auto package = packages_->packageOf(path)) owner = SystemFileOwner{std::move(*package)};
  }
  return owner;
}

void SystemFiles::readPackageListsAhead() const {
  if (packages_) packages_->readAhead();
}

std::string systemFileDescription(const std::string& package) {
  return package.empty() ? std::string("a system file") : "belongs to package " + package;
}

}  // namespace zarnik
