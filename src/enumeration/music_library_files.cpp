#include "enumeration/music_library_files.h"

#include "base/json.h"
#include "enumeration/xml_reader.h"
#include "platform/property_list.h"

#include <charconv>
#include <cstdlib>
#include <map>

namespace zarnik {
namespace {

std::optional<double> jsonNumber(const Json& object, std::string_view key) {
  const Json* member = jsonMember(object, key);
  if (member == nullptr || !member->is_number()) return std::nullopt;
  return member->get<double>();
}

std::optional<Date> propertyListDate(const Json& object, std::string_view key) {
  const Json* member = jsonMember(object, key);
  if (member == nullptr || !member->is_object()) return std::nullopt;
  const auto seconds = jsonNumber(*member, "$date");
  if (!seconds) return std::nullopt;
  return dateFromSecondsSince1970(*seconds);
}

// "Persistent ID" is 16 hexadecimal digits: the track's identity across the library's life.
std::optional<ZKITunesLibraryItemIdentifier> persistentIdentifier(const Json& track) {
  const auto text = jsonString(track, "Persistent ID");
  if (!text || text->empty() || text->size() > 16) return std::nullopt;
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value, 16);
  if (error != std::errc() || end != text->data() + text->size()) return std::nullopt;
  return ZKITunesLibraryItemIdentifier{static_cast<std::int64_t>(value)};
}

ITunesItemType itemTypeOf(const Json& track) {
  for (const char* key : {"Has Video", "Movie", "TV Show", "Music Video"}) {
    if (jsonBool(track, key).value_or(false)) return ITunesItemType::video;
  }
  return ITunesItemType::audio;
}

std::optional<LibraryTrack> trackOf(const Json& track) {
  const auto location = jsonString(track, "Location");
  if (!location) return std::nullopt;
  auto path = pathOfFileURI(*location);
  if (!path) return std::nullopt;
  LibraryTrack item;
  item.path = std::move(*path);
  item.identifier = persistentIdentifier(track);
  ITunesItemInfo& info = item.info;
  info.trackID = jsonInt(track, "Track ID").value_or(0);
  info.databaseID = item.identifier ? item.identifier->uniqueIdentifier : info.trackID;
  info.type = itemTypeOf(track);
  info.name = jsonString(track, "Name").value_or(std::string());
  info.artist = jsonString(track, "Artist");
  info.album = jsonString(track, "Album");
  info.playCount = jsonInt(track, "Play Count");
  info.playDate = propertyListDate(track, "Play Date UTC");
  info.loved = jsonBool(track, "Loved");
  if (const auto rating = jsonNumber(track, "Rating"); rating && *rating >= 0 && *rating <= 100) {
    info.rating = static_cast<float>(*rating);
  }
  if (const auto milliseconds = jsonNumber(track, "Total Time");
      milliseconds && *milliseconds > 0) {
    info.duration = *milliseconds / 1000.0;
  }
  if (const auto bitrate = jsonInt(track, "Bit Rate");
      bitrate && *bitrate > 0 && *bitrate < 1'000'000) {
    info.bitrate = static_cast<std::uint32_t>(*bitrate);
  }
  return item;
}

// Rhythmbox keeps each field of an entry as a child element holding text.
struct RhythmboxEntry {
  std::string type;
  std::map<std::string, std::string> fields;
};

std::optional<std::int64_t> integerField(const RhythmboxEntry& entry, const char* name) {
  const auto it = entry.fields.find(name);
  if (it == entry.fields.end()) return std::nullopt;
  std::int64_t value = 0;
  const auto [end, error] =
      std::from_chars(it->second.data(), it->second.data() + it->second.size(), value);
  if (error != std::errc() || end != it->second.data() + it->second.size()) return std::nullopt;
  return value;
}

std::optional<std::string> textField(const RhythmboxEntry& entry, const char* name) {
  const auto it = entry.fields.find(name);
  if (it == entry.fields.end() || it->second.empty()) return std::nullopt;
  return it->second;
}

std::optional<LibraryTrack> trackOf(const RhythmboxEntry& entry) {
  if (entry.type != "song") return std::nullopt;
  const auto location = textField(entry, "location");
  if (!location) return std::nullopt;
  auto path = pathOfFileURI(*location);
  if (!path) return std::nullopt;
  LibraryTrack item;
  item.path = std::move(*path);
  ITunesItemInfo& info = item.info;
  info.type = ITunesItemType::audio;
  info.name = textField(entry, "title").value_or(std::string());
  info.artist = textField(entry, "artist");
  info.album = textField(entry, "album");
  info.playCount = integerField(entry, "play-count");
  if (const auto played = integerField(entry, "last-played"); played && *played > 0) {
    info.playDate = dateFromSecondsSince1970(static_cast<double>(*played));
  }
  // Stars, 0 to 5, kept on the music application's scale of 0 to 100 that ratings compare on.
  if (const auto stars = integerField(entry, "rating"); stars && *stars >= 0 && *stars <= 5) {
    info.rating = static_cast<float>(*stars * 20);
  }
  if (const auto seconds = integerField(entry, "duration"); seconds && *seconds > 0) {
    info.duration = static_cast<double>(*seconds);
  }
  if (const auto bitrate = integerField(entry, "bitrate");
      bitrate && *bitrate > 0 && *bitrate < 1'000'000) {
    info.bitrate = static_cast<std::uint32_t>(*bitrate);
  }
  return item;
}

Error wrongFormat(std::string_view origin, std::string_view reason) {
  return Error::generic(std::string(reason), std::string(origin));
}

}  // namespace

Result<MusicLibraryListing> readITunesLibraryList(std::string_view bytes, std::string_view origin) {
  ZK_ASSIGN_OR_RETURN(Json root, parsePropertyList(bytes, origin));
  const Json* tracks = root.is_object() ? jsonMember(root, "Tracks") : nullptr;
  if (tracks == nullptr || !tracks->is_object()) {
    return wrongFormat(origin, "not a music library list: it has no tracks dictionary");
  }
  MusicLibraryListing listing;
  if (const auto folder = jsonString(root, "Music Folder"))
    listing.mediaFolder = pathOfFileURI(*folder);
  for (const auto& [key, track] : tracks->items()) {
    auto item = track.is_object() ? trackOf(track) : std::nullopt;
    if (!item) {
      ++listing.skippedTracks;
      continue;
    }
    listing.tracks.push_back(std::move(*item));
  }
  return listing;
}

Result<MusicLibraryListing> readRhythmboxDatabase(std::string_view bytes, std::string_view origin) {
  XmlReader reader(bytes, std::string(origin));
  MusicLibraryListing listing;
  std::optional<RhythmboxEntry> entry;
  std::string field;
  bool sawRoot = false;
  while (true) {
    ZK_ASSIGN_OR_RETURN(XmlEvent event, reader.next());
    switch (event.kind) {
      case XmlEvent::Kind::endOfDocument:
        return listing;
      case XmlEvent::Kind::startElement:
        if (!sawRoot) {
          if (event.name != "rhythmdb")
            return wrongFormat(origin, "not a Rhythmbox library: its root is not <rhythmdb>");
          sawRoot = true;
        } else if (reader.depth() == 2 && event.name == "entry") {
          entry = RhythmboxEntry{};
          if (const auto* type = event.attribute("type")) entry->type = *type;
        } else if (reader.depth() == 3 && entry) {
          field = event.name;
          entry->fields[field];
        }
        break;
      case XmlEvent::Kind::text:
        if (entry && reader.depth() == 3 && !field.empty()) entry->fields[field] += event.text;
        break;
      case XmlEvent::Kind::endElement:
        if (reader.depth() == 2) field.clear();
        if (reader.depth() == 1 && entry && event.name == "entry") {
          auto item = trackOf(*entry);
          if (item) {
            listing.tracks.push_back(std::move(*item));
          } else {
            ++listing.skippedTracks;
          }
          entry.reset();
        }
        break;
    }
  }
}

}  // namespace zarnik
