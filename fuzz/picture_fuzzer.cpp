// Picture files as they come: the header, the thumbnail and the perceptual hash must cope with
// anything, failing with an error rather than crashing.
#include <cstddef>
#include <cstdint>

#include "matching/perceptual_image_hash.h"
#include "platform/image_decoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  auto picture = zarnik::decodePictureFromBuffer(data, size);
  if (picture.hasValue()) {
    const auto& decoded = picture.value();
    (void)zarnik::perceptualHashes(
        zarnik::RasterPicture{decoded.rgb.data(), decoded.width, decoded.height, 3, static_cast<size_t>(decoded.width) * 3});
  }
  return 0;
}
