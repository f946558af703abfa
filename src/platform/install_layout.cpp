#include "platform/install_layout.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace zarnik {
namespace {

constexpr const char* kOwnFolder = "zarnik";

std::string parentOf(const std::string& folder) {
  const auto slash = folder.rfind('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return folder.substr(0, slash);
}

std::string lastComponentOf(const std::string& folder) {
  const auto slash = folder.rfind('/');
  return slash == std::string::npos ? folder : folder.substr(slash + 1);
}

bool isRegularFile(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

std::string withoutTrailingSlashes(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

InstallLayout layoutUnder(const std::string& programFolder, const std::string& top) {
  const std::string base = top == "/" ? "" : top;
  return {programFolder, base + "/lib/" + kOwnFolder, base + "/share/" + kOwnFolder};
}

// CMake writes CMakeCache.txt at the top of every build tree, and nowhere in an installed one.
std::string buildTreeTopAbove(std::string folder) {
  while (true) {
    if (isRegularFile(folder + "/CMakeCache.txt")) return folder;
    if (folder == "/") return {};
    folder = parentOf(folder);
  }
}

Result<InstallLayout> layoutOfRunningProgram() {
  std::string program(4096, '\0');
  const ssize_t length = ::readlink("/proc/self/exe", program.data(), program.size());
  if (length <= 0) return Error::posix(errno, "/proc/self/exe");
  program.resize(static_cast<size_t>(length));
  return installLayoutAround(parentOf(program));
}

}  // namespace

std::string InstallLayout::modulePath(const std::string& name) const {
  return moduleFolder + "/" + name;
}

std::string InstallLayout::resourcePath(const std::string& name) const {
  return resourceFolder + "/" + name;
}

Result<InstallLayout> installLayoutAround(const std::string& programFolder) {
  const std::string folder = withoutTrailingSlashes(programFolder);
  if (lastComponentOf(folder) == "bin") return layoutUnder(folder, parentOf(folder));
  const std::string buildTop = buildTreeTopAbove(folder);
  if (!buildTop.empty()) return layoutUnder(folder, buildTop);
  return Error::generic("The program lies neither in a bin folder nor in a build tree.", folder);
}

const Result<InstallLayout>& installLayout() {
  static const Result<InstallLayout> layout = layoutOfRunningProgram();
  return layout;
}

}  // namespace zarnik
