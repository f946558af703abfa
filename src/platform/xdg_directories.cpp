#include "platform/xdg_directories.h"

#include "base/path_components.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zarnik::xdg {
namespace {

std::string environmentPath(const char* name) {
  const char* value = std::getenv(name);
  // Relative values are invalid by the base-directory rules and must be ignored.
  if (value == nullptr || value[0] != '/') return {};
  return value;
}

std::string fromEnvironmentOr(const char* name, const char* homeRelativeDefault) {
  std::string value = environmentPath(name);
  if (!value.empty()) return standardizedPath(value);
  return appendingPathComponent(homeDirectory(), homeRelativeDefault);
}

}  // namespace

std::string homeDirectory() {
  std::string home = environmentPath("HOME");
  if (!home.empty()) return standardizedPath(home);
  if (const passwd* pw = getpwuid(geteuid()); pw != nullptr && pw->pw_dir != nullptr) {
    return pw->pw_dir;
  }
  return "/";
}

std::string configHome() { return fromEnvironmentOr("XDG_CONFIG_HOME", ".config"); }
std::string dataHome() { return fromEnvironmentOr("XDG_DATA_HOME", ".local/share"); }
std::string cacheHome() { return fromEnvironmentOr("XDG_CACHE_HOME", ".cache"); }
std::string stateHome() { return fromEnvironmentOr("XDG_STATE_HOME", ".local/state"); }

std::vector<std::string> dataDirs() {
  const char* value = std::getenv("XDG_DATA_DIRS");
  std::string list = value != nullptr && value[0] != '\0' ? value : "/usr/local/share:/usr/share";
  std::vector<std::string> dirs;
  size_t pos = 0;
  while (pos <= list.size()) {
    const size_t end = std::min(list.find(':', pos), list.size());
    std::string dir = list.substr(pos, end - pos);
    if (!dir.empty() && dir[0] == '/') dirs.push_back(standardizedPath(dir));
    pos = end + 1;
  }
  return dirs;
}

namespace {

// `"$HOME/Pictures"` or `"/data/Pictures"`: the quoted value of one user-dirs.dirs line.
std::string userDirectoryValue(std::string_view line, const std::string& home) {
  const size_t open = line.find('"');
  const size_t close = line.rfind('"');
  if (open == std::string_view::npos || close <= open) return {};
  std::string_view value = line.substr(open + 1, close - open - 1);
  constexpr std::string_view kHome = "$HOME";
  if (value.substr(0, kHome.size()) == kHome &&
      (value.size() == kHome.size() || value[kHome.size()] == '/')) {
    return standardizedPath(home + std::string(value.substr(kHome.size())));
  }
  return value.empty() || value[0] != '/' ? std::string() : standardizedPath(value);
}

}  // namespace

std::vector<std::string> userDirectories() {
  std::vector<std::string> folders;
  std::ifstream file(appendingPathComponent(configHome(), "user-dirs.dirs"));
  const std::string home = homeDirectory();
  std::string line;
  while (std::getline(file, line)) {
    if (line.rfind("XDG_", 0) != 0 || line.find("_DIR=") == std::string::npos) continue;
    std::string folder = userDirectoryValue(line, home);
    if (!folder.empty() && folder != home) folders.push_back(std::move(folder));
  }
  return folders;
}

std::string zarnikConfigDirectory() { return appendingPathComponent(configHome(), "zarnik"); }
std::string zarnikDataDirectory() { return appendingPathComponent(dataHome(), "zarnik"); }
std::string zarnikCacheDirectory() { return appendingPathComponent(cacheHome(), "zarnik"); }
std::string zarnikStateDirectory() { return appendingPathComponent(stateHome(), "zarnik"); }
std::vector<std::string> zarnikDirectories() {
  return {zarnikConfigDirectory(), zarnikDataDirectory(), zarnikCacheDirectory(),
          zarnikStateDirectory()};
}

Result<void> makeDirectories(const std::string& path) {
  if (path.empty()) return Error::posix(ENOENT, path);
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    return S_ISDIR(st.st_mode) ? success() : Result<void>(Error::posix(ENOTDIR, path));
  }
  const std::string parent = parentPath(path);
  if (parent != path && parent != "." && parent != "/") ZK_TRY(makeDirectories(parent));
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return Error::posix(errno, path);
  return success();
}

}  // namespace zarnik::xdg
