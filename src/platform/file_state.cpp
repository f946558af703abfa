#include "platform/file_state.h"

#include <climits>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zarnik {
namespace {

Date dateOf(const statx_timestamp& time) {
  return Date(std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec));
}

Result<FileState> regularFileStateAt(int folder, const char* name, int flags,
                                     const std::string& path) {
  struct statx sx {};
  if (::statx(folder, name, flags | AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_BASIC_STATS,
              &sx) != 0) {
    return Error::posix(errno, path);
  }
  if ((sx.stx_mode & S_IFMT) != S_IFREG) return Error::posix(EINVAL, path);
  FileState state;
  state.identity =
      FileId{(static_cast<std::uint64_t>(sx.stx_dev_major) << 32) | sx.stx_dev_minor, sx.stx_ino};
  state.size = static_cast<ByteCount>(sx.stx_size);
  state.modified = dateOf(sx.stx_mtime);
  state.changed = dateOf(sx.stx_ctime);
  return state;
}

}  // namespace

Result<FileState> regularFileStateOf(const std::string& path) {
  return regularFileStateAt(AT_FDCWD, path.c_str(), 0, path);
}

Result<FileState> regularFileStateOf(const UniqueFd& file, const std::string& path) {
  if (!file.isValid()) return Error::posix(EBADF, path);
  return regularFileStateAt(file.get(), "", AT_EMPTY_PATH, path);
}

Result<Date> modificationDateOf(const std::string& path) {
  struct statx sx {};
  if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_MTIME, &sx) !=
      0) {
    return Error::posix(errno, path);
  }
  return dateOf(sx.stx_mtime);
}

bool isFolder(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::optional<ByteCount> fileSizeAt(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  return static_cast<ByteCount>(status.st_size);
}

Result<std::string> symbolicLinkTarget(const std::string& path) {
  std::string target(PATH_MAX, '\0');
  const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
  if (length < 0) return Error::posix(errno, path);
  // A target of PATH_MAX bytes or more was cut: no path the kernel resolves is that long.
  if (static_cast<size_t>(length) >= target.size()) return Error::posix(ENAMETOOLONG, path);
  target.resize(static_cast<size_t>(length));
  return target;
}

}  // namespace zarnik
