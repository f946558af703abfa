// Path tests the watchers share. Paths are compared component by component: "/a/bc" is not below
// "/a/b".
#pragma once

#include <string>
#include <string_view>

namespace zarnik::monitor_internal {

inline bool isAtOrBelow(std::string_view path, std::string_view folder) {
  if (folder == "/") return path.starts_with('/');
  return path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

inline bool isStrictlyBelow(std::string_view path, std::string_view folder) {
  return path.size() > folder.size() && isAtOrBelow(path, folder);
}

inline bool isHiddenName(std::string_view name) { return name.starts_with('.'); }

}  // namespace zarnik::monitor_internal
