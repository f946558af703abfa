// Which policy removes an item: files and folders go through the file system; tracks of a music
// library and pictures of a photo library would go through their applications, which this
// desktop does not have, so such items fail with the library's own error and stay in place.
#pragma once

#include <optional>
#include <string>

#include "base/error.h"
#include "file_model/base_node.h"

namespace zarnik {

struct CleaningPolicy {
  enum class Kind { defaultPolicy, iTunes, photos };
  Kind kind = Kind::defaultPolicy;
  std::string urlOfLibrary;  // the media library's folder; empty for the default policy

  [[nodiscard]] bool isMediaLibraryPolicy() const { return kind != Kind::defaultPolicy; }
  // "DefaultCleaningPolicy", "ITunesCleaningPolicy <library>", "PhotosCleaningPolicy <library>"
  [[nodiscard]] std::string description() const;
  // The error every item of a media library policy gets: its application cannot be reached.
  [[nodiscard]] Error unavailableAgentError(const std::string& itemPath) const;
  friend bool operator==(const CleaningPolicy&, const CleaningPolicy&) = default;
  friend auto operator<=>(const CleaningPolicy&, const CleaningPolicy&) = default;
};

// Files and folders: the default policy; a music library track: the library's policy; a photo
// library picture: the library's policy when its library is known, else nothing.
[[nodiscard]] std::optional<CleaningPolicy> cleaningPolicyOf(const ZKBaseNode& node);

}  // namespace zarnik
