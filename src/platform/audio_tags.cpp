#include "platform/audio_tags.h"

#include <taglib/fileref.h>
#include <taglib/tpropertymap.h>

namespace zarnik {
namespace {

std::optional<std::string> property(const TagLib::PropertyMap& properties, const char* key) {
  const auto found = properties.find(key);
  if (found == properties.end() || found->second.isEmpty()) return std::nullopt;
  return found->second.front().to8Bit(true);
}

}  // namespace

Result<AudioTags> readAudioTags(const std::string& path) {
  try {
    TagLib::FileRef file(path.c_str(), true, TagLib::AudioProperties::Fast);
    if (file.isNull() || file.file() == nullptr || !file.file()->isValid()) {
      return Error::generic("The audio file cannot be read.", path);
    }
    AudioTags tags;
    const TagLib::PropertyMap properties = file.file()->properties();
    tags.title = property(properties, "TITLE");
    tags.album = property(properties, "ALBUM");
    tags.artist = property(properties, "ARTIST");
    if (const auto* audio = file.audioProperties()) {
      tags.duration = audio->lengthInMilliseconds() / 1000.0;
      tags.bitRate = audio->bitrate();
    }
    return tags;
  } catch (const std::exception& exception) {
    return Error::generic("The audio file cannot be read.", path).withUnderlying(exception.what());
  }
}

}  // namespace zarnik
