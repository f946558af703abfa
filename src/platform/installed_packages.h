// Which installed package owns a file, from dpkg's lists of installed files
// ("/var/lib/dpkg/info/<package>[:<arch>].list", one path a line). The lists are read once, on
// the first question, and only their lines inside the given folders are kept: a scan of a home
// folder asks nothing and reads nothing, a scan of /usr/share keeps what lies there.
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

  // `within`: the folders whose files may be asked about (the scan locations).
  InstalledPackageFiles(std::string listsFolder, std::vector<std::string> within);

  // The package ("libx11-6", without its architecture) whose list names `path`; nothing when
  // none does or the lists cannot be read.
  [[nodiscard]] std::optional<std::string> packageOf(const std::string& path) const;

 private:
  void load() const;
  [[nodiscard]] bool isWithin(const std::string& path) const;

  std::string listsFolder_;
  std::vector<std::string> within_;
  mutable std::once_flag loaded_;
  mutable std::vector<std::string> packages_;
  mutable std::unordered_map<std::string, std::uint32_t> packageByPath_;  // index into packages_
};

}  // namespace zarnik
