// Where the audio data of an audio file lies, without its tags and container metadata, so that
// two copies of a recording that differ only in their tags can be recognised. Read from the
// container's own structure:
//   MPEG audio: after an ID3v2 tag (and its footer), before an APEv2 tag and an ID3v1 tag
//   FLAC: after the "fLaC" marker and its metadata blocks, before an ID3v1 tag
//   WAV (RIFF) and AIFF (FORM): the "data" or "SSND" chunk's samples
//   MP4/M4A: the "mdat" box's payload (the largest one)
//   Ogg: from the first page after the header pages (granule position above zero)
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "base/result.h"

namespace zarnik {

struct AudioDataRange {
  std::int64_t offset = 0;
  std::int64_t length = 0;
  friend bool operator==(const AudioDataRange&, const AudioDataRange&) = default;
};

// Reads up to `length` bytes at `offset` into `buffer`; the count read (0 at the end), or -1.
using ByteReader = std::function<std::int64_t(std::int64_t offset, void* buffer, std::int64_t length)>;

// The audio data of a file of `fileSize` bytes; nothing when the format is not recognised or
// its structure does not hold together (a size pointing past the end, say).
[[nodiscard]] std::optional<AudioDataRange> locateAudioData(const ByteReader& read, std::int64_t fileSize);
[[nodiscard]] Result<std::optional<AudioDataRange>> locateAudioDataInFile(const std::string& path);

}  // namespace zarnik
