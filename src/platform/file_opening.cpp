#include "platform/file_opening.h"

#include "base/path_components.h"

#include <climits>

#include <cerrno>
#include <fcntl.h>

namespace zarnik {
namespace {

// Paths longer than this are opened component by component with openat, so that trees deeper
// than PATH_MAX are still walked.
constexpr size_t kDirectOpenPathLimit = PATH_MAX - 256;
constexpr int kFolderOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

}  // namespace

UniqueFd openFileForContentReading(const std::string& path) {
  // O_NOATIME keeps a scan from touching access dates; only the owner (or root) may ask for it.
  constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
  int fd = ::open(path.c_str(), kFlags | O_NOATIME);
  if (fd < 0 && errno == EPERM) fd = ::open(path.c_str(), kFlags);
  return UniqueFd(fd);
}

Result<UniqueFd> openFolderForListing(const std::string& path, const std::string& root,
                                      const std::string& relative) {
  if (path.size() < kDirectOpenPathLimit) {
    UniqueFd fd(::open(path.c_str(), kFolderOpenFlags));
    if (!fd.isValid()) return Error::posix(errno, path);
    return fd;
  }
  UniqueFd current(::open(root.c_str(), kFolderOpenFlags));
  if (!current.isValid()) return Error::posix(errno, path);
  for (const auto& component : pathComponents(relative)) {
    UniqueFd next(::openat(current.get(), component.c_str(), kFolderOpenFlags));
    if (!next.isValid()) return Error::posix(errno, path);
    current = std::move(next);
  }
  return current;
}

}  // namespace zarnik
