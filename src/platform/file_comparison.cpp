#include "platform/file_comparison.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/file_descriptor.h"

namespace zarnik {
namespace {

constexpr size_t kBlockSize = 1 << 20;

Result<UniqueFd> openForComparison(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOATIME | O_NOFOLLOW);
  if (fd < 0 && errno == EPERM) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return Error::posix(errno, path);
  return UniqueFd(fd);
}

// Fills `buffer` from `offset` as far as the file goes; the bytes read.
Result<size_t> readBlock(int fd, std::vector<char>& buffer, off_t offset, const std::string& path) {
  size_t filled = 0;
  while (filled < buffer.size()) {
    const ssize_t got = ::pread(fd, buffer.data() + filled, buffer.size() - filled, offset + static_cast<off_t>(filled));
    if (got < 0) {
      if (errno == EINTR) continue;
      return Error::posix(errno, path);
    }
    if (got == 0) break;
    filled += static_cast<size_t>(got);
  }
  return filled;
}

}  // namespace

Result<bool> haveEqualContents(const std::string& first, const std::string& second) {
  ZK_ASSIGN_OR_RETURN(UniqueFd a, openForComparison(first));
  ZK_ASSIGN_OR_RETURN(UniqueFd b, openForComparison(second));
  struct stat statusA {};
  struct stat statusB {};
  if (::fstat(a.get(), &statusA) != 0) return Error::posix(errno, first);
  if (::fstat(b.get(), &statusB) != 0) return Error::posix(errno, second);
  if (!S_ISREG(statusA.st_mode)) return Error::posix(EINVAL, first);
  if (!S_ISREG(statusB.st_mode)) return Error::posix(EINVAL, second);
  if (statusA.st_size != statusB.st_size) return false;
  // Hard links of one file are equal without reading.
  if (statusA.st_dev == statusB.st_dev && statusA.st_ino == statusB.st_ino) return true;
  // A small file needs a small buffer: one byte more than the file tells the end in one read.
  const size_t blockSize = std::min(kBlockSize, static_cast<size_t>(statusA.st_size) + 1);
  std::vector<char> blockA(blockSize);
  std::vector<char> blockB(blockSize);
  for (off_t offset = 0;; offset += static_cast<off_t>(blockSize)) {
    ZK_ASSIGN_OR_RETURN(const size_t readA, readBlock(a.get(), blockA, offset, first));
    ZK_ASSIGN_OR_RETURN(const size_t readB, readBlock(b.get(), blockB, offset, second));
    if (readA != readB || std::memcmp(blockA.data(), blockB.data(), readA) != 0) return false;
    if (readA < blockSize) return true;
  }
}

}  // namespace zarnik
