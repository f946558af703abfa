// Picture decoding with libvips, built as a module of its own (see picture_codec.h).
#include "platform/picture_codec.h"

#include <vips/vips.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>

namespace zarnik {
namespace {

constexpr int kThumbnailSide = 256;

// The loaders of the raster formats the scan compares. Every other loader (PDF, SVG, DjVu through
// ImageMagick, OpenSlide, FITS...) stays blocked, whatever the file says it is. ImageMagick
// stays open for BMP only: its files reach it after their first bytes were found to be a
// bitmap's (see picture_format.h).
constexpr const char* kRasterLoaders[] = {
    "VipsForeignLoadJpeg", "VipsForeignLoadPng",  "VipsForeignLoadNsgif", "VipsForeignLoadWebp",
    "VipsForeignLoadTiff", "VipsForeignLoadHeif", "VipsForeignLoadMagick"};

void startVipsOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    (void)VIPS_INIT("zarnik");
    // Pictures are decoded on several of our threads at once: each decode keeps to its thread,
    // and nothing is kept between pictures that are each read once: no cached operations, no
    // memory and no open files held for them, so that memory stays flat however many pictures.
    vips_concurrency_set(1);
    vips_cache_set_max(0);
    vips_cache_set_max_mem(0);
    vips_cache_set_max_files(0);
    vips_operation_block_set("VipsForeignLoad", TRUE);
    for (const char* loader : kRasterLoaders) vips_operation_block_set(loader, FALSE);
    // A damaged picture makes libvips warn on stderr; the failure, when there is one, is ours to
    // report, in one line with the path.
    g_log_set_handler(
        "VIPS",
        static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE | G_LOG_LEVEL_INFO),
        [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
  });
}

struct Unref {
  void operator()(VipsImage* image) const { g_object_unref(image); }
};
using ImagePtr = std::unique_ptr<VipsImage, Unref>;

// Fails with libvips' first line of reasons.
bool vipsFailure(PictureCodecFailure& failure,
                 const char* description = "The picture cannot be decoded.") {
  std::string text = vips_error_buffer();
  vips_error_clear();
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  if (const auto newline = text.find('\n'); newline != std::string::npos) text.resize(newline);
  failure = {description, text};
  return false;
}

bool fails(PictureCodecFailure& failure, const char* description) {
  failure = {description, {}};
  return false;
}

}  // namespace

namespace {

// libvips shows an EXIF field as "VALUE (SHOWN, TYPE, N components, M bytes)"; a text field
// shows its value twice.
std::optional<std::string> rawExif(VipsImage* image, const char* field) {
  const char* raw = nullptr;
  if (vips_image_get_typeof(image, field) == 0 || vips_image_get_string(image, field, &raw) != 0 ||
      raw == nullptr) {
    vips_error_clear();
    return std::nullopt;
  }
  return std::string(raw);
}

std::optional<std::string> exifText(VipsImage* image, const char* field) {
  const auto raw = rawExif(image, field);
  if (!raw) return std::nullopt;
  const std::string& text = *raw;
  for (size_t open = text.find(" ("); open != std::string::npos; open = text.find(" (", open + 1)) {
    const std::string value = text.substr(0, open);
    if (text.compare(open + 2, value.size() + 2, value + ", ") == 0) {
      return value.empty() ? std::nullopt : std::optional<std::string>(value);
    }
  }
  return std::nullopt;
}

// The numbers a numeric field shows: "51/1 30/1 1234/100 (51, 30, 12.34, Rational, ...)".
std::vector<double> exifNumbers(VipsImage* image, const char* field) {
  std::vector<double> numbers;
  const auto raw = rawExif(image, field);
  if (!raw) return numbers;
  const std::string& text = *raw;
  const size_t open = text.find(" (");
  if (open == std::string::npos) return numbers;
  size_t at = open + 2;
  while (at < text.size()) {
    const size_t end = text.find(", ", at);
    const std::string token =
        text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    char* stop = nullptr;
    const double value = std::strtod(token.c_str(), &stop);
    if (token.empty() || stop == token.c_str() || *stop != '\0' || !std::isfinite(value)) break;
    numbers.push_back(value);
    if (end == std::string::npos) break;
    at = end + 2;
  }
  return numbers;
}

// Degrees from "degrees, minutes, seconds" and the hemisphere letter.
std::optional<double> exifCoordinate(VipsImage* image, const char* field,
                                     const char* referenceField, char negative) {
  const auto parts = exifNumbers(image, field);
  if (parts.empty()) return std::nullopt;
  double degrees =
      parts[0] + (parts.size() > 1 ? parts[1] / 60 : 0) + (parts.size() > 2 ? parts[2] / 3600 : 0);
  const auto reference = exifText(image, referenceField);
  if (reference && !reference->empty() && (*reference)[0] == negative) degrees = -degrees;
  return degrees;
}

PictureFacts factsOf(VipsImage* image) {
  PictureFacts facts;
  facts.make = exifText(image, "exif-ifd0-Make");
  facts.model = exifText(image, "exif-ifd0-Model");
  facts.software = exifText(image, "exif-ifd0-Software");
  facts.serialNumber = exifText(image, "exif-ifd2-BodySerialNumber");
  facts.dateTimeOriginal = exifText(image, "exif-ifd2-DateTimeOriginal");
  facts.subSecTimeOriginal = exifText(image, "exif-ifd2-SubSecTimeOriginal");
  auto iso = exifNumbers(image, "exif-ifd2-ISOSpeedRatings");
  if (iso.empty()) iso = exifNumbers(image, "exif-ifd2-PhotographicSensitivity");
  if (!iso.empty()) facts.iso = iso.front();
  facts.latitude = exifCoordinate(image, "exif-ifd3-GPSLatitude", "exif-ifd3-GPSLatitudeRef", 'S');
  facts.longitude =
      exifCoordinate(image, "exif-ifd3-GPSLongitude", "exif-ifd3-GPSLongitudeRef", 'W');
  if (const auto altitude = exifNumbers(image, "exif-ifd3-GPSAltitude"); !altitude.empty())
    facts.altitude = altitude.front();
  return facts;
}

// Where a picture comes from: its header, its thumbnail when it is large enough for one, and
// for WebP the picture loaded at a scale.
struct PictureSource {
  std::function<VipsImage*()> header;
  std::function<int(VipsImage**)> thumbnail;
  std::function<int(VipsImage**, double)> webpAtScale;
};

// The most pixels a picture of this format may have. JPEG and WebP are shrunk while they are
// read, PNG and TIFF are read a strip at a time: they take the whole budget. libheif and the GIF
// decoder hold the whole picture at 3 to 4 bytes a pixel, ImageMagick (for BMP) at 8.
std::int64_t pixelBudgetOf(const PictureDecodeLimits& limits) {
  switch (limits.signature.format) {
    case PictureFormat::heif:
    case PictureFormat::gif:
      return limits.pixelBudget / 2;
    case PictureFormat::bmp:
      return limits.pixelBudget / 8;
    default:
      return limits.pixelBudget;
  }
}

bool refuseAsTooLarge(int width, int height, std::int64_t budget, PictureCodecFailure& failure) {
  const std::string limit = budget >= 1'000'000 ? std::to_string(budget / 1'000'000) + " megapixels"
                                                : std::to_string(budget) + " pixels";
  failure = {
      "The picture is too large to compare.",
      std::to_string(width) + " × " + std::to_string(height) + " pixels, more than " + limit};
  return false;
}

// The scale that fits a picture in the thumbnail's square; 1 for a picture that is not larger
// than it both ways, which is decoded whole.
double thumbnailScale(int width, int height) {
  if (width <= kThumbnailSide || height <= kThumbnailSide) return 1.0;
  return static_cast<double>(kThumbnailSide) / std::max(width, height);
}

// Sizes from the header, checked against the budget before any pixel is decoded.
bool takeSize(int width, int height, const PictureDecodeLimits& limits, DecodedPicture& picture,
              PictureCodecFailure& failure) {
  picture.sourceWidth = width;
  picture.sourceHeight = height;
  const std::int64_t budget = pixelBudgetOf(limits);
  if (static_cast<std::int64_t>(width) * height > budget)
    return refuseAsTooLarge(width, height, budget, failure);
  return true;
}

// libvips' WebP loader sets aside the whole canvas whenever it reads a header at full scale: 33 MB
// for a 3840 × 2160 wallpaper, once for our header and once more inside vips_thumbnail. Under
// tcmalloc all of it is resident at once (glibc's allocator leaves untouched pages out), so two
// wallpapers decoded at once took 170 MB.
// With the size from the file's first bytes, the picture is loaded at its thumbnail's scale
// straight away, and the canvas is that small.
bool loadWebpScaled(const PictureSource& source, const PictureDecodeLimits& limits,
                    DecodedPicture& picture, PictureCodecFailure& failure, ImagePtr& decoded) {
  const PictureSignature& signature = limits.signature;
  if (!takeSize(signature.width, signature.height, limits, picture, failure)) return false;
  VipsImage* loaded = nullptr;
  if (source.webpAtScale(&loaded, thumbnailScale(signature.width, signature.height)) != 0)
    return vipsFailure(failure);
  decoded.reset(loaded);
  picture.facts = factsOf(decoded.get());
  return true;
}

bool loadThumbnail(const PictureSource& source, const PictureDecodeLimits& limits,
                   DecodedPicture& picture, PictureCodecFailure& failure, ImagePtr& decoded) {
  ImagePtr header(source.header());  // reads the header only
  if (!header) return vipsFailure(failure);
  if (!takeSize(vips_image_get_width(header.get()), vips_image_get_height(header.get()), limits,
                picture, failure)) {
    return false;
  }
  picture.facts = factsOf(header.get());
  if (limits.headerOnly) return true;
  if (thumbnailScale(picture.sourceWidth, picture.sourceHeight) < 1.0) {
    VipsImage* thumbnail = nullptr;
    if (source.thumbnail(&thumbnail) != 0) return vipsFailure(failure);
    decoded.reset(thumbnail);
  } else {
    decoded = std::move(header);
  }
  return true;
}

bool decode(const PictureSource& source, const PictureDecodeLimits& limits, DecodedPicture& picture,
            PictureCodecFailure& failure) {
  startVipsOnce();
  ImagePtr decoded;
  const PictureSignature& signature = limits.signature;
  const bool sizeKnown =
      signature.format == PictureFormat::webp && signature.width > 0 && signature.height > 0;
  const bool loaded = sizeKnown ? loadWebpScaled(source, limits, picture, failure, decoded)
                                : loadThumbnail(source, limits, picture, failure, decoded);
  if (!loaded) return false;
  if (limits.headerOnly) return true;  // no pixel has been read yet
  VipsImage* srgb = nullptr;
  if (vips_colourspace(decoded.get(), &srgb, VIPS_INTERPRETATION_sRGB, nullptr) != 0)
    return vipsFailure(failure);
  ImagePtr colour(srgb);
  VipsImage* bytes = nullptr;
  if (vips_cast_uchar(colour.get(), &bytes, nullptr) != 0) return vipsFailure(failure);
  ImagePtr eight(bytes);
  if (vips_image_get_bands(eight.get()) < 3)
    return fails(failure, "The picture has too few colour bands.");
  VipsImage* three = nullptr;
  if (vips_extract_band(eight.get(), &three, 0, "n", 3, nullptr) != 0) return vipsFailure(failure);
  ImagePtr rgb(three);
  size_t size = 0;
  void* memory = vips_image_write_to_memory(rgb.get(), &size);  // the decode happens here
  if (memory == nullptr) return vipsFailure(failure);
  picture.width = vips_image_get_width(rgb.get());
  picture.height = vips_image_get_height(rgb.get());
  const auto* first = static_cast<const std::uint8_t*>(memory);
  picture.rgb.assign(first, first + size);
  g_free(memory);
  if (picture.rgb.size() !=
      static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height) * 3) {
    return fails(failure, "The picture decoded to an unexpected size.");
  }
  return true;
}

bool decodeFile(const std::string& path, const PictureDecodeLimits& limits, DecodedPicture& picture,
                PictureCodecFailure& failure) {
  return decode(
      {[&] {
         return vips_image_new_from_file(path.c_str(), "access", VIPS_ACCESS_SEQUENTIAL, nullptr);
       },
       [&](VipsImage** out) {
         return vips_thumbnail(path.c_str(), out, kThumbnailSide, "height", kThumbnailSide,
                               "no_rotate", TRUE, "size", VIPS_SIZE_DOWN, nullptr);
       },
       [&](VipsImage** out, double scale) {
         return vips_webpload(path.c_str(), out, "scale", scale, "access", VIPS_ACCESS_SEQUENTIAL,
                              nullptr);
       }},
      limits, picture, failure);
}

bool decodeBuffer(const void* data, size_t size, const PictureDecodeLimits& limits,
                  DecodedPicture& picture, PictureCodecFailure& failure) {
  return decode({[&] {
                   return vips_image_new_from_buffer(data, size, "", "access",
                                                     VIPS_ACCESS_SEQUENTIAL, nullptr);
                 },
                 [&](VipsImage** out) {
                   return vips_thumbnail_buffer(const_cast<void*>(data), size, out, kThumbnailSide,
                                                "height", kThumbnailSide, "no_rotate", TRUE, "size",
                                                VIPS_SIZE_DOWN, nullptr);
                 },
                 [&](VipsImage** out, double scale) {
                   return vips_webpload_buffer(const_cast<void*>(data), size, out, "scale", scale,
                                               "access", VIPS_ACCESS_SEQUENTIAL, nullptr);
                 }},
                limits, picture, failure);
}

bool write(const std::string& path, const std::vector<std::uint8_t>& rgb, int width, int height,
           int quality, const std::map<std::string, std::string>& exif,
           PictureCodecFailure& failure) {
  startVipsOnce();
  ImagePtr image(
      vips_image_new_from_memory_copy(rgb.data(), rgb.size(), width, height, 3, VIPS_FORMAT_UCHAR));
  if (!image) return vipsFailure(failure, "The picture cannot be written.");
  for (const auto& [field, value] : exif)
    vips_image_set_string(image.get(), field.c_str(), value.c_str());
  const bool isJpeg = path.ends_with(".jpg") || path.ends_with(".jpeg");
  const int failed =
      isJpeg ? vips_image_write_to_file(image.get(), path.c_str(), "Q", quality, nullptr)
             : vips_image_write_to_file(image.get(), path.c_str(), nullptr);
  if (failed != 0) return vipsFailure(failure, "The picture cannot be written.");
  return true;
}

}  // namespace
}  // namespace zarnik

extern "C" const zarnik::PictureCodec* zarnik_picture_codec() {
  static const zarnik::PictureCodec codec{zarnik::decodeFile, zarnik::decodeBuffer, zarnik::write,
                                          VIPS_VERSION};
  return &codec;
}
