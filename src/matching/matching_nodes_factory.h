// MatchingNodesFactory: makes the matching nodes of one scan, validates them against the scan
// rules and counts each child in its folder. One per scan, shared by its nodes (which may
// outlive the scan); safe to use from the enumeration threads at once.
#pragma once

#include "file_model/cloud_service.h"
#include "file_model/scan_rules.h"
#include "foundation/url_resolver.h"
#include "matching/matching_node.h"
#include "matching/nodes_validator.h"
#include "platform/trash_folders.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace zarnik {

// Decodes an image and measures it; the similar-images matcher provides one. Called on the
// thread that asks a node for its image facts, at most twice a node, while that node's facts are
// locked: it may read the node's path and attributes but not ask it for image facts.
using ImageProcessor = std::function<ImageFacts(const MatchingNode& node, bool wantsHash)>;

struct MatchingNodesFactoryOptions {
  bool includeHiddenItems = false;
  // Folders that are places of their own, never copies: the home folder and the user's folders.
  std::vector<std::string> personalFolders;
  // Never walked, hidden items included or not; none: no folder is taken for a trash.
  std::optional<TrashFolders> trashFolders;
  // The program's own folders, never walked: the stores a cleaning writes to are never its copies.
  std::vector<std::string> programFolders;
  CloudServiceFolders cloudFolders;
  ImageProcessor imageProcessor;
};

class MatchingNodesFactory : public std::enable_shared_from_this<MatchingNodesFactory> {
 public:
  static std::shared_ptr<MatchingNodesFactory> make(
      std::shared_ptr<const ExtendedScanRules> scanRules, OVURLResolver resolver,
      MatchingNodesFactoryOptions options = {});

  [[nodiscard]] const ExtendedScanRules& scanRules() const { return *scanRules_; }
  // Read once: every node's type asks it, and the rules are read under a lock.
  [[nodiscard]] bool detectsMediaLibraries() const { return detectsMediaLibraries_; }
  [[nodiscard]] const OVURLResolver& resolver() const { return resolver_; }
  [[nodiscard]] const CloudServiceFolders& cloudFolders() const { return options_.cloudFolders; }
  [[nodiscard]] const ImageProcessor& imageProcessor() const { return options_.imageProcessor; }

  // The node of the right class for an item at `path` named `name`. A root (no parent) is
  // named by its path relative to the scan location ("" for the location itself). Counts the
  // node in its parent.
  [[nodiscard]] MatchingNodePtr buildNode(const std::shared_ptr<MatchingDirectoryNode>& parent,
                                          std::string name, const std::string& path,
                                          NodeAttributes attributes,
                                          const ScanLocationPtr& scanLocation) const;

  // The node of an item listed (and counted) before, made again from what the file system says
  // of it now: a file node that was set aside while it waited.
  [[nodiscard]] MatchingNodePtr rebuildFileNode(
      const std::shared_ptr<MatchingDirectoryNode>& parent, std::string name,
      const std::string& path, NodeAttributes attributes) const;

  // A music-library track at `location`, validated like any item.
  [[nodiscard]] MatchingNodePtr buildITunesItemNode(
      std::optional<ZKITunesLibraryItemIdentifier> mediaItemIdentifier,
      std::optional<ITunesItemInfo> iTunesItemInfo, const NodeLocation& location,
      std::shared_ptr<MatchingDirectoryNode> libraryNode, NodeAttributes attributes) const;
  // A photo-library item over its parts (any of which may be missing).
  [[nodiscard]] MatchingNodePtr buildPhotosLibraryItem(
      std::shared_ptr<MatchingDirectoryNode> libraryNode, PhotosItemInfo photosItemInfo,
      const MatchingNodePtr& masterNode, const MatchingNodePtr& previewNode,
      const std::vector<MatchingNodePtr>& thumbnailNodes) const;

  // The music library's media folder, looked up once.
  [[nodiscard]] const std::optional<std::string>& mediaFolderOfCurrentITunesLibrary() const;

  void addMediaLibraryNode(const MatchingNodePtr& node) const;
  // Hands the library nodes over and keeps none: each node holds this factory, so the factory
  // holding them would keep both alive for ever.
  [[nodiscard]] std::vector<MatchingNodePtr> takeMediaLibraryNodes() const;

 private:
  MatchingNodesFactory(std::shared_ptr<const ExtendedScanRules> scanRules, OVURLResolver resolver,
                       MatchingNodesFactoryOptions options);
  [[nodiscard]] MatchingNodePtr makeValidatedNode(
      const std::shared_ptr<MatchingDirectoryNode>& parent, std::string name,
      const std::string& path, NodeAttributes attributes,
      const ScanLocationPtr& rootLocation) const;

  std::shared_ptr<const ExtendedScanRules> scanRules_;
  bool detectsMediaLibraries_;
  OVURLResolver resolver_;
  MatchingNodesFactoryOptions options_;
  NodesValidator validator_;
  std::unordered_set<std::string> personalFolders_;
  mutable std::once_flag mediaFolderOnce_;
  mutable std::optional<std::string> mediaFolder_;
  mutable std::mutex mediaLibrariesMutex_;
  mutable std::vector<MatchingNodePtr> mediaLibraryNodes_;
};

}  // namespace zarnik
