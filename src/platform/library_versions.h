// The versions of the libraries linked into the program, for `zarnik --version` and bug reports.
// libvips lives in the picture module and is reported by it (image_decoding.h).
#pragma once

#include <string>
#include <vector>

namespace zarnik {

struct LibraryVersion {
  std::string name;
  std::string builtWith;  // from the headers the program was compiled against
  std::string running;    // from the library loaded now; empty when the library cannot tell
};

// SQLite, OpenSSL and TagLib, in that order.
[[nodiscard]] std::vector<LibraryVersion> linkedLibraryVersions();

}  // namespace zarnik
