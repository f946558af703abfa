// Where the program's own files lie: its loadable modules and its read-only resources. They are
// found from the running program's location, never from a path compiled in, so that an installed
// tree (/usr/bin/zarnik beside /usr/lib/zarnik and /usr/share/zarnik), the same tree moved under
// another prefix, and a build tree (build/<preset>/src/cli/zarnik beside build/<preset>/lib/zarnik)
// all work.
#pragma once

#include "base/result.h"

#include <string>

namespace zarnik {

struct InstallLayout {
  std::string programFolder;   // the folder holding the program
  std::string moduleFolder;    // loadable modules: <prefix>/lib/zarnik or <build>/lib/zarnik
  std::string resourceFolder;  // read-only data: <prefix>/share/zarnik or <build>/share/zarnik

  // The absolute paths of a module and a resource, named as installed.
  [[nodiscard]] std::string modulePath(const std::string& name) const;
  [[nodiscard]] std::string resourcePath(const std::string& name) const;
};

// The layout around a program in `programFolder` (absolute): a folder named "bin" is an installed
// tree's, its parent the prefix; any other is taken to lie in a build tree, whose top is the
// nearest folder at or above it that holds CMakeCache.txt. An error when it is neither.
[[nodiscard]] Result<InstallLayout> installLayoutAround(const std::string& programFolder);

// The layout around the running program (/proc/self/exe), worked out once.
[[nodiscard]] const Result<InstallLayout>& installLayout();

}  // namespace zarnik
