#include "platform/resource_values.h"

#include "base/path_components.h"
#include "platform/mime_database.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zarnik {
namespace {

struct EffectiveIdentity {
  uid_t uid = 0;
  gid_t gid = 0;
  std::vector<gid_t> groups;

  static const EffectiveIdentity& current() {
    static const EffectiveIdentity identity = [] {
      EffectiveIdentity id;
      id.uid = geteuid();
      id.gid = getegid();
      const int count = getgroups(0, nullptr);
      if (count > 0) {
        id.groups.resize(static_cast<size_t>(count));
        const int read = getgroups(count, id.groups.data());
        id.groups.resize(static_cast<size_t>(std::max(read, 0)));
      }
      return id;
    }();
    return identity;
  }

  [[nodiscard]] bool isMember(gid_t group) const {
    return group == gid || std::find(groups.begin(), groups.end(), group) != groups.end();
  }
};

FileResourceType resourceTypeOfMode(std::uint32_t mode) {
  switch (mode & S_IFMT) {
    case S_IFREG:
      return FileResourceType::regular;
    case S_IFDIR:
      return FileResourceType::directory;
    case S_IFLNK:
      return FileResourceType::symbolicLink;
    case S_IFIFO:
      return FileResourceType::namedPipe;
    case S_IFSOCK:
      return FileResourceType::socket;
    case S_IFCHR:
      return FileResourceType::characterSpecial;
    case S_IFBLK:
      return FileResourceType::blockSpecial;
    default:
      return FileResourceType::unknown;
  }
}

Date dateOf(const struct statx_timestamp& ts) {
  return Date(std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec));
}

}  // namespace

AccessRights accessRightsForMode(std::uint32_t mode, std::uint32_t ownerUid,
                                 std::uint32_t ownerGid) {
  const EffectiveIdentity& me = EffectiveIdentity::current();
  const bool isDirectory = (mode & S_IFMT) == S_IFDIR;
  if (me.uid == 0) {
    return {true, true, isDirectory || (mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0};
  }
  unsigned shift = 0;  // the "other" bits
  if (ownerUid == me.uid) {
    shift = 6;
  } else if (me.isMember(ownerGid)) {
    shift = 3;
  }
  const unsigned bits = (mode >> shift) & 7U;
  return {(bits & 4U) != 0, (bits & 2U) != 0, (bits & 1U) != 0};
}

Result<ResourceValues> readResourceValuesAt(int directoryFd, const char* name,
                                            std::string_view pathForErrors) {
  struct statx sx {};
  constexpr unsigned kMask = STATX_BASIC_STATS | STATX_BTIME;
  if (::statx(directoryFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, kMask, &sx) != 0) {
    return Error::posix(errno, std::string(pathForErrors));
  }
  ResourceValues values;
  values.fileResourceType = resourceTypeOfMode(sx.stx_mode);
  values.contentModificationDate = dateOf(sx.stx_mtime);
  values.statusChangeDate = dateOf(sx.stx_ctime);
  values.creationDate =
      (sx.stx_mask & STATX_BTIME) != 0 ? dateOf(sx.stx_btime) : values.contentModificationDate;
  if ((sx.stx_mask & STATX_ATIME) != 0) values.contentAccessDate = dateOf(sx.stx_atime);
  values.linkCount = sx.stx_nlink;
  values.fileResourceIdentifier =
      FileId{(static_cast<std::uint64_t>(sx.stx_dev_major) << 32) | sx.stx_dev_minor, sx.stx_ino};

  const std::string_view itemName = lastPathComponent(name);
  values.isHidden =
      !itemName.empty() && itemName.front() == '.' && itemName != "." && itemName != "..";
  const AccessRights rights = accessRightsForMode(sx.stx_mode, sx.stx_uid, sx.stx_gid);
  values.isReadable = rights.readable;
  values.isWritable = rights.writable;
  values.isExecutable = rights.executable;

  const auto& database = MimeDatabase::shared();
  switch (values.fileResourceType) {
    case FileResourceType::regular:
      values.fileSize = static_cast<ByteCount>(sx.stx_size);
      values.totalFileSize = values.fileSize;
      if ((sx.stx_mask & STATX_BLOCKS) != 0) {
        values.totalFileAllocatedSize = static_cast<ByteCount>(sx.stx_blocks) * 512;
      }
      values.typeIdentifier = database.typeForFileName(itemName);
      break;
    case FileResourceType::symbolicLink:
      values.fileSize = static_cast<ByteCount>(sx.stx_size);
      values.totalFileSize = values.fileSize;
      values.typeIdentifier = TypeIdentifier::named(types::kSymlink);
      break;
    case FileResourceType::directory:
      values.typeIdentifier = database.typeForDirectoryName(itemName);
      break;
    default:
      break;  // special files have no type: they never become nodes
  }
  return values;
}

Result<ResourceValues> readResourceValues(const std::string& path) {
  return readResourceValuesAt(AT_FDCWD, path.c_str(), path);
}

}  // namespace zarnik
