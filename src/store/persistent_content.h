// The folders Zarnik keeps its content in: persistent content (stores, sessions, statistics)
// under $XDG_DATA_HOME/zarnik and cached content under $XDG_CACHE_HOME/zarnik, each made with
// the folders above it when first asked for. A folder that cannot be made is logged; its path
// is returned all the same, and whoever writes there reports the failure in its own words.
#pragma once

#include <string>

namespace zarnik {

[[nodiscard]] const std::string& persistentContentDirectory();

}  // namespace zarnik
