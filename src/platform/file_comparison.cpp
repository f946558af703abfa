#include "platform/file_comparison.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
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
    const ssize_t got = readAt(fd, buffer.data() + filled, buffer.size() - filled, offset + static_cast<off_t>(filled));
    if (got < 0) return Error::posix(errno, path);
    if (got == 0) break;
    filled += static_cast<size_t>(got);
  }
  return filled;
}

}  // namespace

Result<bool> haveEqualContents(const std::string& first, const std::string& second) {
  return haveEqualContents(first, second, nullptr);
}

Result<bool> haveEqualContents(const std::string& first, const std::string& second,
                               const std::function<bool(std::int64_t bytes)>& afterBlock) {
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
    if (afterBlock && !afterBlock(static_cast<std::int64_t>(readA))) return Error::cancelled();
  }
}

namespace {

struct TreeContents {
  std::map<off_t, std::vector<std::string>> filesBySize;
  std::multiset<std::string> linkTargets;
};

Result<TreeContents> contentsOfTree(const std::string& root) {
  TreeContents contents;
  std::error_code error;
  std::filesystem::recursive_directory_iterator walk(root, error);
  if (error) return Error::posix(error.value(), root);
  for (const auto end = std::filesystem::recursive_directory_iterator(); walk != end; walk.increment(error)) {
    if (error) return Error::posix(error.value(), root);
    const std::string path = walk->path().string();
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) return Error::posix(errno, path);
    if (S_ISREG(status.st_mode)) {
      contents.filesBySize[status.st_size].push_back(path);
    } else if (S_ISLNK(status.st_mode)) {
      std::error_code linkError;
      contents.linkTargets.insert(std::filesystem::read_symlink(path, linkError).string());
      if (linkError) return Error::posix(linkError.value(), path);
    } else if (!S_ISDIR(status.st_mode)) {
      return Error::posix(EINVAL, path);  // a device or pipe: not something a copy holds
    }
  }
  if (error) return Error::posix(error.value(), root);
  return contents;
}

}  // namespace

Result<bool> haveEqualTreeContents(const std::string& first, const std::string& second) {
  ZK_ASSIGN_OR_RETURN(TreeContents a, contentsOfTree(first));
  ZK_ASSIGN_OR_RETURN(TreeContents b, contentsOfTree(second));
  if (a.linkTargets != b.linkTargets || a.filesBySize.size() != b.filesBySize.size()) return false;
  for (auto& [size, files] : a.filesBySize) {
    auto other = b.filesBySize.find(size);
    if (other == b.filesBySize.end() || other->second.size() != files.size()) return false;
    // Equal contents are an equivalence: pairing each file with the first equal one left is enough.
    std::vector<std::string>& unpaired = other->second;
    for (const auto& file : files) {
      size_t pair = 0;
      for (; pair < unpaired.size(); ++pair) {
        ZK_ASSIGN_OR_RETURN(const bool equal, haveEqualContents(file, unpaired[pair]));
        if (equal) break;
      }
      if (pair == unpaired.size()) return false;
      unpaired.erase(unpaired.begin() + static_cast<std::ptrdiff_t>(pair));
    }
  }
  return true;
}

}  // namespace zarnik
