#include "platform/directory_size.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <set>
#include <utility>
#include <vector>

namespace zarnik {
namespace {

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

void addTree(int dirfd, DirectorySizes& sizes, std::set<std::pair<std::uint64_t, std::uint64_t>>& seen, int depth) {
  // Bundles are shallow; the bound keeps a hostile tree from exhausting descriptors.
  if (depth > 256) return;
  alignas(8) char buffer[16 * 1024];
  std::vector<std::string> subdirectories;
  for (;;) {
    const ssize_t count = ::getdents64(dirfd, buffer, sizeof(buffer));
    if (count <= 0) break;
    for (ssize_t offset = 0; offset < count;) {
      const auto* entry = reinterpret_cast<const dirent64*>(buffer + offset);
      offset += entry->d_reclen;
      const std::string_view name = entry->d_name;
      if (name == "." || name == "..") continue;
      struct statx sx {};
      if (::statx(dirfd, entry->d_name, AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &sx) != 0) continue;
      if (!seen.emplace((static_cast<std::uint64_t>(sx.stx_dev_major) << 32) | sx.stx_dev_minor, sx.stx_ino).second) continue;
      if (S_ISDIR(sx.stx_mode)) {
        subdirectories.emplace_back(name);
        continue;
      }
      sizes.exactSize += static_cast<ByteCount>(sx.stx_size);
      sizes.diskSize += static_cast<ByteCount>(sx.stx_blocks) * 512;
    }
  }
  for (const auto& name : subdirectories) {
    const int child = ::openat(dirfd, name.c_str(), kDirectoryFlags);
    if (child < 0) continue;
    addTree(child, sizes, seen, depth + 1);
    ::close(child);
  }
}

}  // namespace

Result<DirectorySizes> measureDirectory(const std::string& path) {
  const int fd = ::open(path.c_str(), kDirectoryFlags);
  if (fd < 0) return Error::posix(errno, path);
  DirectorySizes sizes;
  std::set<std::pair<std::uint64_t, std::uint64_t>> seen;
  addTree(fd, sizes, seen, 0);
  ::close(fd);
  return sizes;
}

}  // namespace zarnik
