// The sizes of a whole folder tree (an application bundle is one item whose size is that of
// everything inside it). Links are counted as links, never followed; each inode is counted once.
#pragma once

#include <string>

#include "base/result.h"
#include "base/units.h"

namespace zarnik {

struct DirectorySizes {
  ByteCount diskSize = 0;   // allocated bytes
  ByteCount exactSize = 0;  // bytes of content
};

[[nodiscard]] Result<DirectorySizes> measureDirectory(const std::string& path);

}  // namespace zarnik
