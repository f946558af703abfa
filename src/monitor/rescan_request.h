// A request to look at a path again: the path alone (a file, or a folder's own entries), or
// with everything below it.
#pragma once

#include <string>

namespace zarnik {

struct RescanTask {
  std::string path;
  bool recursively = false;

  friend bool operator==(const RescanTask&, const RescanTask&) = default;
};

}  // namespace zarnik
