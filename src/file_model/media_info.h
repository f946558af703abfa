// Information records of a node's content: audio tags, bundle facts, image facts, media
// libraries and their items. All are plain values archived as JSON keyed by field name.
#pragma once

#include "base/date.h"
#include "base/json.h"
#include "base/result.h"
#include "file_model/version.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace zarnik {

struct AudioInfo {
  double duration = 0;  // seconds
  std::optional<std::string> artist;
  std::optional<std::string> album;
  std::optional<std::string> title;
  std::optional<std::uint32_t> bitrate;
  std::optional<std::int64_t> contentSize;  // bytes of the audio payload

  [[nodiscard]] Json encode() const;
  static Result<AudioInfo> decode(const Json& archive);
  friend bool operator==(const AudioInfo&, const AudioInfo&) = default;
};

struct BundleInfo {
  std::optional<std::string> bundleIdentifier;
  std::optional<std::string> localizedName;
  std::optional<Version> arrangeVersion;
  std::optional<std::string> displayVersion;

  // File names of music-library databases.
  static const std::set<std::string>& iTunesDBFileNames();
  // Reads the bundle's Info.plist; nothing when it has none or it cannot be read.
  static std::optional<BundleInfo> fromBundle(const std::string& bundlePath);

  [[nodiscard]] Json encode() const;
  static Result<BundleInfo> decode(const Json& archive);
  friend bool operator==(const BundleInfo&, const BundleInfo&) = default;
};

struct CameraInfo {
  std::optional<std::string> manufacturer;
  std::optional<std::string> model;
  std::optional<std::string> serial;

  [[nodiscard]] bool isValid() const { return manufacturer.has_value() || model.has_value(); }
  [[nodiscard]] std::string description() const;
  [[nodiscard]] Json encode() const;
  static CameraInfo decode(const Json& archive);
  friend bool operator==(const CameraInfo&, const CameraInfo&) = default;
};

struct GeoLocation {
  double latitude = 0;
  double longitude = 0;
  std::optional<double> altitude;
  friend bool operator==(const GeoLocation&, const GeoLocation&) = default;
};

struct ImageSize {
  std::int64_t width = 0;
  std::int64_t height = 0;

  [[nodiscard]] Json encode() const { return Json{{"width", width}, {"height", height}}; }
  static std::optional<ImageSize> decode(const Json& json);
  friend bool operator==(const ImageSize&, const ImageSize&) = default;
};

struct ImageInfo {
  std::optional<CameraInfo> cameraInfo;
  std::optional<Date> creationDate;
  std::optional<std::int64_t> creationMsec;
  std::optional<std::string> softwareName;
  std::optional<GeoLocation> location;
  ImageSize size;
  std::optional<double> iso;

  [[nodiscard]] Json encode() const;
  static Result<ImageInfo> decode(const Json& archive);
  friend bool operator==(const ImageInfo&, const ImageInfo&) = default;
};

enum class MediaLibraryKind { iTunes, photos, iPhoto, aperture };

struct MediaLibraryInfo {
  MediaLibraryKind kind = MediaLibraryKind::iTunes;
  std::optional<Version> version;
  bool isTestedVersion = false;
  bool isDefault = false;  // music libraries: the library the music application uses
  // The program that keeps the library ("Rhythmbox", "Shotwell"); nothing for the formats of
  // the music and photo applications that only libraries copied from another computer carry.
  std::optional<std::string> applicationName;

  [[nodiscard]] Json encode() const;
  static Result<MediaLibraryInfo> decode(const Json& archive);
  friend bool operator==(const MediaLibraryInfo&, const MediaLibraryInfo&) = default;
};

enum class ITunesItemType { audio, video, other };

struct ITunesItemInfo {
  std::int64_t trackID = 0;
  std::int64_t databaseID = 0;
  std::vector<std::string> playlistIDs;
  ITunesItemType type = ITunesItemType::audio;
  std::string name;
  std::optional<std::string> artist;
  std::optional<std::string> album;
  std::optional<std::int64_t> playCount;
  std::optional<Date> playDate;
  std::optional<bool> loved;
  std::optional<float> rating;
  std::optional<double> duration;
  std::optional<std::uint32_t> bitrate;
  Json propertiesForReimport = Json::object();

  [[nodiscard]] Json encode() const;
  static Result<ITunesItemInfo> decode(const Json& archive);
  friend bool operator==(const ITunesItemInfo&, const ITunesItemInfo&) = default;
};

struct PhotosItemInfo {
  std::string identifier;
  std::string filename;
  std::optional<std::string> name;
  Date date;
  bool isFavorite = false;
  ImageSize size;
  std::optional<GeoLocation> location;
  std::vector<std::string> albums;
  std::optional<int> rating;  // stars, 0 to 5, where the library keeps them

  [[nodiscard]] Json encode() const;
  static Result<PhotosItemInfo> decode(const Json& archive);
  friend bool operator==(const PhotosItemInfo&, const PhotosItemInfo&) = default;
};

// Shared helpers of the archivers. Dates are archived as integer nanoseconds since 1970 so that
// a stored modification date compares equal to the file's own; seconds are accepted on reading.
[[nodiscard]] Json encodeDate(Date date);
[[nodiscard]] std::optional<Date> decodeDate(const Json& archive, std::string_view key);
[[nodiscard]] Json encodeGeoLocation(const GeoLocation& location);
[[nodiscard]] std::optional<GeoLocation> decodeGeoLocation(const Json* json);

}  // namespace zarnik
