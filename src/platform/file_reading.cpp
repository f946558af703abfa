#include "platform/file_reading.h"

#include "platform/file_descriptor.h"

#include <climits>
#include <fmt/format.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

Result<void> writeFileAtomically(const std::string& path, std::span<const std::string_view> parts,
                                 Syncing syncing) {
  const std::string temporary = fmt::format("{}.tmp-{}", path, ::getpid());
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
