// A music library's XML list comes from another computer: any bytes. Reading must never crash,
// and every track it gives must name an absolute path without a NUL byte.
#include "enumeration/music_library_files.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto listing = zarnik::readITunesLibraryList(bytes, "fuzz");
  if (listing.hasError()) return 0;
  for (const auto& track : listing.value().tracks) {
    if (track.path.empty() || track.path.front() != '/' ||
        track.path.find('\0') != std::string::npos)
      std::abort();
  }
  return 0;
}
