#include "platform/directory_size.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <set>
#include <utility>
#include <vector>

#include "platform/file_descriptor.h"

namespace zarnik {
namespace {

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
using InodeSet = std::set<std::pair<std::uint64_t, std::uint64_t>>;

void addTree(int dirfd, const std::string& path, DirectorySizes& sizes, InodeSet& seen, int depth) {
  // Bundles are shallow; the bound keeps a hostile tree from exhausting descriptors.
  if (depth > 256) return;
  std::vector<std::string> subdirectories;
  (void)forEachDirectoryEntry(dirfd, path, [&](const char* name) {
    struct statx sx {};
    if (::statx(dirfd, name, AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &sx) != 0) return;
    if (!seen.emplace((static_cast<std::uint64_t>(sx.stx_dev_major) << 32) | sx.stx_dev_minor, sx.stx_ino).second) return;
    if (S_ISDIR(sx.stx_mode)) {
      subdirectories.emplace_back(name);
      return;
    }
    sizes.exactSize += static_cast<ByteCount>(sx.stx_size);
    sizes.diskSize += static_cast<ByteCount>(sx.stx_blocks) * 512;
  });
  for (const auto& name : subdirectories) {
    const UniqueFd child(::openat(dirfd, name.c_str(), kDirectoryFlags));
    if (child.isValid()) addTree(child.get(), path + "/" + name, sizes, seen, depth + 1);
  }
}

}  // namespace

Result<DirectorySizes> measureDirectory(const std::string& path) {
  const UniqueFd fd(::open(path.c_str(), kDirectoryFlags));
  if (!fd.isValid()) return Error::posix(errno, path);
  DirectorySizes sizes;
  InodeSet seen;
  addTree(fd.get(), path, sizes, seen, 0);
  return sizes;
}

}  // namespace zarnik
