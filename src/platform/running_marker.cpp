#include "platform/running_marker.h"

#include "platform/file_reading.h"

#include <cerrno>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace zarnik {

Result<bool> placeRunningMarker(const std::string& path) {
  struct stat info {};
  const bool leftBehind = ::lstat(path.c_str(), &info) == 0;
  ZK_TRY(writeFileAtomically(path, std::to_string(::getpid()) + "\n"));
  return leftBehind;
}

Result<void> removeRunningMarker(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return Error::posix(errno, path);
  return success();
}

}  // namespace zarnik
