#include "platform/picture_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/image_decoding.h"
#include "platform/mime_database.h"
#include "support/pictures.h"
#include "support/test_dir.h"

namespace zarnik {
namespace {

using testing::TestDir;

std::string bytes(std::string_view text) { return std::string(text); }

// The first bytes of documents and drawings that libvips (through poppler, librsvg or
// ImageMagick) would render as pictures.
const std::pair<const char*, std::string> kNotPictures[] = {
    {"DjVu page", bytes(std::string_view("AT&TFORM\0\0\x10\0DJVUINFO\0\0\0\x0A", 24))},
    {"PDF", "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n1 0 obj\n<< /Type /Catalog >>\nendobj\n"},
    {"SVG", "<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"4000\" height=\"4000\"/>"},
    {"PostScript", "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 4000 4000\n"},
    {"GIMP XCF", bytes(std::string_view("gimp xcf v011\0\0\0\x10\0\0\0\x10", 21))},
    {"MP4 video", bytes(std::string_view("\0\0\0\x18" "ftypisom\0\0\x02\0isommp41", 24))},
    {"text beginning with BM", "BMW service record, 2019\n"},
};

TEST(PictureFormat, DocumentsAndDrawingsAreNeverOfferedToThePictureDecoderWhateverTheirName) {
  TestDir dir;
  for (const auto& [kind, content] : kNotPictures) {
    // Named as a photo, so that only the content can tell.
    const std::string path = dir.file(std::string(kind) + ".jpg", content);
    const auto signature = pictureSignatureOfFile(path);
    ASSERT_TRUE(signature.hasValue()) << kind;
    EXPECT_FALSE(signature.value().has_value()) << kind;
    const auto decoded = decodePictureForHashing(path);
    ASSERT_TRUE(decoded.hasError()) << kind;
    EXPECT_EQ(decoded.error().description, "The file is not a picture in a format that is compared.") << kind;
    EXPECT_EQ(decoded.error().path, path);
  }
}

TEST(PictureFormat, RasterPicturesAreKnownByTheirFirstBytes) {
  TestDir dir;
  const auto rgb = testing::madeUpPicture(64, 48);
  ASSERT_TRUE(writePicture(dir / "a.jpg", rgb, 64, 48).hasValue());
  ASSERT_TRUE(writePicture(dir / "a.png", rgb, 64, 48).hasValue());
  ASSERT_TRUE(writePicture(dir / "a.webp", rgb, 64, 48).hasValue());
  ASSERT_TRUE(writePicture(dir / "a.tif", rgb, 64, 48).hasValue());
  ASSERT_TRUE(writePicture(dir / "a.gif", rgb, 64, 48).hasValue());
  // Written pictures carry their format in their content, not in their name.
  const std::pair<std::string, PictureFormat> written[] = {{"a.jpg", PictureFormat::jpeg},
                                                           {"a.png", PictureFormat::png},
                                                           {"a.webp", PictureFormat::webp},
                                                           {"a.tif", PictureFormat::tiff},
                                                           {"a.gif", PictureFormat::gif}};
  for (const auto& [name, expected] : written) {
    const auto signature = pictureSignatureOfFile(dir / name);
    ASSERT_TRUE(signature.hasValue() && signature.value().has_value()) << name;
    EXPECT_EQ(signature.value()->format, expected) << name;
  }
  // WebP tells its size in its first bytes: it is loaded at the thumbnail's scale at once.
  const auto webp = pictureSignatureOfFile(dir / "a.webp");
  EXPECT_EQ(webp.value()->width, 64);
  EXPECT_EQ(webp.value()->height, 48);
  const auto heic = std::string_view("\0\0\0\x1C" "ftypheic\0\0\0\0mif1heicmiaf", 28);
  const auto avif = std::string_view("\0\0\0\x20" "ftypmif1\0\0\0\0avifmif1miafMA1B", 32);
  const auto bmp = std::string_view("BM\x36\x10\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0", 18);
  for (const auto& [content, expected] : {std::pair{heic, PictureFormat::heif}, std::pair{avif, PictureFormat::heif},
                                          std::pair{bmp, PictureFormat::bmp}}) {
    const auto format =
        pictureFormatOfBytes(std::span(reinterpret_cast<const std::uint8_t*>(content.data()), content.size()));
    ASSERT_TRUE(format.has_value()) << nameOf(expected);
    EXPECT_EQ(*format, expected);
  }
}

TEST(PictureFormat, OnlyRasterPictureTypesAreComparedAsPictures) {
  const MimeDatabase& types = MimeDatabase::shared();
  for (const char* name : {"a.jpg", "a.JPEG", "a.png", "a.gif", "a.webp", "a.tiff", "a.bmp", "a.heic", "a.avif"}) {
    EXPECT_TRUE(isRasterPictureType(types.typeForFileName(name))) << name;
  }
  for (const char* name : {"a.djvu", "a.pdf", "a.svg", "a.eps", "a.ps", "a.xcf", "a.txt", "a"}) {
    EXPECT_FALSE(isRasterPictureType(types.typeForFileName(name))) << name;
  }
}

TEST(PictureDecoding, APictureOverThePixelBudgetIsRefusedWithItsSizeRatherThanDecoded) {
  TestDir dir;
  const auto rgb = testing::madeUpPicture(640, 480);
  ASSERT_TRUE(writePicture(dir / "photo.png", rgb, 640, 480).hasValue());
  ASSERT_TRUE(decodePictureForHashing(dir / "photo.png", 640 * 480).hasValue());
  const auto refused = decodePictureForHashing(dir / "photo.png", 640 * 480 - 1);
  ASSERT_TRUE(refused.hasError());
  EXPECT_EQ(refused.error().description, "The picture is too large to compare.");
  EXPECT_NE(refused.error().underlying.find("640 × 480 pixels"), std::string::npos) << refused.error().underlying;
}

TEST(PictureDecoding, TheHeaderAloneGivesTheSizeAndNoPixels) {
  TestDir dir;
  const auto rgb = testing::madeUpPicture(640, 480);
  for (const char* name : {"photo.jpg", "photo.webp"}) {
    ASSERT_TRUE(writePicture(dir / name, rgb, 640, 480).hasValue());
    const auto header = readPictureHeader(dir / name);
    ASSERT_TRUE(header.hasValue()) << name;
    EXPECT_EQ(header.value().sourceWidth, 640) << name;
    EXPECT_EQ(header.value().sourceHeight, 480) << name;
    EXPECT_TRUE(header.value().rgb.empty()) << name;
    const auto decoded = decodePictureForHashing(dir / name);
    ASSERT_TRUE(decoded.hasValue()) << name;
    EXPECT_EQ(decoded.value().width, 256) << name;  // a thumbnail, not the whole picture
    EXPECT_FALSE(decoded.value().rgb.empty()) << name;
  }
}

// A PNG chunk: length, type, data and the CRC-32 of type and data.
std::string pngChunk(std::string_view type, std::string_view data) {
  std::string chunk;
  const auto bigEndian = [&](std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) chunk.push_back(static_cast<char>((value >> shift) & 0xFF));
  };
  bigEndian(static_cast<std::uint32_t>(data.size()));
  const std::string covered = std::string(type) + std::string(data);
  std::uint32_t crc = 0xFFFFFFFF;
  for (const char c : covered) {
    crc ^= static_cast<std::uint8_t>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
  }
  chunk += covered;
  bigEndian(~crc);
  return chunk;
}

TEST(PictureDecoding, AHeaderAskingForGigapixelsIsRefusedUnderTheDefaultBudget) {
  TestDir dir;
  // 40,000 × 40,000 pixels announced, a few bytes of pixels given: decoding it would take
  // gigabytes before finding out.
  const std::string header = bytes(std::string_view("\0\0\x9C\x40\0\0\x9C\x40\x08\x02\0\0\0", 13));
  const std::string png = "\x89PNG\r\n\x1A\n" + pngChunk("IHDR", header) +
                          pngChunk("IDAT", std::string_view("\x78\x9C\x03\0\0\0\0\x01", 8)) + pngChunk("IEND", "");
  const std::string path = dir.file("forged.png", png);
  const auto refused = decodePictureForHashing(path);
  ASSERT_TRUE(refused.hasError());
  EXPECT_EQ(refused.error().description, "The picture is too large to compare.") << refused.error().oneLine();
  EXPECT_NE(refused.error().underlying.find("40000 × 40000 pixels"), std::string::npos);
}

}  // namespace
}  // namespace zarnik
