#include "platform/program_resources.h"

#include <fmt/format.h>

#include <cerrno>
#include <unistd.h>

namespace zarnik {

std::string executableDirectory() {
  std::string executable(4096, '\0');
  const ssize_t length = ::readlink("/proc/self/exe", executable.data(), executable.size());
  if (length <= 0) return {};
  executable.resize(static_cast<size_t>(length));
  const auto slash = executable.rfind('/');
  return slash == std::string::npos ? std::string() : executable.substr(0, slash);
}

std::vector<std::string> programResourceDirectories() {
  std::vector<std::string> directories;
  if (const std::string folder = executableDirectory(); !folder.empty()) {
    directories.push_back(folder + "/../share/zarnik");
  }
#ifdef ZARNIK_SOURCE_RESOURCES_DIR
  directories.emplace_back(ZARNIK_SOURCE_RESOURCES_DIR);
#endif
  return directories;
}

Result<std::string> findProgramResource(std::string_view name) {
  const auto directories = programResourceDirectories();
  for (const auto& directory : directories) {
    std::string candidate = fmt::format("{}/{}", directory, name);
    if (::access(candidate.c_str(), R_OK) == 0) return candidate;
  }
  return Error::posix(ENOENT, std::string(name))
      .withUnderlying(fmt::format("looked in {}", fmt::join(directories, ", ")));
}

}  // namespace zarnik
