// Where the files shipped with the program are found at run time: the resources folder of an
// installed program (<prefix>/share/zarnik beside <prefix>/bin), else the resources folder of
// the source tree the program was built from, so that a program run from its build folder finds
// them too.
#pragma once

#include "base/result.h"

#include <string>
#include <string_view>
#include <vector>

namespace zarnik {

// The folder holding the running program, from /proc/self/exe; empty when it cannot be read.
[[nodiscard]] std::string executableDirectory();
// The folders searched for resources, first match wins.
[[nodiscard]] std::vector<std::string> programResourceDirectories();
// The path of the resource `name` (for example "default-settings.json"); an error naming the
// folders searched when it is in none of them.
[[nodiscard]] Result<std::string> findProgramResource(std::string_view name);

}  // namespace zarnik
