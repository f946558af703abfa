// Path tests the watchers share. Paths are compared component by component: "/a/bc" is not below
// "/a/b".
#pragma once

#include "base/path_components.h"

#include <string>
#include <string_view>

namespace zarnik::monitor_internal {

inline bool isStrictlyBelow(std::string_view path, std::string_view folder) {
  return path.size() > folder.size() && isPathAtOrBelow(path, folder);
}

inline bool isHiddenName(std::string_view name) { return name.starts_with('.'); }

}  // namespace zarnik::monitor_internal
