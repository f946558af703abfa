#include "platform/image_decoding.h"

#include <vips/vips.h>

#include <functional>
#include <memory>
#include <mutex>

namespace zarnik {
namespace {

constexpr int kThumbnailSide = 256;

void startVipsOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    (void)VIPS_INIT("zarnik");
    // Pictures are decoded on several of our threads at once: each decode keeps to its thread,
    // and nothing is cached between pictures that are each read once.
    vips_concurrency_set(1);
    vips_cache_set_max(0);
  });
}

struct Unref {
  void operator()(VipsImage* image) const { g_object_unref(image); }
};
using ImagePtr = std::unique_ptr<VipsImage, Unref>;

Error vipsError(const std::string& path) {
  std::string text = vips_error_buffer();
  vips_error_clear();
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  if (const auto newline = text.find('\n'); newline != std::string::npos) text.resize(newline);
  return Error::generic("The picture cannot be decoded.", path).withUnderlying(text);
}

}  // namespace

Result<std::pair<int, int>> pictureSize(const std::string& path) {
  startVipsOnce();
  ImagePtr header(vips_image_new_from_file(path.c_str(), "access", VIPS_ACCESS_SEQUENTIAL, nullptr));
  if (!header) return vipsError(path);
  return std::make_pair(vips_image_get_width(header.get()), vips_image_get_height(header.get()));
}

namespace {

// Where a picture comes from: its header, and its thumbnail when it is large enough for one.
struct PictureSource {
  std::string name;  // for messages
  std::function<VipsImage*()> header;
  std::function<int(VipsImage**)> thumbnail;
};

// Beyond this a picture is not decoded at all: no photograph is this large, a forged header is.
constexpr double kMostPixels = 1024.0 * 1024.0 * 1024.0;

Result<DecodedPicture> decode(const PictureSource& source) {
  startVipsOnce();
  ImagePtr header(source.header());
  if (!header) return vipsError(source.name);
  DecodedPicture picture;
  picture.sourceWidth = vips_image_get_width(header.get());
  picture.sourceHeight = vips_image_get_height(header.get());
  if (static_cast<double>(picture.sourceWidth) * picture.sourceHeight > kMostPixels) {
    return Error::generic("The picture is too large to decode.", source.name);
  }
  ImagePtr decoded;
  if (picture.sourceWidth > kThumbnailSide && picture.sourceHeight > kThumbnailSide) {
    VipsImage* thumbnail = nullptr;
    if (source.thumbnail(&thumbnail) != 0) return vipsError(source.name);
    decoded.reset(thumbnail);
  } else {
    decoded = std::move(header);
  }
  VipsImage* srgb = nullptr;
  if (vips_colourspace(decoded.get(), &srgb, VIPS_INTERPRETATION_sRGB, nullptr) != 0) return vipsError(source.name);
  ImagePtr colour(srgb);
  VipsImage* bytes = nullptr;
  if (vips_cast_uchar(colour.get(), &bytes, nullptr) != 0) return vipsError(source.name);
  ImagePtr eight(bytes);
  if (vips_image_get_bands(eight.get()) < 3) return Error::generic("The picture has too few colour bands.", source.name);
  VipsImage* three = nullptr;
  if (vips_extract_band(eight.get(), &three, 0, "n", 3, nullptr) != 0) return vipsError(source.name);
  ImagePtr rgb(three);
  size_t size = 0;
  void* memory = vips_image_write_to_memory(rgb.get(), &size);  // the decode happens here
  if (memory == nullptr) return vipsError(source.name);
  picture.width = vips_image_get_width(rgb.get());
  picture.height = vips_image_get_height(rgb.get());
  const auto* first = static_cast<const std::uint8_t*>(memory);
  picture.rgb.assign(first, first + size);
  g_free(memory);
  if (picture.rgb.size() != static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height) * 3) {
    return Error::generic("The picture decoded to an unexpected size.", source.name);
  }
  return picture;
}

}  // namespace

Result<DecodedPicture> decodePictureForHashing(const std::string& path) {
  return decode({path,
                 [&] { return vips_image_new_from_file(path.c_str(), "access", VIPS_ACCESS_SEQUENTIAL, nullptr); },
                 [&](VipsImage** out) {
                   return vips_thumbnail(path.c_str(), out, kThumbnailSide, "height", kThumbnailSide, "no_rotate", TRUE,
                                         "size", VIPS_SIZE_DOWN, nullptr);
                 }});
}

Result<DecodedPicture> decodePictureFromBuffer(const void* data, size_t size) {
  return decode({"(picture in memory)",
                 [&] { return vips_image_new_from_buffer(data, size, "", "access", VIPS_ACCESS_SEQUENTIAL, nullptr); },
                 [&](VipsImage** out) {
                   return vips_thumbnail_buffer(const_cast<void*>(data), size, out, kThumbnailSide, "height",
                                                kThumbnailSide, "no_rotate", TRUE, "size", VIPS_SIZE_DOWN, nullptr);
                 }});
}

Result<void> writePicture(const std::string& path, const std::vector<std::uint8_t>& rgb, int width, int height,
                          int quality) {
  startVipsOnce();
  ImagePtr image(vips_image_new_from_memory_copy(rgb.data(), rgb.size(), width, height, 3, VIPS_FORMAT_UCHAR));
  if (!image) return vipsError(path);
  const bool isJpeg = path.ends_with(".jpg") || path.ends_with(".jpeg");
  const int failed = isJpeg ? vips_image_write_to_file(image.get(), path.c_str(), "Q", quality, nullptr)
                            : vips_image_write_to_file(image.get(), path.c_str(), nullptr);
  if (failed != 0) return vipsError(path);
  return success();
}

}  // namespace zarnik
