// UniqueFd: a file descriptor closed when it goes away; forEachDirectoryEntry: the names of a
// folder, read with getdents64 in 64 KiB batches ("." and ".." left out).
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "base/result.h"

namespace zarnik {

class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  ~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  [[nodiscard]] int get() const { return fd_; }
  [[nodiscard]] bool isValid() const { return fd_ >= 0; }

 private:
  int fd_;
};

// pread(2), asked again when a signal interrupts it: the bytes read, 0 at the end, -1 with
// errno on failure.
inline ssize_t readAt(int fd, void* buffer, size_t length, off_t offset) {
  ssize_t got = 0;
  do {
    got = ::pread(fd, buffer, length, offset);
  } while (got < 0 && errno == EINTR);
  return got;
}

// Calls `visit(name)` for each entry of the open folder `directoryFd`. A read error ends the
// listing with a POSIX error naming `pathForErrors`; the entries seen until then were visited.
template <typename Visit>
Result<void> forEachDirectoryEntry(int directoryFd, const std::string& pathForErrors, Visit&& visit) {
  alignas(8) char buffer[64 * 1024];
  for (;;) {
    const ssize_t count = ::getdents64(directoryFd, buffer, sizeof(buffer));
    if (count < 0) return Error::posix(errno, pathForErrors);
    if (count == 0) return success();
    for (ssize_t offset = 0; offset < count;) {
      const auto* entry = reinterpret_cast<const dirent64*>(buffer + offset);
      offset += entry->d_reclen;
      const char* name = entry->d_name;
      if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
      visit(name);
    }
  }
}

}  // namespace zarnik
