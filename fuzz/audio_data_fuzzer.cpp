// Audio files as they come: tags and containers of any shape must give a range inside the file
// or nothing, never a crash or a read outside the bytes given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/audio_data_locator.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const auto length = static_cast<std::int64_t>(size);
  const zarnik::ByteReader read = [&](std::int64_t offset, void* buffer, std::int64_t count) -> std::int64_t {
    if (offset < 0 || offset > length || count < 0) std::abort();  // the locator never asks for that
    const std::int64_t available = std::min(count, length - offset);
    std::memcpy(buffer, data + offset, static_cast<size_t>(available));
    return available;
  };
  if (auto range = zarnik::locateAudioData(read, length)) {
    if (range->offset < 0 || range->length <= 0 || range->offset + range->length > length) std::abort();
  }
  return 0;
}
