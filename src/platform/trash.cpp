#include "platform/trash.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <vector>

#include "base/date.h"
#include "base/path_components.h"
#include "platform/file_reading.h"
#include "platform/guarded_files.h"
#include "platform/xdg_directories.h"

namespace zarnik {
namespace {

constexpr size_t kMaximumInfoFileSize = 64 * 1024;

std::optional<dev_t> deviceOf(const std::string& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) return std::nullopt;
  return status.st_dev;
}

// The highest folder above `path` on the same file system.
std::string topDirectory(const std::string& path, dev_t device) {
  std::string top = parentPath(path);
  while (top != "/") {
    const std::string up = parentPath(top);
    if (deviceOf(up) != device) break;
    top = up;
  }
  return top;
}

Result<void> makeFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) return Error::posix(errno, path);
    if (!S_ISDIR(status.st_mode)) return Error::posix(ENOTDIR, path);
    return success();
  }
  return Error::posix(errno, path);
}

// mkdir -p with the user's usual permissions: restored folders are the user's own folders.
Result<void> makeParentsOf(const std::string& path) {
  const std::string parent = parentPath(path);
  if (parent == path || ::access(parent.c_str(), F_OK) == 0) return success();
  ZK_TRY(makeParentsOf(parent));
  if (::mkdir(parent.c_str(), 0777) != 0 && errno != EEXIST) return Error::posix(errno, parent);
  return success();
}

struct TrashFolder {
  std::string root;
  std::string topDirectory;  // empty for the home trash, whose info files keep absolute paths
};

// The trash of the file system holding `path`.
Result<TrashFolder> trashFor(const std::string& path, dev_t device) {
  const std::string home = xdg::dataHome() + "/Trash";
  ZK_TRY(xdg::makeDirectories(xdg::dataHome()));
  if (deviceOf(xdg::dataHome()) == device) {
    ZK_TRY(makeFolder(home));
    return TrashFolder{home, {}};
  }
  const std::string top = topDirectory(path, device);
  const std::string uid = std::to_string(::geteuid());
  const std::string shared = (top == "/" ? std::string() : top) + "/.Trash";
  struct stat status {};
  if (::lstat(shared.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && (status.st_mode & S_ISVTX) != 0) {
    if (makeFolder(shared + "/" + uid).hasValue()) return TrashFolder{shared + "/" + uid, top};
  }
  const std::string own = shared + "-" + uid;
  ZK_TRY(makeFolder(own));
  if (::lstat(own.c_str(), &status) != 0 || status.st_uid != ::geteuid()) return Error::posix(EACCES, own);
  return TrashFolder{own, top};
}

std::string infoText(const std::string& shownPath) {
  return "[Trash Info]\nPath=" + percentEncodedPath(shownPath) + "\nDeletionDate=" + localIso8601(dateNow()) + "\n";
}

// Creates the info file under the first free name; the name.
Result<std::string> reserveName(const TrashFolder& trash, const std::string& name, const std::string& contents) {
  for (int attempt = 1; attempt < 10000; ++attempt) {
    const std::string candidate = numberedName(name, attempt, ".");
    const std::string info = trash.root + "/info/" + candidate + ".trashinfo";
    const int fd = ::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return Error::posix(errno, info);
    }
    const bool written = ::write(fd, contents.data(), contents.size()) == static_cast<ssize_t>(contents.size());
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    if (!written || !synced) {
      const int error = errno;
      ::unlink(info.c_str());
      return Error::posix(error == 0 ? EIO : error, info);
    }
    // The name must be free among the trashed files too (an info file may have been lost).
    if (::access((trash.root + "/files/" + candidate).c_str(), F_OK) == 0) {
      ::unlink(info.c_str());
      continue;
    }
    return candidate;
  }
  return Error::posix(EEXIST, trash.root);
}

bool isUnreserved(unsigned char byte) {
  return std::isalnum(byte) != 0 || byte == '-' || byte == '_' || byte == '.' || byte == '~' || byte == '/';
}

}  // namespace

std::string percentEncodedPath(std::string_view path) {
  static const char* kHex = "0123456789ABCDEF";
  std::string encoded;
  for (unsigned char byte : path) {
    if (byte < 0x80 && isUnreserved(byte)) {
      encoded += static_cast<char>(byte);
    } else {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0xF];
    }
  }
  return encoded;
}

std::optional<std::string> percentDecodedPath(std::string_view text) {
  std::string decoded;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      decoded += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const auto digit = [](char c) -> int {
      if (c >= '0' && c <= '9') return c - '0';
      if (c >= 'A' && c <= 'F') return c - 'A' + 10;
      if (c >= 'a' && c <= 'f') return c - 'a' + 10;
      return -1;
    };
    const int high = digit(text[i + 1]);
    const int low = digit(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    decoded += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return decoded;
}

Result<TrashedItem> moveToTrash(const std::string& path) {
  ZK_ASSIGN_OR_RETURN(const Entry entry, entryWithoutLinks(path));
  return moveToTrash(entry, path);
}

Result<TrashedItem> moveToTrash(const Entry& entry, const std::string& originalPath) {
  struct stat status {};
  if (::fstatat(entry.folder(), entry.name().c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
    return Error::posix(errno, entry.path());
  }
  ZK_ASSIGN_OR_RETURN(const TrashFolder trash, trashFor(originalPath, status.st_dev));
  ZK_TRY(makeFolder(trash.root + "/files"));
  ZK_TRY(makeFolder(trash.root + "/info"));
  // The volume's trash keeps paths relative to the volume's top folder.
  std::string shown = originalPath;
  if (!trash.topDirectory.empty() && trash.topDirectory != "/") shown = originalPath.substr(trash.topDirectory.size() + 1);
  ZK_ASSIGN_OR_RETURN(const std::string name,
                      reserveName(trash, std::string(lastPathComponent(originalPath)), infoText(shown)));
  TrashedItem item{trash.root + "/files/" + name, trash.root + "/info/" + name + ".trashinfo", originalPath};
  if (::renameat2(entry.folder(), entry.name().c_str(), AT_FDCWD, item.trashedPath.c_str(), RENAME_NOREPLACE) != 0) {
    const int error = errno;
    ::unlink(item.infoPath.c_str());
    return Error::posix(error, entry.path());
  }
  return item;
}

namespace {

struct TrashInfo {
  std::string originalPath;  // absolute
  std::string deletionDate;
};

// The info of the trashed item named `name` in the trash at `root`.
Result<TrashInfo> readTrashInfo(const std::string& root, const std::string& name) {
  const std::string infoPath = root + "/info/" + name + ".trashinfo";
  ZK_ASSIGN_OR_RETURN(const std::string info, readWholeFile(infoPath, kMaximumInfoFileSize));
  std::optional<std::string> original;
  TrashInfo parsed;
  size_t start = 0;
  while (start < info.size()) {
    size_t end = info.find('\n', start);
    if (end == std::string::npos) end = info.size();
    const std::string_view line(info.data() + start, end - start);
    if (line.substr(0, 5) == "Path=") original = percentDecodedPath(line.substr(5));
    if (line.substr(0, 13) == "DeletionDate=") parsed.deletionDate = std::string(line.substr(13));
    start = end + 1;
  }
  if (!original || original->empty()) return Error::generic("The trash information has no original path.", infoPath);
  if (original->front() != '/') {
    // Relative to the top folder of the trash's file system: ".Trash-$uid" or ".Trash/$uid".
    const bool shared = lastPathComponent(parentPath(root)) == ".Trash";
    const std::string top = shared ? parentPath(parentPath(root)) : parentPath(root);
    *original = (top == "/" ? std::string() : top) + "/" + *original;
  }
  parsed.originalPath = std::move(*original);
  return parsed;
}

}  // namespace

namespace {

// The trashes an item from `originalPath` may be in: the home trash and its file system's.
std::vector<std::string> trashRootsFor(const std::string& originalPath) {
  std::vector<std::string> roots{xdg::dataHome() + "/Trash"};
  std::string existing = parentPath(originalPath);
  while (existing != "/" && !deviceOf(existing)) existing = parentPath(existing);
  if (auto device = deviceOf(existing); device && device != deviceOf(xdg::dataHome())) {
    std::string top = topDirectory(existing + "/x", *device);
    if (top == "/") top.clear();
    const std::string uid = std::to_string(::geteuid());
    roots.push_back(top + "/.Trash/" + uid);
    roots.push_back(top + "/.Trash-" + uid);
  }
  return roots;
}

// Calls `visit(root, name, info)` for each trashed item whose info says it came from `originalPath`.
template <typename Visit>
void forEachTrashInfoFrom(const std::string& originalPath, Visit&& visit) {
  for (const auto& root : trashRootsFor(originalPath)) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(root + "/info", error)) {
      const std::string file = entry.path().filename().string();
      constexpr std::string_view kSuffix = ".trashinfo";
      if (file.size() <= kSuffix.size() || file.compare(file.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0) continue;
      const std::string name = file.substr(0, file.size() - kSuffix.size());
      auto info = readTrashInfo(root, name);
      if (info.hasError() || info.value().originalPath != originalPath) continue;
      visit(root, name, info.value());
    }
  }
}

bool existsWithoutFollowing(const std::string& path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0;
}

}  // namespace

std::optional<std::string> trashedItemFor(const std::string& originalPath) {
  std::optional<std::string> newest;
  std::string newestDate;
  forEachTrashInfoFrom(originalPath, [&](const std::string& root, const std::string& name, const TrashInfo& info) {
    const std::string item = root + "/files/" + name;
    if (!existsWithoutFollowing(item)) return;
    if (!newest || info.deletionDate >= newestDate) {
      newest = item;
      newestDate = info.deletionDate;
    }
  });
  return newest;
}

void discardTrashInfoWithoutItem(const std::string& originalPath) {
  forEachTrashInfoFrom(originalPath, [&](const std::string& root, const std::string& name, const TrashInfo&) {
    if (!existsWithoutFollowing(root + "/files/" + name)) ::unlink((root + "/info/" + name + ".trashinfo").c_str());
  });
}

std::string trashInfoPathFor(const std::string& trashedPath) {
  const std::string root = parentPath(parentPath(trashedPath));
  return root + "/info/" + std::string(lastPathComponent(trashedPath)) + ".trashinfo";
}

Result<std::string> restoreFromTrash(const std::string& trashedPath) {
  const std::string filesFolder = parentPath(trashedPath);
  const std::string root = parentPath(filesFolder);
  if (lastPathComponent(filesFolder) != "files") return Error::posix(EINVAL, trashedPath);
  ZK_ASSIGN_OR_RETURN(TrashInfo info, readTrashInfo(root, std::string(lastPathComponent(trashedPath))));
  const std::string infoPath = trashInfoPathFor(trashedPath);
  const std::string& original = info.originalPath;
  ZK_TRY(makeParentsOf(original));
  if (::renameat2(AT_FDCWD, trashedPath.c_str(), AT_FDCWD, original.c_str(), RENAME_NOREPLACE) != 0) {
    return Error::posix(errno, original);
  }
  ::unlink(infoPath.c_str());
  return original;
}

}  // namespace zarnik
