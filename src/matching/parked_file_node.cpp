#include "matching/parked_file_node.h"

#include "base/path_components.h"
#include "matching/exact_hashing.h"
#include "matching/matching_nodes_factory.h"
#include "platform/resource_values.h"

namespace zarnik {

ParkedFileNode::Name::Name(std::string_view name)
    : characters_(std::make_unique_for_overwrite<char[]>(name.size() + 1)) {
  name.copy(characters_.get(), name.size());
  characters_[name.size()] = '\0';
}

ParkedFileNode::ParkedFileNode(MatchingNodePtr node, bool park) {
  const bool isPlainFileInFolder = park && node->parentNode() &&
                                   dynamic_cast<const MatchingFileNode*>(node.get()) != nullptr &&
                                   node->attributes().vnodeType == VNodeType::regular;
  if (isPlainFileInFolder) {
    place_ = InFolder{node->parentNode(), Name(node->name()), std::nullopt};
  } else {
    place_ = std::move(node);
  }
}

ParkedFileNode ParkedFileNode::inFolder(std::shared_ptr<MatchingDirectoryNode> folder,
                                        std::string_view name,
                                        std::optional<std::uint64_t> contentPrefixHash) {
  return ParkedFileNode(InFolder{std::move(folder), Name(name), contentPrefixHash});
}

std::optional<std::uint64_t> ParkedFileNode::contentPrefixHash() const {
  const auto* inFolder = std::get_if<InFolder>(&place_);
  return inFolder != nullptr ? inFolder->contentPrefixHash : std::nullopt;
}

void ParkedFileNode::noteContentPrefixHash(std::uint64_t hash) {
  if (auto* inFolder = std::get_if<InFolder>(&place_)) inFolder->contentPrefixHash = hash;
}

std::string ParkedFileNode::path() const {
  if (const auto* kept = std::get_if<MatchingNodePtr>(&place_)) return (*kept)->path();
  const auto& inFolder = std::get<InFolder>(place_);
  return appendingPathComponent(inFolder.folder->path(), inFolder.name.view());
}

Result<MatchingNodePtr> ParkedFileNode::unpark(ByteCount expectedSize) const {
  if (const auto* kept = std::get_if<MatchingNodePtr>(&place_)) return *kept;
  const auto& inFolder = std::get<InFolder>(place_);
  const std::string filePath = path();
  auto values = readResourceValues(filePath);
  if (values.hasError()) {
    return FileServicesError::make(FileServicesError::exactHashingFailedToGainAccess, filePath)
        .withUnderlying(values.error().description);
  }
  auto attributes = NodeAttributes::urlValuesByKey(values.value());
  if (!attributes || attributes->vnodeType != VNodeType::regular ||
      attributes->exactSize != expectedSize) {
    return FileServicesError::make(FileServicesError::exactHashingFailedToAnalyze, filePath)
        .withUnderlying("the file changed since it was listed");
  }
  const MatchingNodesFactory* factory = inFolder.folder->factory();
  if (factory == nullptr) {
    return FileServicesError::make(FileServicesError::hashingFailedForUnknownReason, filePath);
  }
  return factory->rebuildFileNode(inFolder.folder, std::string(inFolder.name.view()), filePath,
                                  *attributes);
}

}  // namespace zarnik
