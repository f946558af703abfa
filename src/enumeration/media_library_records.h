// What a media library says of its items, read from its own files before any node is made:
// the file of each item and the library's facts about it.
#pragma once

#include "file_model/base_node.h"
#include "file_model/media_info.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zarnik {

struct LibraryTrack {
  std::string path;
  ITunesItemInfo info;
  std::optional<ZKITunesLibraryItemIdentifier> identifier;
};

struct MusicLibraryListing {
  std::vector<LibraryTrack> tracks;
  // Entries that are no file of this computer's (streams, podcasts not downloaded, radio).
  std::int64_t skippedTracks = 0;
  // Where the library's own media folder was on the computer that wrote it, when it says.
  std::optional<std::string> mediaFolder;
};

struct LibraryPicture {
  std::string identifier;  // unique within its library
  std::optional<std::string> masterPath;
  std::optional<std::string> previewPath;
  std::vector<std::string> thumbnailPaths;
  PhotosItemInfo info;
};

struct PhotoLibraryListing {
  std::vector<LibraryPicture> pictures;
};

// The path of a "file:" URI ("file:///home/a%20b.mp3", "file://localhost/Users/a.mp3") with its
// escapes decoded; nothing for other schemes, other hosts and bad escapes.
[[nodiscard]] std::optional<std::string> pathOfFileURI(std::string_view uri);

}  // namespace zarnik
