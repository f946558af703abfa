#include "platform/file_reading.h"

#include "base/path_components.h"
#include "platform/file_descriptor.h"

#include <climits>
#include <fmt/format.h>

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace zarnik {

Result<std::string> readWholeFile(const std::string& path, size_t maximumBytes) {
  std::string bytes;
  auto read = readWholeFileInto(path, maximumBytes, [&bytes](size_t size) {
    bytes.resize(size);
    return std::vector<std::span<char>>{std::span(bytes)};
  });
  if (read.hasError()) return read.error();
  bytes.resize(read.value());
  return bytes;
}

Result<size_t> readWholeFileInto(
    const std::string& path, size_t maximumBytes,
    const std::function<std::vector<std::span<char>>(size_t size)>& placesFor) {
  // O_NONBLOCK keeps a FIFO at this path from blocking the open; it is refused below.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  if (!fd.isValid()) return Error::posix(errno, path);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return Error::posix(errno, path);
  if (!S_ISREG(st.st_mode)) return Error::posix(EINVAL, path);
  ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
  if (static_cast<size_t>(st.st_size) > maximumBytes) return Error::posix(EFBIG, path);
  size_t total = 0;
  for (const std::span<char> place : placesFor(static_cast<size_t>(st.st_size))) {
    size_t done = 0;
    while (done < place.size()) {
      const ssize_t n = ::read(fd.get(), place.data() + done, place.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return Error::posix(errno, path);
      if (n == 0) return total + done;  // the file shrank while it was read
      done += static_cast<size_t>(n);
    }
    total += done;
  }
  return total;
}

Result<void> writeFileAtomically(const std::string& path, std::string_view bytes) {
  return writeFileAtomically(path, std::span(&bytes, 1), Syncing::synced);
}

namespace {

// Named so that no file of a person's is taken for one: the removal of abandoned temporaries
// below trusts the name.
std::string temporaryPrefixOf(std::string_view name) { return fmt::format("{}.zarnik-tmp-", name); }

// A temporary of a write that cannot finish any more: this user's, its writer has ended (its
// process number names no process) and it was last written over an hour ago, so that a writer
// whose number this system does not see (another container sharing the folder) is not disturbed
// mid-write.
bool isAbandoned(int folderFd, const char* name, std::string_view pidText) {
  pid_t pid = 0;
  const auto [end, failure] = std::from_chars(pidText.data(), pidText.data() + pidText.size(), pid);
  if (failure != std::errc() || end != pidText.data() + pidText.size() || pid <= 0) return false;
  if (::kill(pid, 0) == 0 || errno != ESRCH) return false;
  struct stat status {};
  if (::fstatat(folderFd, name, &status, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(status.st_mode) ||
      status.st_uid != ::geteuid())
    return false;
  constexpr time_t kAbandonedAfter = time_t{60} * 60;
  return status.st_mtim.tv_sec + kAbandonedAfter < ::time(nullptr);
}

// Removes what writes of `path` cut short by a crash left beside it; best effort, and once a
// process: a crash leaves them before the process starts, and files such as the session's state
// are written many times a run.
void removeAbandonedTemporaries(const std::string& path) {
  // Never destroyed: writes still happen from exit handlers, after static objects are gone.
  static auto* const mutex = new std::mutex;
  static auto* const cleaned = new std::unordered_set<std::string>;
  {
    const std::lock_guard lock(*mutex);
    if (!cleaned->insert(path).second) return;
  }
  const std::string folder = parentPath(path);
  UniqueFd folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folderFd.isValid()) return;
  const std::string prefix = temporaryPrefixOf(lastPathComponent(path));
  (void)forEachDirectoryEntry(folderFd.get(), folder, [&](const char* entryName) {
    const std::string_view name(entryName);
    if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) return;
    if (isAbandoned(folderFd.get(), entryName, name.substr(prefix.size())))
      ::unlinkat(folderFd.get(), entryName, 0);
  });
}

}  // namespace

Result<void> writeFileAtomically(const std::string& path, std::span<const std::string_view> parts,
                                 Syncing syncing) {
  const std::string temporary = fmt::format("{}{}", temporaryPrefixOf(path), ::getpid());
  {
    UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!fd.isValid()) return Error::posix(errno, temporary);
    for (const std::string_view bytes : parts) {
      size_t done = 0;
      while (done < bytes.size()) {
        const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
          const int saved = errno;
          ::unlink(temporary.c_str());
          return Error::posix(saved, temporary);
        }
        done += static_cast<size_t>(n);
      }
    }
    if (syncing == Syncing::synced && ::fsync(fd.get()) != 0) {
      const int saved = errno;
      ::unlink(temporary.c_str());
      return Error::posix(saved, temporary);
    }
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const int saved = errno;
    ::unlink(temporary.c_str());
    return Error::posix(saved, path);
  }
  removeAbandonedTemporaries(path);
  return success();
}

Result<std::string> resolvedPath(const std::string& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return Error::posix(errno, path);
  return std::string(resolved);
}

bool pathExists(const std::string& path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0;
}

Result<void> renameFile(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) return Error::posix(errno, from);
  return success();
}

Result<void> removeFileIfPresent(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return Error::posix(errno, path);
  return success();
}

}  // namespace zarnik
