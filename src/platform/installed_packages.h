// Which installed package owns a file, from dpkg's lists of installed files
// ("/var/lib/dpkg/info/<package>[:<arch>].list", one path a line). The lists are read once, on
// the first question or ahead of it, and only their lines inside the given folders are kept: a
// scan of a home folder (where no package installs) asks nothing and reads nothing, a scan of
// /usr/share keeps what lies there.
//
// Safe to ask from several threads at once.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace zarnik {

class InstalledPackageFiles {
 public:
  static constexpr const char* kDpkgListsFolder = "/var/lib/dpkg/info";

  // `within`: the folders whose files may be asked about (the scan locations); `home`: the
  // user's home folder, whose files are never looked up (none: every file of `within` is).
  InstalledPackageFiles(std::string listsFolder, const std::vector<std::string>& within,
                        const std::string& home = {});

  // The package ("libx11-6", without its architecture) whose list names `path`; nothing when
  // none does or the lists cannot be read.
  [[nodiscard]] std::optional<std::string> packageOf(const std::string& path) const;
  // Reads the lists now, ahead of the first question, unless no file will be looked up.
  void readAhead() const;

 private:
  void load() const;
  // Whether the lists are asked about `path`: it lies in a folder of `within` and not at home.
  [[nodiscard]] bool isLookedUp(const std::string& path) const;

  std::string listsFolder_;
  std::vector<std::string> within_;
  std::string home_;  // empty: none
  mutable std::once_flag loaded_;
  mutable std::vector<std::string> packages_;
  mutable std::unordered_map<std::string, std::uint32_t> packageByPath_;  // index into packages_
};

}  // namespace zarnik
