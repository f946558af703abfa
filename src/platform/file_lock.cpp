#include "platform/file_lock.h"

#include "platform/file_reading.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace zarnik {
namespace {

constexpr size_t kMaximumHolderTextSize = 4096;

// "<pid>\n<command>\n"
std::string holderText(const std::string& command) {
  std::string text = std::to_string(::getpid()) + "\n" + command + "\n";
  return text.size() > kMaximumHolderTextSize ? text.substr(0, kMaximumHolderTextSize) : text;
}

int lockWithoutWaiting(int fd) {
  int status = 0;
  do {
    status = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (status != 0 && errno == EINTR);
  return status;
}

}  // namespace

Result<std::optional<FileLock>> FileLock::tryLock(const std::string& path,
                                                  const std::string& holderCommand) {
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd.isValid()) return Error::posix(errno, path);
  if (lockWithoutWaiting(fd.get()) != 0) {
    if (errno == EWOULDBLOCK) return std::optional<FileLock>();
    return Error::posix(errno, path);
  }
  // Who holds the lock is only told to others: a failure to write it does not matter.
  const std::string text = holderText(holderCommand);
  if (::ftruncate(fd.get(), 0) == 0) (void)::pwrite(fd.get(), text.data(), text.size(), 0);
  return std::optional<FileLock>(FileLock(std::move(fd), path));
}

Result<FileLock> FileLock::lock(const std::string& path, const std::string& holderCommand) {
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd.isValid()) return Error::posix(errno, path);
  int status = 0;
  do {
    status = ::flock(fd.get(), LOCK_EX);
  } while (status != 0 && errno == EINTR);
  if (status != 0) return Error::posix(errno, path);
  const std::string text = holderText(holderCommand);
  if (::ftruncate(fd.get(), 0) == 0) (void)::pwrite(fd.get(), text.data(), text.size(), 0);
  return FileLock(std::move(fd), path);
}

Result<FileLock> FileLock::lockWithin(const std::string& path, const std::string& holderCommand,
                                      std::chrono::milliseconds timeout) {
  constexpr auto kRetryAfter = std::chrono::milliseconds(10);
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    ZK_ASSIGN_OR_RETURN(std::optional<FileLock> lock, tryLock(path, holderCommand));
    if (lock) return std::move(*lock);
    if (std::chrono::steady_clock::now() >= deadline) return Error::posix(EWOULDBLOCK, path);
    std::this_thread::sleep_for(kRetryAfter);
  }
}

std::optional<LockHolder> FileLock::holderOf(const std::string& path) {
  auto text = readWholeFile(path, kMaximumHolderTextSize);
  if (text.hasError() || text.value().empty()) return std::nullopt;
  const std::string& contents = text.value();
  const size_t firstEnd = contents.find('\n');
  LockHolder holder;
  const std::string pidText = contents.substr(0, firstEnd);
  char* end = nullptr;
  const long pid = std::strtol(pidText.c_str(), &end, 10);
  if (!pidText.empty() && end != nullptr && *end == '\0' && pid > 0)
    holder.pid = static_cast<pid_t>(pid);
  if (firstEnd != std::string::npos) {
    const size_t secondEnd = contents.find('\n', firstEnd + 1);
    holder.command =
        contents.substr(firstEnd + 1, secondEnd == std::string::npos ? std::string::npos
                                                                     : secondEnd - firstEnd - 1);
  }
  return holder;
}

}  // namespace zarnik
