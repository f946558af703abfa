// Guarded file operations for cleaning: every path is reached without following a symbolic link
// in any of its components, and every change is made on an entry of a folder that was opened
// that way, so that a link put into a path after the scan can never redirect a removal to
// another file.
//
// An `Entry` is a name inside an open folder. Its facts (identity, type, size, dates, owner and
// mode) are read with one statx that does not follow a link at the entry itself. The changes
// (rename without replacing, rename over, hard link, unlink, removal of a whole tree) are the
// single system calls they are named after, so that a cleaning cut off at any moment leaves each
// item in one of a few states that the next run can recognise.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/date.h"
#include "base/result.h"
#include "base/units.h"
#include "platform/file_descriptor.h"
#include "platform/resource_values.h"

namespace zarnik {

struct EntryFacts {
  FileId identity;
  FileResourceType type = FileResourceType::unknown;
  ByteCount size = 0;
  Date modification;
  std::optional<Date> access;
  std::uint32_t mode = 0;  // permission bits only
  std::uint32_t owner = 0;
  std::uint32_t group = 0;
  std::uint32_t linkCount = 0;
};

// What a file or folder keeps beyond its bytes: given back to a copy made anew.
struct EntryMetadata {
  std::uint32_t mode = 0;
  std::uint32_t owner = 0;
  std::uint32_t group = 0;
  std::optional<Date> access;
  std::optional<Date> modification;
  std::vector<std::pair<std::string, std::string>> extendedAttributes;  // name, value (bytes)
};

class Entry {
 public:
  Entry(UniqueFd folder, std::string name, std::string path)
      : folder_(std::move(folder)), name_(std::move(name)), path_(std::move(path)) {}

  [[nodiscard]] int folder() const { return folder_.get(); }
  [[nodiscard]] const std::string& name() const { return name_; }
  [[nodiscard]] const std::string& path() const { return path_; }
  // The same folder under another name (the folder is opened again, not shared).
  [[nodiscard]] Result<Entry> sibling(const std::string& name) const;

 private:
  UniqueFd folder_;
  std::string name_;
  std::string path_;
};

// The entry at the absolute `path`: its folder opened with no symbolic link followed on the way.
// A link on the way fails with ELOOP (see `isLinkInPath`); the entry itself need not exist.
[[nodiscard]] Result<Entry> entryWithoutLinks(const std::string& path);
[[nodiscard]] bool isLinkInPath(const Error& error);
// The entry at `path` with its folder reached as the path says (links on the way followed), for
// reading only; the entry itself is still never followed.
[[nodiscard]] Result<Entry> entryForReading(const std::string& path);

// Facts of the entry itself (a link is reported as a link, never followed). ENOENT when gone.
[[nodiscard]] Result<EntryFacts> factsOf(const Entry& entry);
[[nodiscard]] Result<EntryMetadata> metadataOf(const Entry& entry);
// Owner (when allowed), mode, extended attributes and times; the first failure is returned but
// the rest is still applied.
Result<void> applyMetadata(const Entry& entry, const EntryMetadata& metadata);

// Whether the entry lies on an overlay mount (the same file may then also be seen through the
// overlay's lower or upper folder under another identity).
[[nodiscard]] bool isOnOverlay(const Entry& entry);

// rename(2) with RENAME_NOREPLACE: EEXIST when `to` exists; EXDEV across file systems.
Result<void> renameWithoutReplacing(const Entry& from, const Entry& to);
// rename(2) replacing `to` in one step.
Result<void> renameReplacing(const Entry& from, const Entry& to);
// A hard link `to` of the file `from` (never followed). EEXIST when `to` exists.
Result<void> hardLink(const Entry& from, const Entry& to);
// Removes a file, a link or an empty folder.
Result<void> removeEntry(const Entry& entry);
// Removes a folder and everything in it, never following a link; a file.
Result<void> removeTree(const Entry& entry);

// Copies the file or the whole folder at `from` to the new entry `to` (created exclusively), with
// its metadata, and makes the copy durable before returning. A partial copy is removed on error.
Result<void> copyWithMetadata(const Entry& from, const Entry& to);

// Makes the folders missing above `path`, each with the metadata recorded for it (mode 0755 of
// the effective user when nothing was recorded). The folders made.
using RecordedFolders = std::vector<std::pair<std::string, EntryMetadata>>;
Result<std::vector<std::string>> makeMissingFolders(const std::string& path, const RecordedFolders& recorded);

// Whole-content comparison. Reads both in 1 MiB blocks and stops at the first difference; tells
// `afterBlock` the bytes of each block pair compared (of one file), and when it answers false the
// comparison stops with Error::cancelled(). Gives the SHA-1 of the first as it goes when the two
// are equal and were read (hard links of one file are equal without reading).
struct ContentComparison {
  bool equal = false;
  std::string digestOfFirst;  // 20 bytes when equal and read
};
using ContinuePredicate = std::function<bool()>;
using BlockObserver = std::function<bool(std::int64_t bytes)>;
[[nodiscard]] Result<ContentComparison> compareFileContents(const Entry& first, const Entry& second,
                                                            const BlockObserver& afterBlock);
[[nodiscard]] Result<std::string> digestOfFile(const Entry& entry, const ContinuePredicate& shouldContinue);

// Whether `length` bytes at `offsetInFirst` of one file equal those at `offsetInSecond` of the other.
[[nodiscard]] Result<bool> haveEqualRanges(const Entry& first, std::int64_t offsetInFirst, const Entry& second,
                                           std::int64_t offsetInSecond, std::int64_t length,
                                           const ContinuePredicate& shouldContinue);

// The bytes the effective user may still write on the file system holding `folder`.
[[nodiscard]] Result<ByteCount> availableCapacity(const std::string& folder);

// The identities of the regular files under a folder, at any depth, never following a link.
[[nodiscard]] Result<std::vector<FileId>> fileIdentitiesInTree(const Entry& folder);

}  // namespace zarnik
