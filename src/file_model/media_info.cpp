#include "file_model/media_info.h"

#include "platform/bundle_reader.h"

#include <fmt/format.h>

#include <algorithm>

namespace zarnik {
namespace {

void putOptional(Json& archive, const char* key, const std::optional<std::string>& value) {
  if (value) archive[key] = bytesJson(*value);
}
template <typename T>
void putOptionalNumber(Json& archive, const char* key, const std::optional<T>& value) {
  if (value) archive[key] = *value;
}

std::optional<std::uint32_t> bitrateFrom(const Json& archive) {
  auto bitrate = jsonInt(archive, "bitrate");
  if (!bitrate || *bitrate < 0 || *bitrate > UINT32_MAX) return std::nullopt;
  return static_cast<std::uint32_t>(*bitrate);
}

constexpr const char* kLibraryKinds[] = {"ITunesLibraryInfo", "PhotosLibraryInfo",
                                         "IPhotoLibraryInfo", "ApertureLibraryInfo"};
constexpr const char* kItemTypes[] = {"audio", "video", "other"};

}  // namespace

Json encodeDate(Date date) { return date.time_since_epoch().count(); }

std::optional<Date> decodeDate(const Json& archive, std::string_view key) {
  if (auto nanoseconds = jsonInt(archive, key)) return Date(std::chrono::nanoseconds(*nanoseconds));
  auto seconds = jsonDouble(archive, key);  // written by hand or by another tool
  if (!seconds) return std::nullopt;
  return dateFromSecondsSince1970(*seconds);
}

Json encodeGeoLocation(const GeoLocation& location) {
  Json json{{"latitude", location.latitude}, {"longitude", location.longitude}};
  if (location.altitude) json["altitude"] = *location.altitude;
  return json;
}

std::optional<GeoLocation> decodeGeoLocation(const Json* json) {
  if (json == nullptr) return std::nullopt;
  auto latitude = jsonDouble(*json, "latitude");
  auto longitude = jsonDouble(*json, "longitude");
  if (!latitude || !longitude) return std::nullopt;
  return GeoLocation{*latitude, *longitude, jsonDouble(*json, "altitude")};
}

Json AudioInfo::encode() const {
  Json archive{{"duration", duration}};
  putOptional(archive, "artist", artist);
  putOptional(archive, "album", album);
  putOptional(archive, "title", title);
  putOptionalNumber(archive, "bitrate", bitrate);
  putOptionalNumber(archive, "contentSize", contentSize);
  return archive;
}

Result<AudioInfo> AudioInfo::decode(const Json& archive) {
  auto duration = jsonDouble(archive, "duration");
  if (!duration) return Error::generic("The stored audio information has no duration.");
  AudioInfo info;
  info.duration = *duration;
  info.artist = jsonString(archive, "artist");
  info.album = jsonString(archive, "album");
  info.title = jsonString(archive, "title");
  info.bitrate = bitrateFrom(archive);
  info.contentSize = jsonInt(archive, "contentSize");
  return info;
}

const std::set<std::string>& BundleInfo::iTunesDBFileNames() {
  static const std::set<std::string> kNames = {"Music Library.musiclibrary", "iTunes Library.itl"};
  return kNames;
}

std::optional<BundleInfo> BundleInfo::fromBundle(const std::string& bundlePath) {
  auto plist = readBundlePropertyList(bundlePath);
  if (plist.hasError()) return std::nullopt;
  const BundlePropertyList& facts = plist.value();
  BundleInfo info;
  info.bundleIdentifier = facts.bundleIdentifier;
  info.localizedName = facts.name;
  info.displayVersion = facts.shortVersion;
  if (facts.version) info.arrangeVersion = Version::parse(*facts.version);
  if (!info.arrangeVersion && facts.shortVersion)
    info.arrangeVersion = Version::parse(*facts.shortVersion);
  return info;
}

Json BundleInfo::encode() const {
  Json archive = Json::object();
  putOptional(archive, "bundleIdentifier", bundleIdentifier);
  putOptional(archive, "localizedName", localizedName);
  if (arrangeVersion) archive["arrangeVersion"] = arrangeVersion->string();
  putOptional(archive, "displayVersion", displayVersion);
  return archive;
}

Result<BundleInfo> BundleInfo::decode(const Json& archive) {
  if (!archive.is_object())
    return Error::generic("The stored bundle information is not an object.");
  BundleInfo info;
  info.bundleIdentifier = jsonString(archive, "bundleIdentifier");
  info.localizedName = jsonString(archive, "localizedName");
  if (auto version = jsonString(archive, "arrangeVersion"))
    info.arrangeVersion = Version::parse(*version);
  info.displayVersion = jsonString(archive, "displayVersion");
  return info;
}

std::string CameraInfo::description() const {
  return fmt::format("{} {}{}", manufacturer.value_or(""), model.value_or(""),
                     serial ? fmt::format(" ({})", *serial) : std::string());
}

Json CameraInfo::encode() const {
  Json archive = Json::object();
  putOptional(archive, "manufacturer", manufacturer);
  putOptional(archive, "model", model);
  putOptional(archive, "serial", serial);
  return archive;
}

CameraInfo CameraInfo::decode(const Json& archive) {
  return CameraInfo{jsonString(archive, "manufacturer"), jsonString(archive, "model"),
                    jsonString(archive, "serial")};
}

std::optional<ImageSize> ImageSize::decode(const Json& json) {
  auto width = jsonInt(json, "width");
  auto height = jsonInt(json, "height");
  if (!width || !height || *width < 0 || *height < 0) return std::nullopt;
  return ImageSize{*width, *height};
}

Json ImageInfo::encode() const {
  Json archive{{"size", size.encode()}};
  if (cameraInfo) archive["cameraInfo"] = cameraInfo->encode();
  if (creationDate) archive["creationDate"] = encodeDate(*creationDate);
  putOptionalNumber(archive, "creationMsec", creationMsec);
  putOptional(archive, "softwareName", softwareName);
  if (location) archive["location"] = encodeGeoLocation(*location);
  putOptionalNumber(archive, "iso", iso);
  return archive;
}

Result<ImageInfo> ImageInfo::decode(const Json& archive) {
  const Json* sizeJson = jsonMember(archive, "size");
  auto size = sizeJson ? ImageSize::decode(*sizeJson) : std::nullopt;
  if (!size) return Error::generic("The stored image information has no size.");
  ImageInfo info;
  info.size = *size;
  if (const Json* camera = jsonMember(archive, "cameraInfo"))
    info.cameraInfo = CameraInfo::decode(*camera);
  info.creationDate = decodeDate(archive, "creationDate");
  info.creationMsec = jsonInt(archive, "creationMsec");
  info.softwareName = jsonString(archive, "softwareName");
  info.location = decodeGeoLocation(jsonMember(archive, "location"));
  info.iso = jsonDouble(archive, "iso");
  return info;
}

Json MediaLibraryInfo::encode() const {
  Json archive{{"$class", kLibraryKinds[static_cast<int>(kind)]},
               {"isTestedVersion", isTestedVersion}};
  if (version) archive["version"] = version->string();
  if (kind == MediaLibraryKind::iTunes) archive["isDefault"] = isDefault;
  putOptional(archive, "applicationName", applicationName);
  return archive;
}

Result<MediaLibraryInfo> MediaLibraryInfo::decode(const Json& archive) {
  auto tag = jsonString(archive, "$class");
  MediaLibraryInfo info;
  bool known = false;
  for (int i = 0; i < 4; ++i) {
    if (tag && *tag == kLibraryKinds[i]) {
      info.kind = static_cast<MediaLibraryKind>(i);
      known = true;
    }
  }
  if (!known) return Error::generic("The stored media library information is of an unknown kind.");
  if (auto version = jsonString(archive, "version")) info.version = Version::parse(*version);
  info.isTestedVersion = jsonBool(archive, "isTestedVersion").value_or(false);
  info.isDefault = jsonBool(archive, "isDefault").value_or(false);
  info.applicationName = jsonString(archive, "applicationName");
  return info;
}

Json ITunesItemInfo::encode() const {
  Json archive{{"trackID", trackID},
               {"databaseID", databaseID},
               {"playlistIDs", bytesListJson(playlistIDs)},
               {"type", kItemTypes[static_cast<int>(type)]},
               {"name", bytesJson(name)},
               {"propertiesForReimport", propertiesForReimport}};
  putOptional(archive, "artist", artist);
  putOptional(archive, "album", album);
  putOptionalNumber(archive, "playCount", playCount);
  if (playDate) archive["playDate"] = encodeDate(*playDate);
  putOptionalNumber(archive, "loved", loved);
  putOptionalNumber(archive, "rating", rating);
  putOptionalNumber(archive, "duration", duration);
  putOptionalNumber(archive, "bitrate", bitrate);
  return archive;
}

Result<ITunesItemInfo> ITunesItemInfo::decode(const Json& archive) {
  auto trackID = jsonInt(archive, "trackID");
  auto name = jsonString(archive, "name");
  if (!trackID || !name) return Error::generic("The stored music track information is incomplete.");
  ITunesItemInfo info;
  info.trackID = *trackID;
  info.databaseID = jsonInt(archive, "databaseID").value_or(0);
  if (const Json* ids = jsonMember(archive, "playlistIDs"))
    info.playlistIDs = bytesListFromJson(*ids).value_or(std::vector<std::string>{});
  const auto type = jsonString(archive, "type").value_or("audio");
  for (int i = 0; i < 3; ++i) {
    if (type == kItemTypes[i]) info.type = static_cast<ITunesItemType>(i);
  }
  info.name = *name;
  info.artist = jsonString(archive, "artist");
  info.album = jsonString(archive, "album");
  info.playCount = jsonInt(archive, "playCount");
  info.playDate = decodeDate(archive, "playDate");
  info.loved = jsonBool(archive, "loved");
  if (auto rating = jsonDouble(archive, "rating")) info.rating = static_cast<float>(*rating);
  info.duration = jsonDouble(archive, "duration");
  info.bitrate = bitrateFrom(archive);
  if (const Json* properties = jsonMember(archive, "propertiesForReimport");
      properties && properties->is_object()) {
    info.propertiesForReimport = *properties;
  }
  return info;
}

Json PhotosItemInfo::encode() const {
  Json archive{{"identifier", bytesJson(identifier)},
               {"filename", bytesJson(filename)},
               {"date", encodeDate(date)},
               {"isFavorite", isFavorite},
               {"size", size.encode()},
               {"albums", bytesListJson(albums)}};
  putOptional(archive, "name", name);
  if (location) archive["location"] = encodeGeoLocation(*location);
  if (rating) archive["rating"] = *rating;
  return archive;
}

Result<PhotosItemInfo> PhotosItemInfo::decode(const Json& archive) {
  auto identifier = jsonString(archive, "identifier");
  auto filename = jsonString(archive, "filename");
  auto date = decodeDate(archive, "date");
  if (!identifier || !filename || !date)
    return Error::generic("The stored photo information is incomplete.");
  PhotosItemInfo info;
  info.identifier = *identifier;
  info.filename = *filename;
  info.name = jsonString(archive, "name");
  info.date = *date;
  info.isFavorite = jsonBool(archive, "isFavorite").value_or(false);
  if (const Json* size = jsonMember(archive, "size"))
    info.size = ImageSize::decode(*size).value_or(ImageSize{});
  info.location = decodeGeoLocation(jsonMember(archive, "location"));
  if (const Json* albums = jsonMember(archive, "albums"))
    info.albums = bytesListFromJson(*albums).value_or(std::vector<std::string>{});
  if (const Json* rating = jsonMember(archive, "rating"); rating && rating->is_number_integer()) {
    info.rating = static_cast<int>(std::clamp<std::int64_t>(rating->get<std::int64_t>(), 0, 5));
  }
  return info;
}

}  // namespace zarnik
