#include "platform/file_comparison.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <cstring>
#include <vector>

#include "platform/guarded_files.h"

namespace zarnik {

Result<bool> haveEqualContents(const std::string& first, const std::string& second) {
  return haveEqualContents(first, second, nullptr);
}

Result<bool> haveEqualContents(const std::string& first, const std::string& second,
                               const std::function<bool(std::int64_t bytes)>& afterBlock) {
  ZK_ASSIGN_OR_RETURN(const Entry a, entryForReading(first));
  ZK_ASSIGN_OR_RETURN(const Entry b, entryForReading(second));
  ZK_ASSIGN_OR_RETURN(const ContentComparison comparison, compareFileContents(a, b, afterBlock));
  return comparison.equal;
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
