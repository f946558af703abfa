#include "cleaning/default_cleaning_policy.h"

#include "base/byte_path.h"
#include "base/path_components.h"
#include "cleaning/cleaning_error.h"
#include "foundation/disk_access_manager.h"
#include "foundation/logger.h"
#include "platform/audio_data_locator.h"
#include "platform/file_comparison.h"
#include "platform/trash.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>

namespace zarnik {
namespace {

std::string temporaryName(std::string_view what, std::int64_t cleanID, std::int64_t identifier) {
  return fmt::format(".zarnik-{}-{}-{}", what, cleanID, identifier);
}

std::string besides(const std::string& path, std::string_view what, std::int64_t cleanID,
                    std::int64_t identifier) {
  return appendingPathComponent(parentPath(path), temporaryName(what, cleanID, identifier));
}

const char* typeName(FileResourceType type) {
  switch (type) {
    case FileResourceType::regular:
      return "a file";
    case FileResourceType::directory:
      return "a folder";
    case FileResourceType::symbolicLink:
      return "a symbolic link";
    case FileResourceType::namedPipe:
      return "a named pipe";
    case FileResourceType::socket:
      return "a socket";
    default:
      return "a device";
  }
}

FileResourceType scannedType(const CleaningItem& item) {
  if (item.kind == EquivalenceKind::symlinkTargetPath) return FileResourceType::symbolicLink;
  return item.node->className() == "ZKDirectoryNode" ? FileResourceType::directory
                                                     : FileResourceType::regular;
}

bool isInside(const std::string& path, const std::string& folder) {
  return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
         (folder.back() == '/' || path[folder.size()] == '/');
}

// A copy that must stay where it is: a cleaning error naming it and why.
Error leftInPlace(CleaningErrorCode code, const std::string& path, const std::string& why) {
  return cleaningError(code, path, why + "; it was left in place");
}

// The copy, or its kept original when `isKept`, could not be reached.
Error unreachable(const Error& error, const std::string& path, bool isKept) {
  const char* whose = isKept ? "the kept copy" : "the copy";
  if (isLinkInPath(error)) {
    return leftInPlace(CleaningErrorCode::sourceInvalid, path,
                       fmt::format("a symbolic link now stands in the path of {}", whose));
  }
  if (error.domain == kPosixErrorDomain && error.code == ENOENT) {
    if (!isKept)
      return cleaningError(CleaningErrorCode::sourceMissing, path, "it is no longer there");
    return leftInPlace(CleaningErrorCode::sourceInvalid, path,
                       fmt::format("the kept copy {} is no longer there", displayPath(error.path)));
  }
  return leftInPlace(CleaningErrorCode::sourceUnaccessible, path, error.oneLine());
}

// The copy and its kept original, reached and checked.
struct CheckedPair {
  Entry copy;
  EntryFacts copyFacts;
  std::optional<Entry> kept;
  std::optional<EntryFacts> keptFacts;
  std::optional<std::string> digest;
};

Result<void> checkIsAsScanned(const CleaningItem& item, const EntryFacts& facts,
                              const std::string& path) {
  const FileResourceType expected = scannedType(item);
  if (facts.type != expected) {
    return leftInPlace(CleaningErrorCode::sourceInvalid, path,
                       fmt::format("it is now {}, not {} as when it was scanned",
                                   typeName(facts.type), typeName(expected)));
  }
  if (const auto scanned = item.node->fileResourceID(); scanned && *scanned != facts.identity) {
    return leftInPlace(CleaningErrorCode::sourceInvalid, path,
                       "another file now stands at its place");
  }
  if (expected == FileResourceType::regular &&
      (facts.size != item.node->exactSize() ||
       facts.modification != item.node->attributes().dateOfModification)) {
    return leftInPlace(CleaningErrorCode::sourceInvalid, path, "it changed after the scan");
  }
  return success();
}

Result<void> checkKept(const CleaningItem& item, const CheckedPair& pair, const std::string& path) {
  const std::string keptPath = item.original->path();
  const EntryFacts& kept = *pair.keptFacts;
  if (kept.type != pair.copyFacts.type) {
    return leftInPlace(
        CleaningErrorCode::sourceInvalid, path,
        fmt::format("the kept copy {} is now {}", displayPath(keptPath), typeName(kept.type)));
  }
  if (const auto scanned = item.original->fileResourceID(); scanned && *scanned != kept.identity) {
    return leftInPlace(CleaningErrorCode::sourceInvalid, path,
                       fmt::format("the kept copy {} is not the file that was scanned any more",
                                   displayPath(keptPath)));
  }
  const bool sameFile =
      kept.identity == pair.copyFacts.identity ||
      // An overlay shows a lower file under the overlay's device with the same inode.
      (isOnOverlay(pair.copy) != isOnOverlay(*pair.kept) &&
       kept.identity.inode == pair.copyFacts.identity.inode);
  if (sameFile) {
    return leftInPlace(CleaningErrorCode::sourceInvalid, path,
                       fmt::format("it and the kept copy {} are the same file reached by two paths",
                                   displayPath(keptPath)));
  }
  if (isInside(keptPath, path) || isInside(path, keptPath)) {
    return leftInPlace(CleaningErrorCode::sourceInvalid, path,
                       fmt::format("the kept copy {} lies inside it, or it inside the kept copy",
                                   displayPath(keptPath)));
  }
  if (kept.type == FileResourceType::directory) {
    ZK_ASSIGN_OR_RETURN(auto inCopy, fileIdentitiesInTree(pair.copy));
    ZK_ASSIGN_OR_RETURN(auto inKept, fileIdentitiesInTree(*pair.kept));
    std::sort(inCopy.begin(), inCopy.end());
    for (const auto& identity : inKept) {
      if (std::binary_search(inCopy.begin(), inCopy.end(), identity)) {
        return leftInPlace(CleaningErrorCode::sourceInvalid, path,
                           fmt::format("a file inside it is also inside the kept folder {}",
                                       displayPath(keptPath)));
      }
    }
  }
  return success();
}

Result<bool> haveEqualAudioData(const Entry& copy, const Entry& kept,
                                const ContinuePredicate& shouldContinue) {
  ZK_ASSIGN_OR_RETURN(const auto inCopy, locateAudioDataInFile(copy.path()));
  ZK_ASSIGN_OR_RETURN(const auto inKept, locateAudioDataInFile(kept.path()));
  if (!inCopy || !inKept || inCopy->length != inKept->length) return false;
  return haveEqualRanges(copy, inCopy->offset, kept, inKept->offset, inCopy->length,
                         shouldContinue);
}

// The content check of the group's kind; the copy's digest when it is a file.
Result<void> compareContent(const CleaningItem& item, CheckedPair& pair,
                            const CleaningSteps& steps) {
  const std::string path = pair.copy.path();
  const bool isFile = pair.copyFacts.type == FileResourceType::regular;
  const ContentCheck check = pair.kept ? contentCheckFor(item.kind) : ContentCheck::none;
  bool equal = true;
  Result<void> compared = success();
  if (check == ContentCheck::wholeContent && isFile) {
    auto comparison = compareFileContents(pair.copy, *pair.kept, [&](std::int64_t) {
      return !steps.shouldContinue || steps.shouldContinue();
    });
    if (comparison.hasError()) {
      compared = comparison.error();
    } else {
      equal = comparison.value().equal;
      if (equal) pair.digest = comparison.value().digestOfFirst;
    }
  } else if (check == ContentCheck::wholeContent) {
    auto comparison = haveEqualTreeContents(path, pair.kept->path());
    compared = comparison.hasError() ? Result<void>(comparison.error()) : success();
    equal = comparison.hasValue() && comparison.value();
  } else if (check == ContentCheck::audioData) {
    auto comparison = haveEqualAudioData(pair.copy, *pair.kept, steps.shouldContinue);
    compared = comparison.hasError() ? Result<void>(comparison.error()) : success();
    equal = comparison.hasValue() && comparison.value();
  }
  if (compared.hasError()) {
    if (compared.error().isCancellation())
      return leftInPlace(CleaningErrorCode::sourceInvalid, path,
                         "the cleaning was stopped while it was being compared");
    return leftInPlace(CleaningErrorCode::sourceUnaccessible, path, compared.error().oneLine());
  }
  if (!equal) {
    const char* what =
        check == ContentCheck::audioData ? "its audio differs" : "its content differs";
    return leftInPlace(
        CleaningErrorCode::sourceInvalid, path,
        fmt::format("{} from the kept copy {}", what, displayPath(pair.kept->path())));
  }
  if (isFile && !pair.digest) {
    auto digest = digestOfFile(pair.copy, steps.shouldContinue);
    if (digest.hasError())
      return leftInPlace(CleaningErrorCode::sourceUnaccessible, path, digest.error().oneLine());
    pair.digest = digest.value();
  }
  return success();
}

// Sessions on the disks of the copy and of the kept copy, begun in the order of their disks so
// that two cleanings never each hold one disk while waiting for the other's.
std::vector<std::unique_ptr<DiskAccessingSession>> readingSessions(const CheckedPair& pair) {
  DiskAccessManager& manager = DiskAccessManager::shared();
  std::vector<std::pair<std::string, std::string>> disksAndPaths;
  disksAndPaths.emplace_back(manager.diskUniqueIDForURL(pair.copy.path()), pair.copy.path());
  if (pair.kept) {
    disksAndPaths.emplace_back(manager.diskUniqueIDForURL(pair.kept->path()), pair.kept->path());
  }
  std::sort(disksAndPaths.begin(), disksAndPaths.end());
  std::vector<std::unique_ptr<DiskAccessingSession>> sessions;
  sessions.reserve(disksAndPaths.size());
  for (const auto& [disk, path] : disksAndPaths) {
    // The same disk twice is let in again at once: sessions of one thread are re-entrant.
    sessions.push_back(manager.beginAccessingURL(path, "compareWithKeptCopy(_:)",
                                                 QualityOfService::userInitiated));
  }
  return sessions;
}

// The content check, read inside disk-accessing sessions, as every read of contents does, so that
// the per-disk limits hold for the cleaning too.
Result<void> checkContent(const CleaningItem& item, CheckedPair& pair, const CleaningSteps& steps) {
  const auto sessions = readingSessions(pair);
  return compareContent(item, pair, steps);
}

Result<CheckedPair> checked(const CleaningItem& item, const CleaningSteps& steps) {
  const std::string path = item.node->path();
  auto copy = entryWithoutLinks(path);
  if (copy.hasError()) return unreachable(copy.error(), path, false);
  auto facts = factsOf(copy.value());
  if (facts.hasError()) return unreachable(facts.error(), path, false);
  CheckedPair pair{std::move(copy.value()), facts.value(), std::nullopt, std::nullopt,
                   std::nullopt};
  ZK_TRY(checkIsAsScanned(item, pair.copyFacts, path));
  if (item.original) {
    const std::string keptPath = item.original->path();
    auto kept = entryWithoutLinks(keptPath);
    if (kept.hasError()) return unreachable(kept.error(), path, true);
    auto keptFacts = factsOf(kept.value());
    if (keptFacts.hasError()) return unreachable(keptFacts.error(), path, true);
    pair.kept = std::move(kept.value());
    pair.keptFacts = keptFacts.value();
    ZK_TRY(checkKept(item, pair, path));
  }
  ZK_TRY(checkContent(item, pair, steps));
  return pair;
}

// The folders between the scanned folder and the copy, outermost first, with their metadata.
RecordedFolders foldersAbove(const std::string& path, const std::string& scanLocation) {
  RecordedFolders folders;
  if (scanLocation.empty()) return folders;
  for (std::string folder = parentPath(path); isInside(folder, scanLocation);
       folder = parentPath(folder)) {
    auto entry = entryWithoutLinks(folder);
    if (entry.hasError()) break;
    auto metadata = metadataOf(entry.value());
    if (metadata.hasError()) break;
    folders.emplace(folders.begin(), folder, std::move(metadata.value()));
  }
  return folders;
}

// Whether the entry still stands for the file with `identity`.
bool stillIs(const std::string& path, const FileId& identity) {
  auto entry = entryWithoutLinks(path);
  if (entry.hasError()) return false;
  auto facts = factsOf(entry.value());
  return facts.hasValue() && facts.value().identity == identity;
}

// A free place in `folder` for `name`: the name itself, else "stem 2.ext", "stem 3.ext", ...
std::string freeDestination(const std::string& folder, std::string_view name) {
  for (int attempt = 1;; ++attempt) {
    std::string path = appendingPathComponent(folder, numberedName(name, attempt, " "));
    auto entry = entryWithoutLinks(path);
    if (entry.hasError() || factsOf(entry.value()).hasError()) return path;
  }
}

// Whether a failure to trash is the trash's (it cannot be made or written on that volume), not
// the copy's (a name too long for the trash's info file, say).
bool meansNoUsableTrash(const Error& error) {
  if (error.domain != kPosixErrorDomain) return false;
  for (int code : {EACCES, EPERM, EROFS, EXDEV, ENOTSUP, ENOSPC, EDQUOT, ENOTDIR}) {
    if (error.code == code) return true;
  }
  return false;
}

Error hardLinkRefused(const Error& error, const std::string& path) {
  std::string why;
  switch (error.code) {
    case EXDEV:
      why = "the kept copy is on another file system";
      break;
    case EPERM:
      why =
          "the file system or the kept copy does not allow hard links (immutable, append-only or "
          "protected)";
      break;
    case EMLINK:
      why = "the kept copy has as many hard links as its file system allows";
      break;
    default:
      why = error.oneLine();
  }
  return leftInPlace(CleaningErrorCode::destinationNotWritable, path,
                     "it could not be replaced by a hard link: " + why);
}

Result<CleaningItemOutcome> replaceByHardLink(const CleaningItem& item, const CheckedPair& pair,
                                              CleaningNote& note, const CleaningSteps& steps) {
  const std::string path = pair.copy.path();
  note.linkPath = linkPathFor(path, item.cleanID, item.identifier);
  ZK_TRY(steps.writeJournal(note));
  ZK_ASSIGN_OR_RETURN(const Entry link,
                      pair.copy.sibling(std::string(lastPathComponent(*note.linkPath))));
  if (auto linked = hardLink(*pair.kept, link); linked.hasError())
    return hardLinkRefused(linked.error(), path);
  const auto undo = [&](const std::string& why) {
    (void)removeEntry(link);
    return leftInPlace(CleaningErrorCode::sourceInvalid, path, why);
  };
  auto linkFacts = factsOf(link);
  if (linkFacts.hasError() || linkFacts.value().identity != pair.keptFacts->identity) {
    return undo("the hard link made does not lead to the kept copy");
  }
  if (!stillIs(path, pair.copyFacts.identity))
    return undo("it changed while it was being replaced");
  if (auto replaced = renameReplacing(link, pair.copy); replaced.hasError())
    return undo(replaced.error().oneLine());
  CleaningItemOutcome outcome;
  outcome.actions.emplace_back(CleaningRemovedAction{});
  outcome.actions.emplace_back(
      CleaningReplacedWithHardlinkAction{item.originalIdentifier, pair.kept->path()});
  return outcome;
}

Result<CleaningAction> moveToFolder(const Entry& staged, const CleaningNote& note,
                                    std::int64_t cleanID, std::int64_t identifier) {
  const std::string& destination = *note.destinationPath;
  ZK_ASSIGN_OR_RETURN(const Entry target, entryWithoutLinks(destination));
  auto moved = renameWithoutReplacing(staged, target);
  if (moved.hasValue()) return CleaningAction(CleaningMovedAction{destination});
  if (moved.error().code != EXDEV) return moved.error();
  // Another file system: a copy written beside the destination, made durable and checked, takes
  // the destination's name; only then does the copy go.
  ZK_ASSIGN_OR_RETURN(const Entry partial,
                      entryWithoutLinks(partialPathFor(destination, cleanID, identifier)));
  ZK_TRY(copyWithMetadata(staged, partial));
  const auto discard = [&](Error error) {
    (void)removeTree(partial);
    return error;
  };
  if (note.digest) {
    auto digest = digestOfFile(partial, {});
    if (digest.hasError()) return discard(digest.error());
    if (digest.value() != *note.digest)
      return discard(Error::generic("The copy written differs from the file.", destination));
  } else {
    auto equal = haveEqualTreeContents(staged.path(), partial.path());
    if (equal.hasError()) return discard(equal.error());
    if (!equal.value())
      return discard(Error::generic("The copy written differs from the folder.", destination));
  }
  if (auto named = renameWithoutReplacing(partial, target); named.hasError())
    return discard(named.error());
  (void)removeTree(staged);  // what is left of it is found and removed by the next run
  return CleaningAction(CleaningMovedAction{destination});
}

Result<CleaningAction> removeForGood(const Entry& staged, const CleaningNote& note) {
  if (!note.isFolder) {
    ZK_TRY(removeEntry(staged));
    return CleaningAction(CleaningRemovedAction{});
  }
  // Renamed first, so that a deletion cut off midway is finished by the next run, not undone.
  ZK_ASSIGN_OR_RETURN(const Entry deleting,
                      staged.sibling(std::string(lastPathComponent(*note.deletingPath))));
  ZK_TRY(renameWithoutReplacing(staged, deleting));
  ZK_TRY(removeTree(deleting));
  return CleaningAction(CleaningRemovedAction{});
}

Result<CleaningItemOutcome> removeByOption(const CleaningItem& item, const CheckedPair& pair,
                                           CleaningNote& note, const CleaningSteps& steps) {
  const std::string path = pair.copy.path();
  note.stagedPath = stagedPathFor(path, item.cleanID, item.identifier);
  if (note.isFolder && note.option.kind == FileCleaningOption::Kind::removePermanently) {
    note.deletingPath = deletingPathFor(path, item.cleanID, item.identifier);
  }
  if (note.option.kind == FileCleaningOption::Kind::moveToFolder) {
    const std::string& folder = note.option.folder;
    auto available = availableCapacity(folder);
    if (available.hasError()) {
      return leftInPlace(CleaningErrorCode::destinationUnaccessible, path,
                         fmt::format("the folder {} cannot be used: {}", displayPath(folder),
                                     available.error().oneLine()));
    }
    if (available.value() < note.size) {
      return leftInPlace(CleaningErrorCode::notEnoughCapacity, path,
                         fmt::format("{} has {} bytes free, {} are needed", displayPath(folder),
                                     available.value(), note.size));
    }
    note.destinationPath = freeDestination(folder, lastPathComponent(path));
    note.partialPath = partialPathFor(*note.destinationPath, item.cleanID, item.identifier);
  }
  ZK_TRY(steps.writeJournal(note));

  ZK_ASSIGN_OR_RETURN(const Entry staged,
                      pair.copy.sibling(std::string(lastPathComponent(*note.stagedPath))));
  if (auto aside = renameWithoutReplacing(pair.copy, staged); aside.hasError()) {
    return leftInPlace(CleaningErrorCode::sourceUnaccessible, path, aside.error().oneLine());
  }
  const auto putBack = [&](const std::string& why) {
    auto back = renameWithoutReplacing(staged, pair.copy);
    if (back.hasError()) {
      return cleaningError(CleaningErrorCode::revertImpossible, path,
                           fmt::format("{}; the copy is kept at {} ({})", why,
                                       displayPath(staged.path()), back.error().oneLine()));
    }
    return leftInPlace(CleaningErrorCode::sourceInvalid, path, why);
  };
  if (!stillIs(staged.path(), pair.copyFacts.identity))
    return putBack("it changed while it was being removed");
  if (pair.kept && !stillIs(pair.kept->path(), pair.keptFacts->identity)) {
    return putBack(fmt::format("the kept copy {} went with it (the same file seen through a mount)",
                               displayPath(pair.kept->path())));
  }

  Result<CleaningAction> action = Error::generic("Nothing was done.");
  switch (note.option.kind) {
    case FileCleaningOption::Kind::moveToTrash: {
      auto trashed = moveToTrash(staged, path);
      if (trashed.hasError()) {
        Error error = putBack("the trash cannot be used: " + trashed.error().oneLine());
        if (error.code == static_cast<int>(CleaningErrorCode::sourceInvalid) &&
            meansNoUsableTrash(trashed.error())) {
          error.code = static_cast<int>(CleaningErrorCode::destinationUnaccessible);
          error.description =
              std::string(displayedDescription(CleaningErrorCode::destinationUnaccessible));
        }
        return error;
      }
      action = CleaningAction(
          CleaningMovedToTrashAction{trashed.value().trashedPath, trashed.value().infoPath});
      break;
    }
    case FileCleaningOption::Kind::removePermanently:
      action = removeForGood(staged, note);
      break;
    case FileCleaningOption::Kind::moveToFolder:
      action = moveToFolder(staged, note, item.cleanID, item.identifier);
      break;
  }
  if (action.hasError()) {
    // A folder deletion that began is finished by the next run; anything else goes back.
    if (note.deletingPath && !stillIs(staged.path(), pair.copyFacts.identity))
      return action.error();
    return putBack(action.error().oneLine());
  }
  CleaningItemOutcome outcome;
  outcome.actions.push_back(std::move(action.value()));
  return outcome;
}

}  // namespace

ContentCheck contentCheckFor(EquivalenceKind kind) {
  switch (kind) {
    case EquivalenceKind::exactHash:
    case EquivalenceKind::exactSize:
    case EquivalenceKind::exactApp:
    case EquivalenceKind::directory:
      return ContentCheck::wholeContent;
    case EquivalenceKind::exactAudioHash:
    case EquivalenceKind::exactAudioSize:
      return ContentCheck::audioData;
    default:
      return ContentCheck::none;  // similar items differ by definition; links hold no data
  }
}

std::string stagedPathFor(const std::string& path, std::int64_t cleanID, std::int64_t identifier) {
  return besides(path, "staged", cleanID, identifier);
}
std::string deletingPathFor(const std::string& path, std::int64_t cleanID,
                            std::int64_t identifier) {
  return besides(path, "deleting", cleanID, identifier);
}
std::string linkPathFor(const std::string& path, std::int64_t cleanID, std::int64_t identifier) {
  return besides(path, "link", cleanID, identifier);
}
std::string partialPathFor(const std::string& destination, std::int64_t cleanID,
                           std::int64_t identifier) {
  return besides(destination, "partial", cleanID, identifier);
}

Result<CleaningItemOutcome> DefaultCleaningPolicy::perform(const CleaningItem& item,
                                                           CleaningNote& note,
                                                           bool replaceWithHardLink,
                                                           const CleaningSteps& steps) const {
  ZK_ASSIGN_OR_RETURN(const CheckedPair pair, checked(item, steps));
  const std::string path = pair.copy.path();
  note.copyIdentity = pair.copyFacts.identity;
  note.isFolder = pair.copyFacts.type == FileResourceType::directory;
  note.size = note.isFolder ? item.node->exactSize() : pair.copyFacts.size;
  note.digest = pair.digest;
  if (auto metadata = metadataOf(pair.copy); metadata.hasValue())
    note.metadata = std::move(metadata.value());
  note.folders = foldersAbove(path, item.scanLocation);
  if (pair.kept) {
    note.keptPath = pair.kept->path();
    note.keptIdentity = pair.keptFacts->identity;
  }
  if (!replaceWithHardLink) return removeByOption(item, pair, note, steps);
  if (!pair.kept || pair.copyFacts.type != FileResourceType::regular ||
      contentCheckFor(item.kind) != ContentCheck::wholeContent) {
    return leftInPlace(CleaningErrorCode::sourceInvalid, path,
                       "only exact copies of files can be replaced by hard links");
  }
  return replaceByHardLink(item, pair, note, steps);
}

std::vector<std::string> DefaultCleaningPolicy::cleanEmptyDirectories(
    const std::string& removedPath, const std::string& scanLocation) {
  std::vector<std::string> removed;
  for (std::string folder = parentPath(removedPath); isInside(folder, scanLocation);
       folder = parentPath(folder)) {
    auto entry = entryWithoutLinks(folder);
    auto gone = entry.hasValue() ? removeEntry(entry.value()) : Result<void>(entry.error());
    if (gone.hasError()) {
      if (gone.error().code != ENOTEMPTY && gone.error().code != EEXIST) {
        Logger::shared().log("DefaultCleaningPolicy", "cleanEmptyDirectoriesIfShould(afterItem:)",
                             "Did fail to remove empty folder: " + gone.error().oneLine());
      }
      break;
    }
    removed.push_back(folder);
  }
  return removed;
}

}  // namespace zarnik
