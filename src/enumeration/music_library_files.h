// Readers of the files music libraries are kept in: the XML property list of the music
// application ("iTunes Library.xml", "iTunes Music Library.xml") and Rhythmbox's
// "rhythmdb.xml". Both read bytes already loaded, defensively: a file of the wrong format or cut
// short is an error naming `origin`, never a partial listing taken for the whole library.
#pragma once

#include "base/result.h"
#include "enumeration/media_library_records.h"

#include <string>
#include <string_view>

namespace zarnik {

inline constexpr size_t kMaximumMusicLibraryFileBytes = 256u << 20;

[[nodiscard]] Result<MusicLibraryListing> readITunesLibraryList(std::string_view bytes,
                                                                std::string_view origin);
[[nodiscard]] Result<MusicLibraryListing> readRhythmboxDatabase(std::string_view bytes,
                                                                std::string_view origin);

}  // namespace zarnik
