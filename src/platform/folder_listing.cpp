#include "platform/folder_listing.h"

#include "platform/file_descriptor.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace zarnik {
namespace {

FolderEntryKind kindOfMode(mode_t mode) {
  if (S_ISDIR(mode)) return FolderEntryKind::folder;
  if (S_ISREG(mode)) return FolderEntryKind::file;
  if (S_ISLNK(mode)) return FolderEntryKind::symbolicLink;
  return FolderEntryKind::other;
}

FolderEntryKind kindOfEntry(int folderFd, const dirent64& entry) {
  switch (entry.d_type) {
    case DT_DIR:
      return FolderEntryKind::folder;
    case DT_REG:
      return FolderEntryKind::file;
    case DT_LNK:
      return FolderEntryKind::symbolicLink;
    case DT_UNKNOWN:
      break;  // some file systems do not say: ask the inode
    default:
      return FolderEntryKind::other;
  }
  struct stat status {};
  if (::fstatat(folderFd, entry.d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
    return FolderEntryKind::other;
  return kindOfMode(status.st_mode);
}

}  // namespace

Result<std::vector<FolderEntry>> listFolder(const std::string& path) {
  UniqueFd folder(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!folder.isValid()) return Error::posix(errno, path);
  std::vector<FolderEntry> entries;
  alignas(8) char buffer[32 * 1024];
  for (;;) {
    const ssize_t count = ::getdents64(folder.get(), buffer, sizeof(buffer));
    if (count < 0) return Error::posix(errno, path);
    if (count == 0) return entries;
    for (ssize_t offset = 0; offset < count;) {
      const auto* entry = reinterpret_cast<const dirent64*>(buffer + offset);
      offset += entry->d_reclen;
      const char* name = entry->d_name;
      if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
      entries.push_back({name, kindOfEntry(folder.get(), *entry)});
    }
  }
}

Result<FolderEntryKind> folderEntryKindOf(const std::string& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) return Error::posix(errno, path);
  return kindOfMode(status.st_mode);
}

}  // namespace zarnik
