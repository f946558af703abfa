// The tags and length of an audio file, read with TagLib (MP3, FLAC, MP4/M4A, Ogg, WAV, AIFF and
// the rest TagLib knows). A tag that is absent is nothing; one that is present but empty is "".
#pragma once

#include <optional>
#include <string>

#include "base/result.h"

namespace zarnik {

struct AudioTags {
  std::optional<std::string> title;
  std::optional<std::string> album;
  std::optional<std::string> artist;
  double duration = 0;  // seconds
  int bitRate = 0;      // kbit/s
};

[[nodiscard]] Result<AudioTags> readAudioTags(const std::string& path);

}  // namespace zarnik
