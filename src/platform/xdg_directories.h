// The user's folders by the XDG base-directory rules, and Zarnik's places inside them:
// settings in $XDG_CONFIG_HOME/zarnik, persistent content in $XDG_DATA_HOME/zarnik,
// caches in $XDG_CACHE_HOME/zarnik, the log in $XDG_STATE_HOME/zarnik.
#pragma once

#include "base/result.h"

#include <string>
#include <vector>

namespace zarnik::xdg {

// $HOME, or the password database's home of the effective user.
[[nodiscard]] std::string homeDirectory();
[[nodiscard]] std::string configHome();
[[nodiscard]] std::string dataHome();
[[nodiscard]] std::string cacheHome();
[[nodiscard]] std::string stateHome();
// $XDG_DATA_DIRS (default /usr/local/share:/usr/share), most important first.
[[nodiscard]] std::vector<std::string> dataDirs();

// The user's own folders named in "$XDG_CONFIG_HOME/user-dirs.dirs" (XDG_DESKTOP_DIR,
// XDG_DOCUMENTS_DIR, XDG_DOWNLOAD_DIR, XDG_MUSIC_DIR, XDG_PICTURES_DIR, XDG_VIDEOS_DIR,
// XDG_PUBLICSHARE_DIR, XDG_TEMPLATES_DIR, ...), as absolute paths; none when the file is missing.
// A folder set to the home folder itself (as xdg-user-dirs does for a disabled one) is left out.
[[nodiscard]] std::vector<std::string> userDirectories();

[[nodiscard]] std::string zarnikConfigDirectory();
[[nodiscard]] std::string zarnikDataDirectory();
[[nodiscard]] std::string zarnikCacheDirectory();
[[nodiscard]] std::string zarnikStateDirectory();
// The four above: the program's settings, stores, cache and log.
[[nodiscard]] std::vector<std::string> zarnikDirectories();

// mkdir -p with mode 0700 for the folders it creates.
Result<void> makeDirectories(const std::string& path);

}  // namespace zarnik::xdg
