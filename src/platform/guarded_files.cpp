#include "platform/guarded_files.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "base/path_components.h"

namespace zarnik {
namespace {

constexpr size_t kBlockSize = 1 << 20;

Error posixError(const std::string& path) { return Error::posix(errno, path); }

// The names of an absolute path's components, "/" left out.
std::vector<std::string> namesOnTheWay(const std::string& path) {
  std::vector<std::string> names;
  for (size_t start = 0; start < path.size();) {
    const size_t end = std::min(path.find('/', start), path.size());
    if (end > start) names.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

std::string procPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// The folder at `path` opened for use as the base of *at calls, with RESOLVE_NO_SYMLINKS; on
// kernels without openat2 the components are opened one at a time and checked not to be links.
Result<UniqueFd> openFolderWithoutLinks(const std::string& path) {
  open_how how{};
  how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
  how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  const long fd = ::syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof(how));
  if (fd >= 0) return UniqueFd(static_cast<int>(fd));
  if (errno != ENOSYS) return posixError(path);
  UniqueFd current(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!current.isValid()) return posixError("/");
  for (const auto& component : namesOnTheWay(path)) {
    struct stat status {};
    if (::fstatat(current.get(), component.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return posixError(path);
    if (S_ISLNK(status.st_mode)) return Error::posix(ELOOP, path);
    UniqueFd next(::openat(current.get(), component.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next.isValid()) return posixError(path);
    current = std::move(next);
  }
  return current;
}

Result<UniqueFd> openEntry(const Entry& entry, int flags) {
  int fd = ::openat(entry.folder(), entry.name().c_str(), flags | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0 && errno == EPERM && (flags & O_NOATIME) != 0) {
    fd = ::openat(entry.folder(), entry.name().c_str(), (flags & ~O_NOATIME) | O_NOFOLLOW | O_CLOEXEC);
  }
  if (fd < 0) return posixError(entry.path());
  return UniqueFd(fd);
}

Date dateOf(const statx_timestamp& time) {
  return Date(std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec));
}

timespec timespecOf(const std::optional<Date>& date) {
  if (!date) return {0, UTIME_OMIT};
  const auto nanoseconds = date->time_since_epoch().count();
  return {static_cast<time_t>(nanoseconds / 1'000'000'000), static_cast<long>(nanoseconds % 1'000'000'000)};
}

std::vector<std::pair<std::string, std::string>> extendedAttributesAt(const std::string& magicPath) {
  std::vector<std::pair<std::string, std::string>> attributes;
  const ssize_t length = ::listxattr(magicPath.c_str(), nullptr, 0);
  if (length <= 0) return attributes;
  std::string names(static_cast<size_t>(length), '\0');
  const ssize_t got = ::listxattr(magicPath.c_str(), names.data(), names.size());
  if (got <= 0) return attributes;
  names.resize(static_cast<size_t>(got));
  for (size_t start = 0; start < names.size();) {
    const std::string name(names.c_str() + start);
    start += name.size() + 1;
    const ssize_t size = ::getxattr(magicPath.c_str(), name.c_str(), nullptr, 0);
    if (size < 0) continue;
    std::string value(static_cast<size_t>(size), '\0');
    const ssize_t read = ::getxattr(magicPath.c_str(), name.c_str(), value.data(), value.size());
    if (read < 0) continue;
    value.resize(static_cast<size_t>(read));
    attributes.emplace_back(name, std::move(value));
  }
  return attributes;
}

// Fills `buffer` from `offset` as far as the file goes; the bytes read.
Result<size_t> readBlock(int fd, std::vector<char>& buffer, off_t offset, const std::string& path) {
  size_t filled = 0;
  while (filled < buffer.size()) {
    const ssize_t got = readAt(fd, buffer.data() + filled, buffer.size() - filled, offset + static_cast<off_t>(filled));
    if (got < 0) return posixError(path);
    if (got == 0) break;
    filled += static_cast<size_t>(got);
  }
  return filled;
}

struct DigestContext {
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context{EVP_MD_CTX_new(), &EVP_MD_CTX_free};
  DigestContext() { EVP_DigestInit_ex(context.get(), EVP_sha1(), nullptr); }
  void add(const char* data, size_t length) { EVP_DigestUpdate(context.get(), data, length); }
  std::string finish() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context.get(), digest, &length);
    return std::string(reinterpret_cast<const char*>(digest), length);
  }
};

Result<void> writeAll(int fd, const char* data, size_t length, const std::string& path) {
  while (length > 0) {
    const ssize_t written = ::write(fd, data, length);
    if (written < 0) {
      if (errno == EINTR) continue;
      return posixError(path);
    }
    data += written;
    length -= static_cast<size_t>(written);
  }
  return success();
}

Result<void> copyBytes(int from, int to, const std::string& path) {
  for (;;) {
    const ssize_t copied = ::copy_file_range(from, nullptr, to, nullptr, kBlockSize, 0);
    if (copied == 0) return success();
    if (copied > 0) continue;
    if (errno == EINTR) continue;
    if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return posixError(path);
    break;  // not offered between these file systems: read and write
  }
  std::vector<char> buffer(kBlockSize);
  for (;;) {
    const ssize_t got = ::read(from, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return posixError(path);
    if (got == 0) return success();
    ZK_TRY(writeAll(to, buffer.data(), static_cast<size_t>(got), path));
  }
}

Result<std::vector<std::string>> namesIn(const Entry& folder) {
  ZK_ASSIGN_OR_RETURN(UniqueFd fd, openEntry(folder, O_RDONLY | O_DIRECTORY));
  std::vector<std::string> names;
  ZK_TRY(forEachDirectoryEntry(fd.get(), folder.path(), [&](const char* name) { names.emplace_back(name); }));
  return names;
}

// The entry `name` inside the folder `folder` (opened as a base for *at calls).
Result<Entry> childOf(const Entry& folder, const std::string& name) {
  ZK_ASSIGN_OR_RETURN(UniqueFd fd, openEntry(folder, O_PATH | O_DIRECTORY));
  return Entry(std::move(fd), name, appendingPathComponent(folder.path(), name));
}

Result<void> copyFile(const Entry& from, const Entry& to) {
  ZK_ASSIGN_OR_RETURN(UniqueFd source, openEntry(from, O_RDONLY | O_NOATIME));
  UniqueFd target(::openat(to.folder(), to.name().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!target.isValid()) return posixError(to.path());
  ZK_TRY(copyBytes(source.get(), target.get(), to.path()));
  if (::fsync(target.get()) != 0) return posixError(to.path());
  return success();
}

Result<void> copyLink(const Entry& from, const Entry& to) {
  std::string target(4096, '\0');
  const ssize_t length = ::readlinkat(from.folder(), from.name().c_str(), target.data(), target.size());
  if (length < 0) return posixError(from.path());
  target.resize(static_cast<size_t>(length));
  if (::symlinkat(target.c_str(), to.folder(), to.name().c_str()) != 0) return posixError(to.path());
  return success();
}

Result<void> copyEntry(const Entry& from, const Entry& to);

Result<void> copyFolder(const Entry& from, const Entry& to) {
  if (::mkdirat(to.folder(), to.name().c_str(), 0700) != 0) return posixError(to.path());
  ZK_ASSIGN_OR_RETURN(const auto names, namesIn(from));
  for (const auto& name : names) {
    ZK_ASSIGN_OR_RETURN(Entry source, childOf(from, name));
    ZK_ASSIGN_OR_RETURN(Entry target, childOf(to, name));
    ZK_TRY(copyEntry(source, target));
  }
  ZK_ASSIGN_OR_RETURN(UniqueFd folder, openEntry(to, O_RDONLY | O_DIRECTORY));
  if (::fsync(folder.get()) != 0) return posixError(to.path());
  return success();
}

Result<void> copyEntry(const Entry& from, const Entry& to) {
  ZK_ASSIGN_OR_RETURN(const EntryFacts facts, factsOf(from));
  switch (facts.type) {
    case FileResourceType::regular: ZK_TRY(copyFile(from, to)); break;
    case FileResourceType::directory: ZK_TRY(copyFolder(from, to)); break;
    case FileResourceType::symbolicLink: return copyLink(from, to);
    default: return Error::posix(EINVAL, from.path());  // pipes and devices are never part of a copy
  }
  ZK_ASSIGN_OR_RETURN(const EntryMetadata metadata, metadataOf(from));
  (void)applyMetadata(to, metadata);  // an owner we may not give is not a reason to fail the copy
  return success();
}

Result<void> collectIdentities(const Entry& folder, std::vector<FileId>& identities) {
  ZK_ASSIGN_OR_RETURN(const auto names, namesIn(folder));
  for (const auto& name : names) {
    ZK_ASSIGN_OR_RETURN(Entry child, childOf(folder, name));
    ZK_ASSIGN_OR_RETURN(const EntryFacts facts, factsOf(child));
    if (facts.type == FileResourceType::regular) identities.push_back(facts.identity);
    if (facts.type == FileResourceType::directory) ZK_TRY(collectIdentities(child, identities));
  }
  return success();
}

}  // namespace

Result<Entry> Entry::sibling(const std::string& name) const {
  UniqueFd folder(::fcntl(folder_.get(), F_DUPFD_CLOEXEC, 0));
  if (!folder.isValid()) return posixError(path_);
  return Entry(std::move(folder), name, appendingPathComponent(std::string(parentPath(path_)), name));
}

Result<Entry> entryWithoutLinks(const std::string& path) {
  if (path.empty() || path.front() != '/' || path == "/") return Error::posix(EINVAL, path);
  const std::string parent(parentPath(path));
  auto folder = openFolderWithoutLinks(parent);
  if (folder.hasError()) return folder.error().withPath(path);
  return Entry(std::move(folder.value()), std::string(lastPathComponent(path)), path);
}

Result<Entry> entryForReading(const std::string& path) {
  const std::string parent = path.find('/') == std::string::npos ? std::string(".") : std::string(parentPath(path));
  UniqueFd folder(::open(parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!folder.isValid()) return posixError(path);
  return Entry(std::move(folder), std::string(lastPathComponent(path)), path);
}

bool isLinkInPath(const Error& error) {
  return error.domain == kPosixErrorDomain && error.code == ELOOP;
}

Result<EntryFacts> factsOf(const Entry& entry) {
  struct statx sx {};
  if (::statx(entry.folder(), entry.name().c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_BASIC_STATS, &sx) != 0) {
    return posixError(entry.path());
  }
  EntryFacts facts;
  facts.identity = FileId{(static_cast<std::uint64_t>(sx.stx_dev_major) << 32) | sx.stx_dev_minor, sx.stx_ino};
  switch (sx.stx_mode & S_IFMT) {
    case S_IFREG: facts.type = FileResourceType::regular; break;
    case S_IFDIR: facts.type = FileResourceType::directory; break;
    case S_IFLNK: facts.type = FileResourceType::symbolicLink; break;
    case S_IFIFO: facts.type = FileResourceType::namedPipe; break;
    case S_IFSOCK: facts.type = FileResourceType::socket; break;
    case S_IFCHR: facts.type = FileResourceType::characterSpecial; break;
    case S_IFBLK: facts.type = FileResourceType::blockSpecial; break;
    default: break;
  }
  facts.size = static_cast<ByteCount>(sx.stx_size);
  facts.modification = dateOf(sx.stx_mtime);
  if ((sx.stx_mask & STATX_ATIME) != 0) facts.access = dateOf(sx.stx_atime);
  facts.mode = sx.stx_mode & 07777;
  facts.owner = sx.stx_uid;
  facts.group = sx.stx_gid;
  facts.linkCount = sx.stx_nlink;
  return facts;
}

Result<EntryMetadata> metadataOf(const Entry& entry) {
  ZK_ASSIGN_OR_RETURN(const EntryFacts facts, factsOf(entry));
  EntryMetadata metadata{facts.mode, facts.owner, facts.group, facts.access, facts.modification, {}};
  if (facts.type == FileResourceType::regular || facts.type == FileResourceType::directory) {
    ZK_ASSIGN_OR_RETURN(UniqueFd fd, openEntry(entry, O_PATH));
    metadata.extendedAttributes = extendedAttributesAt(procPath(fd.get()));
  }
  return metadata;
}

Result<void> applyMetadata(const Entry& entry, const EntryMetadata& metadata) {
  ZK_ASSIGN_OR_RETURN(UniqueFd fd, openEntry(entry, O_PATH));
  const std::string magic = procPath(fd.get());
  std::optional<Error> first;
  const auto note = [&](bool ok) {
    if (!ok && !first) first = posixError(entry.path());
  };
  note(::fchownat(fd.get(), "", metadata.owner, metadata.group, AT_EMPTY_PATH) == 0 || errno == EPERM);
  for (const auto& [name, value] : metadata.extendedAttributes) {
    note(::setxattr(magic.c_str(), name.c_str(), value.data(), value.size(), 0) == 0);
  }
  // After the owner: changing the owner clears the set-user-ID bits.
  note(::chmod(magic.c_str(), metadata.mode) == 0);
  const timespec times[2] = {timespecOf(metadata.access), timespecOf(metadata.modification)};
  note(::utimensat(AT_FDCWD, magic.c_str(), times, 0) == 0);
  if (first) return *first;
  return success();
}

bool isOnOverlay(const Entry& entry) {
  struct statfs status {};
  return ::fstatfs(entry.folder(), &status) == 0 && status.f_type == OVERLAYFS_SUPER_MAGIC;
}

Result<void> renameWithoutReplacing(const Entry& from, const Entry& to) {
  if (::renameat2(from.folder(), from.name().c_str(), to.folder(), to.name().c_str(), RENAME_NOREPLACE) != 0) {
    return posixError(errno == EEXIST ? to.path() : from.path());
  }
  return success();
}

Result<void> renameReplacing(const Entry& from, const Entry& to) {
  if (::renameat(from.folder(), from.name().c_str(), to.folder(), to.name().c_str()) != 0) return posixError(from.path());
  return success();
}

Result<void> hardLink(const Entry& from, const Entry& to) {
  if (::linkat(from.folder(), from.name().c_str(), to.folder(), to.name().c_str(), 0) != 0) return posixError(to.path());
  return success();
}

Result<void> removeEntry(const Entry& entry) {
  ZK_ASSIGN_OR_RETURN(const EntryFacts facts, factsOf(entry));
  const int flags = facts.type == FileResourceType::directory ? AT_REMOVEDIR : 0;
  if (::unlinkat(entry.folder(), entry.name().c_str(), flags) != 0) return posixError(entry.path());
  return success();
}

Result<void> removeTree(const Entry& entry) {
  ZK_ASSIGN_OR_RETURN(const EntryFacts facts, factsOf(entry));
  if (facts.type == FileResourceType::directory) {
    ZK_ASSIGN_OR_RETURN(const auto names, namesIn(entry));
    for (const auto& name : names) {
      ZK_ASSIGN_OR_RETURN(Entry child, childOf(entry, name));
      ZK_TRY(removeTree(child));
    }
  }
  return removeEntry(entry);
}

Result<void> copyWithMetadata(const Entry& from, const Entry& to) {
  auto copied = copyEntry(from, to);
  if (copied.hasError()) {
    if (factsOf(to).hasValue()) (void)removeTree(to);
    return copied.error();
  }
  return success();
}

Result<std::vector<std::string>> makeMissingFolders(const std::string& path, const RecordedFolders& recorded) {
  std::vector<std::string> made;
  std::string folder;
  const auto components = namesOnTheWay(parentPath(path));
  for (const auto& component : components) {
    folder += "/" + component;
    struct stat status {};
    if (::lstat(folder.c_str(), &status) == 0) {
      if (!S_ISDIR(status.st_mode)) return Error::posix(ENOTDIR, folder);
      continue;
    }
    if (errno != ENOENT) return posixError(folder);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return posixError(folder);
    made.push_back(folder);
    const auto found = std::find_if(recorded.begin(), recorded.end(), [&](const auto& item) { return item.first == folder; });
    ZK_ASSIGN_OR_RETURN(Entry entry, entryWithoutLinks(folder));
    if (found != recorded.end()) {
      (void)applyMetadata(entry, found->second);
    } else {
      ::chmod(folder.c_str(), 0755);
    }
  }
  return made;
}

Result<ContentComparison> compareFileContents(const Entry& first, const Entry& second, const BlockObserver& afterBlock) {
  ZK_ASSIGN_OR_RETURN(UniqueFd a, openEntry(first, O_RDONLY | O_NOATIME));
  ZK_ASSIGN_OR_RETURN(UniqueFd b, openEntry(second, O_RDONLY | O_NOATIME));
  struct stat statusA {};
  struct stat statusB {};
  if (::fstat(a.get(), &statusA) != 0) return posixError(first.path());
  if (::fstat(b.get(), &statusB) != 0) return posixError(second.path());
  if (!S_ISREG(statusA.st_mode)) return Error::posix(EINVAL, first.path());
  if (!S_ISREG(statusB.st_mode)) return Error::posix(EINVAL, second.path());
  if (statusA.st_size != statusB.st_size) return ContentComparison{};
  if (statusA.st_dev == statusB.st_dev && statusA.st_ino == statusB.st_ino) return ContentComparison{true, {}};
  // A small file needs a small buffer: one byte more than the file tells the end in one read.
  const size_t blockSize = std::min(kBlockSize, static_cast<size_t>(statusA.st_size) + 1);
  std::vector<char> blockA(blockSize);
  std::vector<char> blockB(blockSize);
  DigestContext digest;
  for (off_t offset = 0;; offset += static_cast<off_t>(blockSize)) {
    ZK_ASSIGN_OR_RETURN(const size_t readA, readBlock(a.get(), blockA, offset, first.path()));
    ZK_ASSIGN_OR_RETURN(const size_t readB, readBlock(b.get(), blockB, offset, second.path()));
    if (readA != readB || std::memcmp(blockA.data(), blockB.data(), readA) != 0) return ContentComparison{};
    digest.add(blockA.data(), readA);
    if (readA < blockSize) return ContentComparison{true, digest.finish()};
    if (afterBlock && !afterBlock(static_cast<std::int64_t>(readA))) return Error::cancelled();
  }
}

Result<std::string> digestOfFile(const Entry& entry, const ContinuePredicate& shouldContinue) {
  ZK_ASSIGN_OR_RETURN(UniqueFd fd, openEntry(entry, O_RDONLY | O_NOATIME));
  std::vector<char> block(kBlockSize);
  DigestContext digest;
  for (off_t offset = 0;; offset += static_cast<off_t>(kBlockSize)) {
    if (shouldContinue && !shouldContinue()) return Error::cancelled();
    ZK_ASSIGN_OR_RETURN(const size_t read, readBlock(fd.get(), block, offset, entry.path()));
    digest.add(block.data(), read);
    if (read < kBlockSize) return digest.finish();
  }
}

Result<bool> haveEqualRanges(const Entry& first, std::int64_t offsetInFirst, const Entry& second,
                             std::int64_t offsetInSecond, std::int64_t length, const ContinuePredicate& shouldContinue) {
  ZK_ASSIGN_OR_RETURN(UniqueFd a, openEntry(first, O_RDONLY | O_NOATIME));
  ZK_ASSIGN_OR_RETURN(UniqueFd b, openEntry(second, O_RDONLY | O_NOATIME));
  std::vector<char> blockA(static_cast<size_t>(std::min<std::int64_t>(length, kBlockSize)));
  std::vector<char> blockB(blockA.size());
  for (std::int64_t done = 0; done < length;) {
    if (shouldContinue && !shouldContinue()) return Error::cancelled();
    const auto want = static_cast<size_t>(std::min<std::int64_t>(length - done, kBlockSize));
    blockA.resize(want);
    blockB.resize(want);
    ZK_ASSIGN_OR_RETURN(const size_t readA, readBlock(a.get(), blockA, offsetInFirst + done, first.path()));
    ZK_ASSIGN_OR_RETURN(const size_t readB, readBlock(b.get(), blockB, offsetInSecond + done, second.path()));
    if (readA != want || readB != want || std::memcmp(blockA.data(), blockB.data(), want) != 0) return false;
    done += static_cast<std::int64_t>(want);
  }
  return true;
}

Result<ByteCount> availableCapacity(const std::string& folder) {
  struct statvfs volume {};
  if (::statvfs(folder.c_str(), &volume) != 0) return posixError(folder);
  return static_cast<ByteCount>(volume.f_bavail) * static_cast<ByteCount>(volume.f_frsize);
}

Result<std::vector<FileId>> fileIdentitiesInTree(const Entry& folder) {
  std::vector<FileId> identities;
  ZK_TRY(collectIdentities(folder, identities));
  return identities;
}

}  // namespace zarnik
