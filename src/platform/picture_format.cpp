#include "platform/picture_format.h"

#include <fcntl.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/file_descriptor.h"

namespace zarnik {
namespace {

// Enough for every signature below, the brands of an ISO media "ftyp" box included.
constexpr size_t kSniffedBytes = 64;

bool startsWith(std::span<const std::uint8_t> bytes, std::string_view signature, size_t at = 0) {
  return bytes.size() >= at + signature.size() && std::memcmp(bytes.data() + at, signature.data(), signature.size()) == 0;
}

std::uint32_t bigEndian32(std::span<const std::uint8_t> bytes, size_t at) {
  return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) | (std::uint32_t{bytes[at + 2]} << 8) |
         std::uint32_t{bytes[at + 3]};
}

std::uint32_t littleEndian32(std::span<const std::uint8_t> bytes, size_t at) {
  return std::uint32_t{bytes[at]} | (std::uint32_t{bytes[at + 1]} << 8) | (std::uint32_t{bytes[at + 2]} << 16) |
         (std::uint32_t{bytes[at + 3]} << 24);
}

// "BM" begins many a text; a bitmap's info header that follows has one of a few known sizes.
bool isBitmap(std::span<const std::uint8_t> bytes) {
  if (!startsWith(bytes, "BM") || bytes.size() < 18) return false;
  constexpr std::array<std::uint32_t, 7> kInfoHeaderSizes{12, 40, 52, 56, 64, 108, 124};
  return std::ranges::find(kInfoHeaderSizes, littleEndian32(bytes, 14)) != kInfoHeaderSizes.end();
}

// HEIF, HEIC and AVIF are ISO media files whose "ftyp" box names a picture brand, as the major
// brand or among the compatible ones (an MP4 video names none of them).
bool isHeif(std::span<const std::uint8_t> bytes) {
  if (!startsWith(bytes, "ftyp", 4)) return false;
  const size_t boxEnd = std::min<size_t>(bigEndian32(bytes, 0), bytes.size());
  constexpr std::array<std::string_view, 10> kBrands{"heic", "heix", "hevc", "hevx", "heim",
                                                     "heis", "mif1", "msf1", "avif", "avis"};
  const auto namesPictureBrand = [&](size_t at) {
    return std::ranges::any_of(kBrands, [&](std::string_view brand) { return startsWith(bytes, brand, at); });
  };
  if (namesPictureBrand(8)) return true;
  for (size_t at = 16; at + 4 <= boxEnd; at += 4) {  // past the major brand and its version
    if (namesPictureBrand(at)) return true;
  }
  return false;
}

std::uint32_t littleEndian24(std::span<const std::uint8_t> bytes, size_t at) {
  return std::uint32_t{bytes[at]} | (std::uint32_t{bytes[at + 1]} << 8) | (std::uint32_t{bytes[at + 2]} << 16);
}

// A WebP file's canvas size, from the header of its first chunk: extended ("VP8X"), lossy
// ("VP8 ") or lossless ("VP8L"). 0 × 0 when the bytes are too few or do not fit.
PictureSignature webpSignature(std::span<const std::uint8_t> bytes) {
  PictureSignature signature{PictureFormat::webp};
  if (bytes.size() < 30) return signature;
  if (startsWith(bytes, "VP8X", 12)) {
    signature.width = static_cast<int>(littleEndian24(bytes, 24)) + 1;
    signature.height = static_cast<int>(littleEndian24(bytes, 27)) + 1;
  } else if (startsWith(bytes, "VP8 ", 12) && startsWith(bytes, "\x9D\x01\x2A", 23)) {
    signature.width = static_cast<int>(littleEndian32(bytes, 26) & 0x3FFF);
    signature.height = static_cast<int>((littleEndian32(bytes, 26) >> 16) & 0x3FFF);
  } else if (startsWith(bytes, "VP8L", 12) && bytes[20] == 0x2F) {
    const std::uint32_t sizes = littleEndian32(bytes, 21);
    signature.width = static_cast<int>(sizes & 0x3FFF) + 1;
    signature.height = static_cast<int>((sizes >> 14) & 0x3FFF) + 1;
  }
  return signature;
}

}  // namespace

bool isRasterPictureType(TypeIdentifier type) {
  static const std::array<TypeIdentifier, 14> kTypes{
      TypeIdentifier::named("image/jpeg"),  TypeIdentifier::named("image/pjpeg"),
      TypeIdentifier::named("image/png"),   TypeIdentifier::named("image/gif"),
      TypeIdentifier::named("image/webp"),  TypeIdentifier::named("image/tiff"),
      TypeIdentifier::named("image/bmp"),   TypeIdentifier::named("image/x-bmp"),
      TypeIdentifier::named("image/x-ms-bmp"), TypeIdentifier::named("image/heif"),
      TypeIdentifier::named("image/heic"),  TypeIdentifier::named("image/heif-sequence"),
      TypeIdentifier::named("image/heic-sequence"), TypeIdentifier::named("image/avif")};
  return !type.empty() && std::ranges::find(kTypes, type) != kTypes.end();
}

std::optional<PictureSignature> pictureSignatureOfBytes(std::span<const std::uint8_t> bytes) {
  if (startsWith(bytes, "RIFF") && startsWith(bytes, "WEBP", 8)) return webpSignature(bytes);
  const auto format = pictureFormatOfBytes(bytes);
  if (!format) return std::nullopt;
  return PictureSignature{*format};
}

std::optional<PictureFormat> pictureFormatOfBytes(std::span<const std::uint8_t> bytes) {
  if (startsWith(bytes, "\xFF\xD8\xFF")) return PictureFormat::jpeg;
  if (startsWith(bytes, "\x89PNG\r\n\x1A\n")) return PictureFormat::png;
  if (startsWith(bytes, "GIF87a") || startsWith(bytes, "GIF89a")) return PictureFormat::gif;
  if (startsWith(bytes, "RIFF") && startsWith(bytes, "WEBP", 8)) return PictureFormat::webp;
  // Classic and big TIFF, in either byte order.
  if (startsWith(bytes, std::string_view("II*\0", 4)) || startsWith(bytes, std::string_view("MM\0*", 4)) ||
      startsWith(bytes, std::string_view("II+\0", 4)) || startsWith(bytes, std::string_view("MM\0+", 4))) {
    return PictureFormat::tiff;
  }
  if (isBitmap(bytes)) return PictureFormat::bmp;
  if (isHeif(bytes)) return PictureFormat::heif;
  return std::nullopt;
}

Result<std::optional<PictureSignature>> pictureSignatureOfFile(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK));
  if (!fd.isValid()) return Error::posix(errno, path);
  std::array<std::uint8_t, kSniffedBytes> bytes{};
  const ssize_t got = readAt(fd.get(), bytes.data(), bytes.size(), 0);
  if (got < 0) return Error::posix(errno, path);
  return pictureSignatureOfBytes(std::span(bytes.data(), static_cast<size_t>(got)));
}

std::string_view nameOf(PictureFormat format) {
  switch (format) {
    case PictureFormat::jpeg: return "JPEG";
    case PictureFormat::png: return "PNG";
    case PictureFormat::gif: return "GIF";
    case PictureFormat::webp: return "WebP";
    case PictureFormat::tiff: return "TIFF";
    case PictureFormat::bmp: return "BMP";
    case PictureFormat::heif: return "HEIF";
  }
  return "picture";
}

}  // namespace zarnik
