// Small whole-file reads for metadata files (property lists, settings, state files). Content
// reads of scanned files go through the hashing code and the disk access manager instead.
#pragma once

#include "base/result.h"

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zarnik {

// The file's bytes; an error when it cannot be read or is larger than `maximumBytes`.
[[nodiscard]] Result<std::string> readWholeFile(const std::string& path, size_t maximumBytes);
// The same read into the places `placesFor` gives for the file's size, filled in order: a
// header can go apart from the records after it, and neither is copied again. The number of
// bytes read, fewer than the size when the file shrank meanwhile.
[[nodiscard]] Result<size_t> readWholeFileInto(
    const std::string& path, size_t maximumBytes,
    const std::function<std::vector<std::span<char>>(size_t size)>& placesFor);
// Writes through a temporary file in the same folder and renames it over `path`, so that a
// reader sees either the old or the new content, never a part.
[[nodiscard]] Result<void> writeFileAtomically(const std::string& path, std::string_view bytes);
// The same for bytes in parts. Unsynced, the file is not forced to the disk before the rename:
// for files whose reader tells a damaged one (a crash may leave it empty or in part).
enum class Syncing { synced, unsynced };
[[nodiscard]] Result<void> writeFileAtomically(const std::string& path,
                                               std::span<const std::string_view> parts,
                                               Syncing syncing);
// The absolute path with links and "." and ".." resolved (realpath(3)).
[[nodiscard]] Result<std::string> resolvedPath(const std::string& path);
// Whether anything (a file, a folder, a link) is at `path`.
[[nodiscard]] bool pathExists(const std::string& path);
// rename(2): replaces `to` in one step.
[[nodiscard]] Result<void> renameFile(const std::string& from, const std::string& to);
// Removes a file; one that is not there is no failure.
[[nodiscard]] Result<void> removeFileIfPresent(const std::string& path);

}  // namespace zarnik
