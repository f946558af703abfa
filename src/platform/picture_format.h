// Which files are compared as pictures: raster photo formats only (JPEG, PNG, GIF, WebP, TIFF,
// BMP, HEIF/HEIC and AVIF). Documents and drawings that a picture library could also render
// (PDF, DjVu, PostScript, SVG, XCF...) are never decoded as pictures: one DjVu page costs
// seconds and hundreds of megabytes, and a page of text is no photo to compare.
//
// Two checks, both cheap: the file's type by its name (before any work is queued for it), and
// the first bytes of its content (before the decoder sees it), so that a document named
// "photo.jpg" is refused too.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/result.h"
#include "platform/type_identifier.h"

namespace zarnik {

enum class PictureFormat { jpeg, png, gif, webp, tiff, bmp, heif };

// What a picture file's first bytes say: its format and, for WebP, its size (0 × 0 otherwise).
struct PictureSignature {
  PictureFormat format = PictureFormat::jpeg;
  int width = 0;
  int height = 0;
};

// True for the MIME types of the raster photo formats above ("image/jpeg", "image/heif"...);
// false for every other type, "image/svg+xml" and "image/vnd.djvu" among them.
[[nodiscard]] bool isRasterPictureType(TypeIdentifier type);

// The raster format the first bytes of a file announce; nothing when they announce none.
[[nodiscard]] std::optional<PictureFormat> pictureFormatOfBytes(std::span<const std::uint8_t> firstBytes);
// The same with the size when the bytes give it.
[[nodiscard]] std::optional<PictureSignature> pictureSignatureOfBytes(std::span<const std::uint8_t> firstBytes);
// The same for a file on disk (its first 64 bytes); an error when it cannot be read.
[[nodiscard]] Result<std::optional<PictureSignature>> pictureSignatureOfFile(const std::string& path);

[[nodiscard]] std::string_view nameOf(PictureFormat format);

}  // namespace zarnik
