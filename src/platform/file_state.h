// What is at a path: a regular file's identity, size and times (what a record of its content is
// kept by), whether it is a folder, where a link points. The change time moves with every write
// and no one can set it back, so a file rewritten with its old size and modification time still
// shows a new state.
#pragma once

#include "base/date.h"
#include "base/result.h"
#include "base/units.h"
#include "platform/file_descriptor.h"

#include <optional>
#include <string>

namespace zarnik {

struct FileState {
  FileId identity;
  ByteCount size = 0;
  Date modified;
  Date changed;
};

// Fails for a path that is missing, unreadable or not a regular file (links are not followed).
[[nodiscard]] Result<FileState> regularFileStateOf(const std::string& path);
// The same for an open file (`path` names it in errors): a folder or device put in a file's
// place fails.
[[nodiscard]] Result<FileState> regularFileStateOf(const UniqueFd& file, const std::string& path);

// The modification time of the item at `path` itself (links are not followed).
[[nodiscard]] Result<Date> modificationDateOf(const std::string& path);

// Whether `path` is a folder or a link to one.
[[nodiscard]] bool isFolder(const std::string& path);
// The size of the file at `path`, following links; nothing when it cannot be looked at.
[[nodiscard]] std::optional<ByteCount> fileSizeAt(const std::string& path);
// Where the symbolic link at `path` points, as written in the link.
[[nodiscard]] Result<std::string> symbolicLinkTarget(const std::string& path);

}  // namespace zarnik
