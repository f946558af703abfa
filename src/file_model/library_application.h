// The program that keeps a media library, named where a person reads about the library's items.
#pragma once

#include "file_model/base_node.h"

#include <memory>
#include <optional>
#include <string>

namespace zarnik {

// "Rhythmbox", "Shotwell"; nothing when the library or its program is not known.
[[nodiscard]] inline std::optional<std::string> libraryApplicationName(
    const std::shared_ptr<const ZKDirectoryNode>& library) {
  if (!library || !library->mediaLibraryInfo()) return std::nullopt;
  return library->mediaLibraryInfo()->applicationName;
}

}  // namespace zarnik
