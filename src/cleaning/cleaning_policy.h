// Which policy removes an item: files and folders go through the file system. Tracks of a music
// library and pictures of a photo library have no program here to remove them from their library,
// so their files are removed like any other and the library, left untouched, will list them as
// missing until the cleaning is reverted, which puts the files back where the library expects them.
#pragma once

#include "base/error.h"
#include "file_model/base_node.h"

#include <optional>
#include <string>

namespace zarnik {

struct CleaningPolicy {
  enum class Kind { defaultPolicy, iTunes, photos };
  Kind kind = Kind::defaultPolicy;
  std::string urlOfLibrary;  // the media library's folder; empty for the default policy
  std::optional<std::string> applicationName;  // the program keeping the library, when known

  [[nodiscard]] bool isMediaLibraryPolicy() const { return kind != Kind::defaultPolicy; }
  // "DefaultCleaningPolicy", "ITunesCleaningPolicy <library>", "PhotosCleaningPolicy <library>"
  [[nodiscard]] std::string description() const;
  // What a person is told about an item removed from a library's files: the library will miss it.
  [[nodiscard]] std::string libraryItemRemovedNote() const;
  friend bool operator==(const CleaningPolicy&, const CleaningPolicy&) = default;
  friend auto operator<=>(const CleaningPolicy&, const CleaningPolicy&) = default;
};

// Files and folders: the default policy; a music library track: the library's policy; a photo
// library picture: the library's policy when its library is known, else nothing.
[[nodiscard]] std::optional<CleaningPolicy> cleaningPolicyOf(const ZKBaseNode& node);

}  // namespace zarnik
