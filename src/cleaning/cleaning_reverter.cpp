#include "cleaning/cleaning_reverter.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "cleaning/cleaning_error.h"
#include "platform/trash.h"

namespace zarnik {
namespace {

bool exists(const std::string& path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0;
}

Result<void> makeParents(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
  if (error) return Error::posix(error.value(), path);
  return success();
}

Result<void> moveBack(const std::string& from, const std::string& to) {
  ZK_TRY(makeParents(to));
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
    if (errno == EEXIST) {
      return cleaningError(CleaningErrorCode::revertImpossible, to, "another item is at that place now; it was left as it is");
    }
    return Error::posix(errno, from);
  }
  return success();
}

// A hard link to the kept copy becomes a file of its own: a copy of the same bytes in its place,
// with the copy's own modification date.
Result<void> unshare(const std::string& link, const std::optional<Date>& modified) {
  const std::string temporary = link + ".zarnik-revert";
  std::error_code error;
  std::filesystem::copy_file(link, temporary, std::filesystem::copy_options::none, error);
  if (error) return Error::posix(error.value(), link);
  if (modified) {
    const auto nanoseconds = modified->time_since_epoch().count();
    const timespec times[2] = {{0, UTIME_OMIT}, {nanoseconds / 1'000'000'000, nanoseconds % 1'000'000'000}};
    ::utimensat(AT_FDCWD, temporary.c_str(), times, 0);
  }
  if (::rename(temporary.c_str(), link.c_str()) != 0) {
    const int failure = errno;
    ::unlink(temporary.c_str());
    return Error::posix(failure, link);
  }
  return success();
}

// Whether `path` is still the hard link that was made to `original`.
bool isLinkTo(const std::string& path, const std::optional<std::string>& original) {
  struct stat a {};
  struct stat b {};
  return original && ::lstat(path.c_str(), &a) == 0 && ::lstat(original->c_str(), &b) == 0 && a.st_dev == b.st_dev &&
         a.st_ino == b.st_ino;
}

}  // namespace

Result<std::string> revertCleaning(const CleaningNote& note) {
  const std::string& original = note.originalPath;
  if (note.reverted || note.isFakeRemove) return original;  // a fake removal left the copy in place
  if (note.pending) {
    // Cut off around its removal: the copy is in place, or in the trash under its own path.
    if (exists(original)) return original;
    if (note.option.kind == FileCleaningOption::Kind::moveToTrash) {
      auto found = trashedItemFor(original);
      if (found) {
        ZK_TRY(restoreFromTrash(*found));
        return original;
      }
    }
    return cleaningError(CleaningErrorCode::revertImpossible, original, "the cleaning was cut off and the copy is not found");
  }
  for (auto action = note.actions.rbegin(); action != note.actions.rend(); ++action) {
    if (const auto* link = std::get_if<CleaningReplacedWithHardlinkAction>(&*action)) {
      if (!isLinkTo(original, link->destinationURL)) continue;  // changed since: leave it
      const bool removedForGood = std::next(action) != note.actions.rend() &&
                                  std::holds_alternative<CleaningRemovedAction>(*std::next(action));
      if (removedForGood) {
        ZK_TRY(unshare(original, note.modificationDate));
        return original;
      }
      if (::unlink(original.c_str()) != 0) return Error::posix(errno, original);
    } else if (const auto* trashed = std::get_if<CleaningMovedToTrashAction>(&*action)) {
      if (!trashed->destination) return cleaningError(CleaningErrorCode::revertImpossible, original);
      if (exists(original)) {
        return cleaningError(CleaningErrorCode::revertImpossible, original,
                             "another item is at that place now; the copy stays in the trash");
      }
      if (!exists(*trashed->destination)) {
        return cleaningError(CleaningErrorCode::destinationUnaccessible, *trashed->destination,
                             "it is no longer in the trash");
      }
      auto restored = restoreFromTrash(*trashed->destination);
      if (restored.hasError()) return restored.error();
    } else if (const auto* moved = std::get_if<CleaningMovedAction>(&*action)) {
      if (!moved->destination) return cleaningError(CleaningErrorCode::revertImpossible, original);
      if (!exists(*moved->destination)) {
        return cleaningError(CleaningErrorCode::destinationUnaccessible, *moved->destination, "it is no longer there");
      }
      ZK_TRY(moveBack(*moved->destination, original));
    } else {
      return cleaningError(CleaningErrorCode::revertImpossible, original, "it was removed permanently");
    }
  }
  return original;
}

}  // namespace zarnik
