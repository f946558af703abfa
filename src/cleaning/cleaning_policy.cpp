#include "cleaning/cleaning_policy.h"

#include "cleaning/cleaning_error.h"

namespace zarnik {

std::string CleaningPolicy::description() const {
  switch (kind) {
    case Kind::defaultPolicy: return "DefaultCleaningPolicy";
    case Kind::iTunes: return "ITunesCleaningPolicy " + urlOfLibrary;
    case Kind::photos: return "PhotosCleaningPolicy " + urlOfLibrary;
  }
  return "CleaningPolicy";
}

Error CleaningPolicy::unavailableAgentError(const std::string& itemPath) const {
  if (kind == Kind::iTunes) {
    return cleaningError(CleaningErrorCode::iTunesAgentUnavailable, itemPath,
                         "the music application that owns this library cannot be reached here; the track was left in place");
  }
  return cleaningError(CleaningErrorCode::photosAgentUnavailable, itemPath,
                       "the photo application that owns this library cannot be reached here; the picture was left in place");
}

std::optional<CleaningPolicy> cleaningPolicyOf(const ZKBaseNode& node) {
  if (const auto* track = dynamic_cast<const ZKITunesLibraryItemNode*>(&node)) {
    const auto& library = track->mediaLibraryNode();
    return CleaningPolicy{CleaningPolicy::Kind::iTunes, library ? library->path() : std::string()};
  }
  if (const auto* picture = dynamic_cast<const ZKPhotosLibraryItemNode*>(&node)) {
    const auto& library = picture->mediaLibraryNode();
    if (!library) return std::nullopt;
    return CleaningPolicy{CleaningPolicy::Kind::photos, library->path()};
  }
  return CleaningPolicy{};
}

}  // namespace zarnik
