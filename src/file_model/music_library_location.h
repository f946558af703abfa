// Where the current user's music library is. Linux has no music application and no preference
// domain for one, so the library is found by its files: a folder under ~/Music holding
// "iTunes Library.xml", "iTunes Library.itl" or "Music Library.musiclibrary" (a library copied
// from another system), else the legacy recent-database list of com.apple.iApps.plist.
#pragma once

#include <optional>
#include <string>

#include "foundation/url_resolver.h"

namespace zarnik {

class MusicLibraryLocation {
 public:
  explicit MusicLibraryLocation(const OVURLResolver& resolver) : resolver_(resolver) {}

  // The abbreviated path of the library folder found among the usual folders.
  [[nodiscard]] std::optional<std::string> modernPathOfCurrentITunesLibrary() const;
  // The folder of the first "iTunesRecentDatabasePaths" entry of
  // ~/Library/Preferences/com.apple.iApps.plist, abbreviated.
  [[nodiscard]] std::optional<std::string> legacyPathOfCurrentITunesLibrary() const;
  // The modern path, else the legacy one.
  [[nodiscard]] std::optional<std::string> pathOfCurrentITunesLibrary() const;
  // The library's media folder ("iTunes Media" or "Media" inside it), expanded.
  [[nodiscard]] std::optional<std::string> urlOfMediaFolderLocation() const;

 private:
  const OVURLResolver& resolver_;
};

}  // namespace zarnik
