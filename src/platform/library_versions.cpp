#include "platform/library_versions.h"

#include <openssl/crypto.h>
#include <openssl/opensslv.h>
#include <sqlite3.h>
#include <taglib/taglib.h>

#include <string>

namespace zarnik {

std::vector<LibraryVersion> linkedLibraryVersions() {
  const std::string taglib = std::to_string(TAGLIB_MAJOR_VERSION) + "." +
                             std::to_string(TAGLIB_MINOR_VERSION) + "." +
                             std::to_string(TAGLIB_PATCH_VERSION);
  return {
      {"SQLite", SQLITE_VERSION, sqlite3_libversion()},
      {"OpenSSL", OPENSSL_VERSION_STR, OpenSSL_version(OPENSSL_VERSION_STRING)},
      // TagLib 1.13 has no call that reports the version loaded.
      {"TagLib", taglib, {}},
  };
}

}  // namespace zarnik
