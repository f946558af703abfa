#include "cleaning/cleaning_policy.h"

#include "file_model/library_application.h"

#include <fmt/format.h>

namespace zarnik {

std::string CleaningPolicy::description() const {
  switch (kind) {
    case Kind::defaultPolicy:
      return "DefaultCleaningPolicy";
    case Kind::iTunes:
      return "ITunesCleaningPolicy " + urlOfLibrary;
    case Kind::photos:
      return "PhotosCleaningPolicy " + urlOfLibrary;
  }
  return "CleaningPolicy";
}

std::string CleaningPolicy::libraryItemRemovedNote() const {
  const bool music = kind == Kind::iTunes;
  const std::string library =
      applicationName ? *applicationName : (music ? "your music library" : "your photo library");
  return fmt::format(
      "{} will list this {} as missing until the cleaning is reverted, which puts the file back "
      "where the library expects it",
      library, music ? "track" : "picture");
}

std::optional<CleaningPolicy> cleaningPolicyOf(const ZKBaseNode& node) {
  if (const auto* track = dynamic_cast<const ZKITunesLibraryItemNode*>(&node)) {
    const auto& library = track->mediaLibraryNode();
    return CleaningPolicy{CleaningPolicy::Kind::iTunes, library ? library->path() : std::string(),
                          libraryApplicationName(library)};
  }
  if (const auto* picture = dynamic_cast<const ZKPhotosLibraryItemNode*>(&node)) {
    const auto& library = picture->mediaLibraryNode();
    if (!library) return std::nullopt;
    return CleaningPolicy{CleaningPolicy::Kind::photos, library->path(),
                          libraryApplicationName(library)};
  }
  return CleaningPolicy{};
}

}  // namespace zarnik
