// Files that belong to the system and are never proposed for removal: everything under the
// system's folders (/usr, /etc, /boot, /opt, /var/lib, /snap and the flatpak folders) and every
// file an installed package owns, wherever it lies. Removing one of them breaks a program or a
// package; selecting one by hand is allowed, with a warning that says whose it is.
//
// Immutable once made, but for the package lists, read on first use or ahead of it; safe from
// several threads.
#pragma once

#include "platform/installed_packages.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zarnik {

struct SystemFileOwner {
  std::string package;  // empty: a system file of no known package
};

class SystemFiles {
 public:
  // `folders`: the system folders; `packages`: who installed what (none: nothing is known).
  SystemFiles(const std::vector<std::string>& folders,
              std::shared_ptr<const InstalledPackageFiles> packages);

  // The system folders of a machine whose user's home folder is `home`.
  [[nodiscard]] static std::vector<std::string> standardFolders(const std::string& home);
  // The standard folders and dpkg's lists, read only for files inside `scanLocations`.
  [[nodiscard]] static std::shared_ptr<const SystemFiles> ofThisSystem(
      const std::vector<std::string>& scanLocations);

  // Nothing for a file that is not the system's.
  [[nodiscard]] std::optional<SystemFileOwner> ownerOf(const std::string& path) const;
  // Reads the package lists before the first question, when any will be asked: while it reads,
  // the others asking would wait.
  void readPackageListsAhead() const;

 private:
  std::vector<std::string> folders_;
  std::shared_ptr<const InstalledPackageFiles> packages_;
};

// "belongs to package libx11-6", or "a system file" where no package is known.
[[nodiscard]] std::string systemFileDescription(const std::string& package);

}  // namespace zarnik
