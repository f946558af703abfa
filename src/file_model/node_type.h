// NodeType: the kind of a scanned item, decided from its type identifier and name.
#pragma once

#include <array>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/type_identifier.h"

namespace zarnik {

enum class VNodeType : std::int32_t { regular = 1, directory = 2, symbolicLink = 5 };

enum class NodeType {
  archive,
  document,
  macApplication,
  mobileApplication,
  audio,
  image,
  video,
  apertureLibrary,
  iPhotoLibrary,
  iTunesLibrary,
  photosLibrary,
  other,
};

inline constexpr std::array<NodeType, 12> kAllNodeTypes = {
    NodeType::archive,         NodeType::document,      NodeType::macApplication,
    NodeType::mobileApplication, NodeType::audio,       NodeType::image,
    NodeType::video,           NodeType::apertureLibrary, NodeType::iPhotoLibrary,
    NodeType::iTunesLibrary,   NodeType::photosLibrary, NodeType::other,
};

[[nodiscard]] std::string_view rawValue(NodeType type);  // "Archive", "Document", ...
[[nodiscard]] std::optional<NodeType> nodeTypeFromRawValue(std::string_view raw);

[[nodiscard]] bool isMediaLibrary(NodeType type);
[[nodiscard]] bool isBundle(NodeType type);
[[nodiscard]] bool isMediaItem(NodeType type);
[[nodiscard]] bool allowsReplacementWithHardLinks(NodeType type);
[[nodiscard]] bool isEnumerationAllowed(NodeType type);

struct NodeTypeDetectionInput {
  std::string_view pathExtension;
  bool shouldDetectMediaLibraries = false;
  TypeIdentifier typeIdentifier;
  VNodeType vnodeType = VNodeType::regular;
  bool hasBundleInfo = false;
  bool isValidApplication = false;
};

// Libraries (when asked for), applications, media by their type family, documents (checked
// before archives: office files are zip containers), archives and disk images; else `other`.
[[nodiscard]] NodeType detectTypeOfNodeWithAttributes(const NodeTypeDetectionInput& input);

// Lower-case path extensions that mark a type.
[[nodiscard]] const std::vector<std::string_view>& pathExtensions(NodeType type);

}  // namespace zarnik
