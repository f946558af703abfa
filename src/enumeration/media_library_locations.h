// Where the music and photo libraries of a scan are: given by the user as a path (the library's
// file or its folder), or found at the places their programs keep them for this user.
#pragma once

#include "base/result.h"
#include "enumeration/media_library_enumeration.h"

#include <string>
#include <variant>
#include <vector>

namespace zarnik {

struct MediaLibraryLocation {
  std::string folder;  // the library's folder: where its node is
  std::string file;    // what is read: the XML list, rhythmdb.xml, photo.db or the library folder
  std::variant<MusicLibraryFormat, PhotoLibraryFormat> format;
  bool isDefault = false;  // found where its program keeps the library of this user

  [[nodiscard]] bool isMusicLibrary() const {
    return std::holds_alternative<MusicLibraryFormat>(format);
  }
  [[nodiscard]] MediaLibraryInfo libraryInfo() const;
  friend bool operator==(const MediaLibraryLocation&, const MediaLibraryLocation&) = default;
};

// A music library at `path`: "rhythmdb.xml", "iTunes Library.xml" or "iTunes Music Library.xml",
// or a folder holding one of them. Fails naming the path when there is none.
[[nodiscard]] Result<MediaLibraryLocation> musicLibraryAt(const std::string& path);
// A photo library at `path`: Shotwell's "photo.db" or a folder holding it (also as
// "data/photo.db"), or a Photos library folder (with a "database" or a "Masters" folder).
[[nodiscard]] Result<MediaLibraryLocation> photoLibraryAt(const std::string& path);

// The libraries this user's programs keep at their usual places ($XDG_DATA_HOME/rhythmbox,
// $XDG_DATA_HOME/shotwell), those that exist.
[[nodiscard]] std::vector<MediaLibraryLocation> musicLibrariesOfCurrentUser();
[[nodiscard]] std::vector<MediaLibraryLocation> photoLibrariesOfCurrentUser();

}  // namespace zarnik
