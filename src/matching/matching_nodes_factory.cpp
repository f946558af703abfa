#include "matching/matching_nodes_factory.h"

#include "base/path_components.h"
#include "file_model/music_library_location.h"

#include <utility>

namespace zarnik {

std::shared_ptr<MatchingNodesFactory> MatchingNodesFactory::make(
    std::shared_ptr<const ExtendedScanRules> scanRules, OVURLResolver resolver,
    MatchingNodesFactoryOptions options) {
  return std::shared_ptr<MatchingNodesFactory>(
      new MatchingNodesFactory(std::move(scanRules), std::move(resolver), std::move(options)));
}

MatchingNodesFactory::MatchingNodesFactory(std::shared_ptr<const ExtendedScanRules> scanRules,
                                           OVURLResolver resolver,
                                           MatchingNodesFactoryOptions options)
    : scanRules_(std::move(scanRules)),
      detectsMediaLibraries_(scanRules_->shouldDetectMediaLibraries()),
      resolver_(std::move(resolver)),
      options_(std::move(options)),
      validator_(*scanRules_, resolver_, options_.includeHiddenItems, options_.trashFolders,
                 options_.programFolders) {
  for (const auto& folder : options_.personalFolders)
    personalFolders_.insert(standardizedPath(folder));
}

MatchingNodePtr MatchingNodesFactory::buildNode(
    const std::shared_ptr<MatchingDirectoryNode>& parent, std::string name, const std::string& path,
    NodeAttributes attributes, const ScanLocationPtr& scanLocation) const {
  MatchingNodePtr node = makeValidatedNode(parent, std::move(name), path, attributes, scanLocation);
  if (parent) {
    ++parent->numberOfNodes;
    const ContainerMembershipMode mode = node->membershipMode();
    if (mode == ContainerMembershipMode::regular) {
      ++parent->numberOfMatchableNodes;
    } else if (mode == ContainerMembershipMode::untouchable) {
      ++parent->numberOfUnsafeToMatchNodes;
    }
  }
  return node;
}

MatchingNodePtr MatchingNodesFactory::rebuildFileNode(
    const std::shared_ptr<MatchingDirectoryNode>& parent, std::string name, const std::string& path,
    NodeAttributes attributes) const {
  return makeValidatedNode(parent, std::move(name), path, attributes, nullptr);
}

MatchingNodePtr MatchingNodesFactory::makeValidatedNode(
    const std::shared_ptr<MatchingDirectoryNode>& parent, std::string name, const std::string& path,
    NodeAttributes attributes, const ScanLocationPtr& rootLocation) const {
  NodeValidationReport report =
      validator_.buildValidationReport(path, lastPathComponent(path), attributes);
  MatchingNodePtr node;
  // Only a root keeps the factory and the scan location; its children reach them through it
  // (and do not touch the location's count, which every walking thread shares).
  auto factory = parent ? nullptr : shared_from_this();
  ScanLocationPtr scanLocation = parent ? nullptr : rootLocation;
  if (attributes.vnodeType == VNodeType::directory) {
    auto cloudRoot = options_.cloudFolders.rootServiceForPath(path);
    const bool isMountPoint =
        parent && parent->attributes().fileResourceID && attributes.fileResourceID &&
        parent->attributes().fileResourceID->device != attributes.fileResourceID->device;
    auto folder =
        std::make_shared<MatchingDirectoryNode>(std::move(factory), parent, std::move(name),
                                                attributes, std::move(scanLocation), cloudRoot);
    if (!parent || isMountPoint || personalFolders_.count(path) != 0) folder->markNeverACopy();
    node = std::move(folder);
  } else {
    node = std::make_shared<MatchingFileNode>(std::move(factory), parent, std::move(name),
                                              attributes, std::move(scanLocation));
  }
  node->setValidationReport(report);
  return node;
}

MatchingNodePtr MatchingNodesFactory::buildITunesItemNode(
    std::optional<ZKITunesLibraryItemIdentifier> mediaItemIdentifier,
    std::optional<ITunesItemInfo> iTunesItemInfo, const NodeLocation& location,
    std::shared_ptr<MatchingDirectoryNode> libraryNode, NodeAttributes attributes) const {
  const std::string path = location.path();
  NodeValidationReport report =
      validator_.buildValidationReport(path, lastPathComponent(path), attributes);
  auto node = std::make_shared<MatchingITunesItemNode>(
      shared_from_this(), std::move(libraryNode), location.relativePath(), attributes,
      location.scanLocation(), mediaItemIdentifier, std::move(iTunesItemInfo));
  node->setValidationReport(report);
  return node;
}

MatchingNodePtr MatchingNodesFactory::buildPhotosLibraryItem(
    std::shared_ptr<MatchingDirectoryNode> libraryNode, PhotosItemInfo photosItemInfo,
    const MatchingNodePtr& masterNode, const MatchingNodePtr& previewNode,
    const std::vector<MatchingNodePtr>& thumbnailNodes) const {
  auto node = std::make_shared<MatchingPhotosItemNode>(
      std::move(libraryNode), std::move(photosItemInfo), masterNode, previewNode, thumbnailNodes);
  // The item is as ignored as its first part.
  if (!node->childNodes().empty())
    node->setValidationReport(node->childNodes().front()->validationReport());
  return node;
}

const std::optional<std::string>& MatchingNodesFactory::mediaFolderOfCurrentITunesLibrary() const {
  std::call_once(mediaFolderOnce_, [this] {
    mediaFolder_ = MusicLibraryLocation(resolver_).urlOfMediaFolderLocation();
  });
  return mediaFolder_;
}

void MatchingNodesFactory::addMediaLibraryNode(const MatchingNodePtr& node) const {
  std::lock_guard lock(mediaLibrariesMutex_);
  mediaLibraryNodes_.push_back(node);
}

std::vector<MatchingNodePtr> MatchingNodesFactory::takeMediaLibraryNodes() const {
  std::lock_guard lock(mediaLibrariesMutex_);
  return std::exchange(mediaLibraryNodes_, {});
}

}  // namespace zarnik
