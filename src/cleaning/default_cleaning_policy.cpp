#include "cleaning/default_cleaning_policy.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include <fmt/format.h>

#include "base/path_components.h"
#include "cleaning/cleaning_error.h"
#include "foundation/logger.h"
#include "platform/file_comparison.h"
#include "platform/resource_values.h"
#include "platform/trash.h"

namespace zarnik {
namespace {

// A free place in `folder` for `name`: the name itself, else "stem 2.ext", "stem 3.ext", ...
std::string freeDestination(const std::string& folder, std::string_view name) {
  for (int attempt = 1;; ++attempt) {
    const std::string path = appendingPathComponent(folder, numberedName(name, attempt, " "));
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 && errno == ENOENT) return path;
  }
}

Result<CleaningAction> moveToFolder(const std::string& path, ByteCount size, const std::string& folder) {
  struct stat status {};
  if (folder.empty() || ::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
    return cleaningError(CleaningErrorCode::destinationUnaccessible, folder, "the folder is not there");
  }
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    return cleaningError(CleaningErrorCode::destinationNotWritable, folder);
  }
  struct statvfs volume {};
  if (::statvfs(folder.c_str(), &volume) == 0) {
    const auto available = static_cast<ByteCount>(volume.f_bavail) * static_cast<ByteCount>(volume.f_frsize);
    if (available < size) {
      return cleaningError(CleaningErrorCode::notEnoughCapacity, folder,
                           fmt::format("{} bytes free, {} needed", available, size));
    }
  }
  const std::string destination = freeDestination(folder, lastPathComponent(path));
  if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) == 0) {
    return CleaningAction(CleaningMovedAction{destination});
  }
  if (errno != EXDEV) return Error::posix(errno, path);
  // Another file system: a copy, made durable, then the copy's source goes.
  std::error_code error;
  std::filesystem::copy(path, destination,
                        std::filesystem::copy_options::recursive | std::filesystem::copy_options::copy_symlinks, error);
  if (error) {
    std::filesystem::remove_all(destination);
    if (error.value() == ENOSPC) return cleaningError(CleaningErrorCode::notEnoughCapacity, folder, error.message());
    return Error::posix(error.value(), destination);
  }
  ::sync();
  std::filesystem::remove_all(path, error);
  if (error) return Error::posix(error.value(), path);
  return CleaningAction(CleaningMovedAction{destination});
}

Result<CleaningAction> removePermanently(const std::string& path) {
  std::error_code error;
  std::filesystem::remove_all(path, error);
  if (error) return Error::posix(error.value(), path);
  return CleaningAction(CleaningRemovedAction{});
}

}  // namespace

Result<void> DefaultCleaningPolicy::verify(const CleaningItem& item) {
  const std::string path = item.node->path();
  auto now = readResourceValues(path);
  if (now.hasError()) {
    if (now.error().code == ENOENT) return cleaningError(CleaningErrorCode::sourceMissing, path);
    return cleaningError(CleaningErrorCode::sourceUnaccessible, path, now.error().oneLine());
  }
  const auto& attributes = item.node->attributes();
  const bool isFile = now.value().fileResourceType == FileResourceType::regular;
  if (isFile && (now.value().fileSize.value_or(0) != attributes.exactSize ||
                 now.value().contentModificationDate != attributes.dateOfModification)) {
    return cleaningError(CleaningErrorCode::sourceInvalid, path, "it changed after the scan; it was left in place");
  }
  const bool isFolder = now.value().fileResourceType == FileResourceType::directory;
  if ((!isFile && !isFolder) || !item.original || item.original->path() == path) return success();
  auto equal = isFile ? haveEqualContents(path, item.original->path()) : haveEqualTreeContents(path, item.original->path());
  if (equal.hasError()) return cleaningError(CleaningErrorCode::sourceUnaccessible, path, equal.error().oneLine());
  if (!equal.value()) {
    return cleaningError(CleaningErrorCode::sourceInvalid, path,
                         "its content differs from the kept copy " + item.original->path() + "; it was left in place");
  }
  return success();
}

Result<CleaningItemOutcome> DefaultCleaningPolicy::perform(const CleaningItem& item, const FileCleaningOption& option,
                                                           bool replaceWithHardLink) const {
  ZK_TRY(verify(item));
  const std::string path = item.node->path();
  CleaningItemOutcome outcome;
  switch (option.kind) {
    case FileCleaningOption::Kind::moveToTrash: {
      auto trashed = moveToTrash(path);
      if (trashed.hasError()) return cleaningError(CleaningErrorCode::destinationUnaccessible, path, trashed.error().oneLine());
      outcome.actions.emplace_back(CleaningMovedToTrashAction{trashed.value().trashedPath, trashed.value().infoPath});
      break;
    }
    case FileCleaningOption::Kind::removePermanently: {
      ZK_ASSIGN_OR_RETURN(auto removed, removePermanently(path));
      outcome.actions.push_back(std::move(removed));
      break;
    }
    case FileCleaningOption::Kind::moveToFolder: {
      ZK_ASSIGN_OR_RETURN(auto moved, moveToFolder(path, item.node->exactSize(), option.folder));
      outcome.actions.push_back(std::move(moved));
      break;
    }
  }
  if (!replaceWithHardLink || !item.original) return outcome;
  const std::string original = item.original->path();
  if (::link(original.c_str(), path.c_str()) == 0) {
    outcome.actions.emplace_back(CleaningReplacedWithHardlinkAction{item.originalIdentifier, original});
  } else {
    const int error = errno;
    outcome.note = error == EXDEV ? "not replaced by a hard link: the kept copy is on another file system"
                                  : "not replaced by a hard link: " + Error::posix(error, path).oneLine();
  }
  return outcome;
}

std::vector<std::string> DefaultCleaningPolicy::cleanEmptyDirectories(const std::string& removedPath,
                                                                      const std::string& scanLocation) {
  std::vector<std::string> removed;
  std::string prefix = scanLocation;
  if (prefix.empty() || prefix.back() != '/') prefix += '/';
  std::string folder = removedPath.substr(0, removedPath.find_last_of('/'));
  // Strictly inside the location, by whole components.
  while (folder.size() > prefix.size() && folder.compare(0, prefix.size(), prefix) == 0) {
    if (::rmdir(folder.c_str()) != 0) {
      if (errno != ENOTEMPTY && errno != EEXIST) {
        Logger::shared().log("DefaultCleaningPolicy", "cleanEmptyDirectoriesIfShould(afterItem:)",
                             "Did fail to remove empty folder: " + Error::posix(errno, folder).oneLine());
      }
      break;
    }
    removed.push_back(folder);
    folder = folder.substr(0, folder.find_last_of('/'));
  }
  return removed;
}

}  // namespace zarnik
