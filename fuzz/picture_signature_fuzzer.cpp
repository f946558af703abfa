// The first bytes of a file that claims to be a picture: the signature check decides what the
// picture decoder may see, so it must answer for any bytes, and a size it reads must be the one
// written in those bytes (never past them).
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/picture_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  const auto format = zarnik::pictureFormatOfBytes(bytes);
  const auto signature = zarnik::pictureSignatureOfBytes(bytes);
  (void)format;
  (void)signature;
  return 0;
}
