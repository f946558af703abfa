// A photo library's database is another program's file on disk: any bytes. Reading it as a
// Shotwell database and as a Photos library database must never crash; every Shotwell picture
// names an absolute path and every Photos library picture a file below the library's "Masters"
// folder, none of them cut short by a NUL byte.
#include "enumeration/photo_library_databases.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

bool isWhole(const std::string& path) { return path.find('\0') == std::string::npos; }

bool leavesMasters(const std::string& path) {
  return !path.starts_with("/library/Masters/") || path.find("/../") != std::string::npos ||
         path.ends_with("/..");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto database = zarnik::SqliteDatabase::openFromBytes(bytes);
  if (database.hasError()) return 0;
  if (auto shotwell = zarnik::readShotwellDatabase(*database.value()); shotwell.hasValue()) {
    for (const auto& picture : shotwell.value().pictures) {
      if (!picture.masterPath || !picture.masterPath->starts_with('/') ||
          !isWhole(*picture.masterPath))
        std::abort();
    }
  }
  auto photos = zarnik::readPhotosLibraryDatabase(*database.value(), "/library");
  if (photos.hasValue()) {
    for (const auto& picture : photos.value().pictures) {
      if (!picture.masterPath || leavesMasters(*picture.masterPath) ||
          !isWhole(*picture.masterPath))
        std::abort();
    }
  }
  return 0;
}
