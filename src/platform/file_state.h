// A regular file's identity, size and times: what a record of its content is kept by. The
// change time moves with every write and no one can set it back, so a file rewritten with its
// old size and modification time still shows a new state.
#pragma once

#include "base/date.h"
#include "base/result.h"
#include "base/units.h"

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

}  // namespace zarnik
