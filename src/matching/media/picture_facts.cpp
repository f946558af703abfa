#include "matching/media/picture_facts.h"

#include "base/path_components.h"
#include "foundation/disk_access_manager.h"
#include "foundation/logger.h"
#include "matching/perceptual_image_hash.h"
#include "platform/image_decoding.h"
#include "platform/picture_format.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace zarnik {
namespace {

constexpr const char* kAuthor = "PictureFacts";

// "YYYY:MM:DD HH:MM:SS", the time as the camera's clock showed it (taken as UTC: EXIF has no zone).
std::optional<Date> exifDate(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  std::tm fields{};
  if (std::sscanf(text->c_str(), "%d:%d:%d %d:%d:%d", &fields.tm_year, &fields.tm_mon,
                  &fields.tm_mday, &fields.tm_hour, &fields.tm_min, &fields.tm_sec) != 6 ||
      fields.tm_year < 1800) {
    return std::nullopt;
  }
  fields.tm_year -= 1900;
  fields.tm_mon -= 1;
  return Date(std::chrono::seconds(::timegm(&fields)));
}

// ".25" is 250 milliseconds: the digits are a fraction of a second.
std::optional<std::int64_t> exifMilliseconds(const std::optional<std::string>& digits) {
  if (!digits || digits->empty() || digits->find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  std::string three = digits->substr(0, 3);
  three.resize(3, '0');
  return std::stoll(three);
}

ImageInfo imageInfoOf(const DecodedPicture& picture) {
  ImageInfo info;
  info.size = ImageSize{picture.sourceWidth, picture.sourceHeight};
  const PictureFacts& facts = picture.facts;
  CameraInfo camera{facts.make, facts.model, facts.serialNumber};
  if (camera.isValid()) info.cameraInfo = camera;
  info.creationDate = exifDate(facts.dateTimeOriginal);
  if (info.creationDate) info.creationMsec = exifMilliseconds(facts.subSecTimeOriginal);
  info.softwareName = facts.software;
  info.iso = facts.iso;
  if (facts.latitude && facts.longitude)
    info.location = GeoLocation{*facts.latitude, *facts.longitude, facts.altitude};
  return info;
}

}  // namespace

ImageFacts readPictureFacts(const MatchingNode& node, bool wantsHashes, QualityOfService priority) {
  ImageFacts facts;
  if (!isRasterPictureType(node.attributes().UTIType)) return facts;
  const std::string path = node.path();
  Result<DecodedPicture> decoded = Error::generic("Cannot be read now.", path);
  if (auto session =
          DiskAccessManager::shared().beginAccessingURL(path, "imageInfo(forNode:)", priority)) {
    decoded = wantsHashes ? decodePictureForHashing(path) : readPictureHeader(path);
  }
  if (decoded.hasError()) {
    LogContext context = LogContext::at(path);
    context.underlyingError = decoded.error().underlying;
    Logger::shared().log(kAuthor, "imageInfo(forNode:)", decoded.error().description, context);
    return facts;
  }
  const DecodedPicture& picture = decoded.value();
  facts.info = imageInfoOf(picture);
  if (!wantsHashes) return facts;
  const RasterPicture raster{picture.rgb.data(), picture.width, picture.height, 3,
                             static_cast<size_t>(picture.width) * 3};
  if (auto words = perceptualHashes(raster)) facts.hashes.assign(words->begin(), words->end());
  return facts;
}

bool isComparedPicture(const MatchingNode& node, const MatchingSettings& settings) {
  if (!settings.kinds.similarImages || node.type() != NodeType::image) return false;
  const NodeAttributes& attributes = node.attributes();
  if (!isRasterPictureType(attributes.UTIType)) return false;
  if (attributes.vnodeType != VNodeType::regular || attributes.exactSize < 1) return false;
  const std::string extension = asciiLowercased(node.pathExtension());
  return std::find(settings.excludedImageExtensions.begin(), settings.excludedImageExtensions.end(),
                   extension) == settings.excludedImageExtensions.end();
}

}  // namespace zarnik
