// FileLock: an exclusive flock(2) on a lock file, held while the object lives, so that one
// process at a time changes what the file guards. The holder writes its process id and a short
// description of what it does into the file, so that a process that finds the lock taken can say
// who holds it. The lock goes with the process: a holder that dies leaves nothing locked.
#pragma once

#include "base/result.h"
#include "platform/file_descriptor.h"

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>

namespace zarnik {

// Who holds a lock, as the holder wrote it; either part may be missing.
struct LockHolder {
  std::optional<pid_t> pid;
  std::string command;
};

class FileLock {
 public:
  // Takes the lock without waiting, creating the file when needed. Nothing (and no error) when
  // another process holds it; an error when the file cannot be opened or locked at all.
  static Result<std::optional<FileLock>> tryLock(const std::string& path,
                                                 const std::string& holderCommand);
  // Takes the lock, waiting for as long as another process holds it. For locks held only for a
  // moment (a read, a change and a write of a small file).
  static Result<FileLock> lock(const std::string& path, const std::string& holderCommand);
  // Takes the lock, waiting at most `timeout` for another process to let go of it; an error
  // (EWOULDBLOCK) when it does not. flock(2) has no timed wait: the lock is tried again every
  // few milliseconds, as a database's busy handler does.
  static Result<FileLock> lockWithin(const std::string& path, const std::string& holderCommand,
                                     std::chrono::milliseconds timeout);
  // Who holds the lock at `path` now, as far as its file tells; nothing when it cannot be read.
  static std::optional<LockHolder> holderOf(const std::string& path);

  FileLock(FileLock&&) noexcept = default;
  FileLock& operator=(FileLock&&) noexcept = default;
  [[nodiscard]] const std::string& path() const { return path_; }

 private:
  FileLock(UniqueFd fd, std::string path) : fd_(std::move(fd)), path_(std::move(path)) {}
  UniqueFd fd_;  // closing it releases the lock
  std::string path_;
};

}  // namespace zarnik
