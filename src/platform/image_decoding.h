// Decoding pictures for perceptual hashing, with libvips: raster photo formats only (JPEG, PNG,
// GIF, WebP, TIFF, BMP, HEIF/HEIC and AVIF where libheif reads it, see picture_format.h); a file
// whose first bytes announce anything else is refused before libvips sees it. A picture larger
// than 256 pixels both ways is decoded as a thumbnail that fits 256 × 256 (libvips then decodes
// JPEG and WebP at a reduced scale, which is most of the speed and bounds the memory); a smaller
// one is decoded whole. A picture whose header gives more pixels than the budget is refused
// unread. Pixels come as 8-bit sRGB, three bytes each; an embedded orientation is not applied, so
// that the picture is hashed as stored.
#pragma once

#include "base/result.h"
#include "platform/picture_format.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zarnik {

// What a picture's EXIF block says, as written there (dates as "YYYY:MM:DD HH:MM:SS").
struct PictureFacts {
  std::optional<std::string> make;
  std::optional<std::string> model;
  std::optional<std::string> serialNumber;
  std::optional<std::string> software;
  std::optional<std::string> dateTimeOriginal;
  std::optional<std::string> subSecTimeOriginal;
  std::optional<double> iso;
  std::optional<double> latitude;   // degrees, south negative
  std::optional<double> longitude;  // degrees, west negative
  std::optional<double> altitude;   // metres
};

struct DecodedPicture {
  int sourceWidth = 0;  // the picture's own size
  int sourceHeight = 0;
  int width = 0;  // the decoded pixels' size
  int height = 0;
  std::vector<std::uint8_t> rgb;
  PictureFacts facts;
};

// The most pixels a picture may have to be decoded: a 108-megapixel phone photo passes, a forged
// header asking for gigabytes does not. Formats that are decoded whole rather than shrunk or
// streamed while read get less of it (see vips_picture_codec.cpp).
inline constexpr std::int64_t kPicturePixelBudget = 120'000'000;

// Errors: not a raster picture, more pixels than `pixelBudget`, unreadable or damaged.
[[nodiscard]] Result<DecodedPicture> decodePictureForHashing(
    const std::string& path, std::int64_t pixelBudget = kPicturePixelBudget);
// The picture's size and EXIF facts from its header alone: no pixels, `width` and `height` 0.
[[nodiscard]] Result<DecodedPicture> readPictureHeader(
    const std::string& path, std::int64_t pixelBudget = kPicturePixelBudget);
// The same as decodePictureForHashing from a picture file's bytes.
[[nodiscard]] Result<DecodedPicture> decodePictureFromBuffer(
    const void* data, size_t size, std::int64_t pixelBudget = kPicturePixelBudget);

// The picture module, loaded if it was not yet: where it lies and the libvips version it was built
// with. An error saying why when pictures cannot be decoded here.
struct PictureModuleFacts {
  std::string path;
  std::string libvipsVersion;
};
[[nodiscard]] Result<PictureModuleFacts> pictureModuleFacts();

// Writes an 8-bit RGB buffer as a picture file whose format follows the name's extension (for
// tests and benchmarks that make their own pictures).
// `exif` fields are named as libvips names them ("exif-ifd0-Make", "exif-ifd2-DateTimeOriginal").
Result<void> writePicture(const std::string& path, const std::vector<std::uint8_t>& rgb, int width,
                          int height, int quality = 90,
                          const std::map<std::string, std::string>& exif = {});

}  // namespace zarnik
