#include "platform/file_state.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace zarnik {
namespace {

Date dateOf(const statx_timestamp& time) {
  return Date(std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec));
}

}  // namespace

Result<FileState> regularFileStateOf(const std::string& path) {
  struct statx sx {};
  if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_BASIC_STATS,
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

}  // namespace zarnik
