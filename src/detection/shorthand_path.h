// Shortened paths: the copies of a group mostly share the start of their paths, so each copy is
// shown by the part that differs, after the folders the group has in common.
#pragma once

#include "base/path_components.h"

#include <string>
#include <vector>

namespace zarnik {

class ShorthandPathBuilder {
 public:
  explicit ShorthandPathBuilder(const std::vector<std::string>& paths);
  // The folders every path lies in ("/", "home", "ann" for /home/ann/a/x and /home/ann/b/x); never
  // a path's own name, so that each copy keeps at least its name.
  [[nodiscard]] const PathComponents& commonComponents() const { return common_; }
  // `path` without the common folders ("a/x"); the path itself when it does not start with them.
  [[nodiscard]] std::string shorthand(const std::string& path) const;

 private:
  PathComponents common_;
};

}  // namespace zarnik
