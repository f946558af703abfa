// MatchingNode: the matching engine's view of one enumerated item. It keeps its own name, its
// attributes and a pointer to its parent folder; its path, location and storable node are built
// on demand, so that a scan of a million files stays small (see bench/enumeration).
//
// Nodes are read from several queues. Attributes and name never change. Lazily computed facts
// (type, bundle facts) are pure functions of the node, cached in atomics: two threads asking at
// once may both compute, and both store the same answer. (A once-flag cost a futex wake-up per
// node.) `claimers` is written only on the matching engine's queue.
#pragma once

#include "file_model/base_node.h"
#include "file_model/scan_rules.h"
#include "matching/claimers.h"
#include "matching/exact_file_hash.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zarnik {

class MatchingNodesFactory;

// What image processing learns of an image: its facts and, when asked for, its four
// perceptual hashes (one per quarter turn).
struct ImageFacts {
  std::optional<ImageInfo> info;
  std::vector<std::uint64_t> hashes;
};
class MatchingDirectoryNode;

struct NodeValidationReport {
  bool isIgnored = false;
  ContainerMembershipMode membershipMode = ContainerMembershipMode::regular;
  std::vector<std::string> pathsToEnumerate;  // expanded paths
};

class MatchingNode {
 public:
  MatchingNode(std::shared_ptr<const MatchingNodesFactory> factory,
               std::shared_ptr<MatchingDirectoryNode> parent, std::string name,
               NodeAttributes attributes, ScanLocationPtr scanLocation);
  virtual ~MatchingNode();
  MatchingNode(const MatchingNode&) = delete;
  MatchingNode& operator=(const MatchingNode&) = delete;

  [[nodiscard]] const MatchingNodesFactory* factory() const;
  [[nodiscard]] std::shared_ptr<const MatchingNodesFactory> rootFactory() const;
  [[nodiscard]] const NodeAttributes& attributes() const { return attributes_; }
  // An application bundle stands for everything inside it: its sizes become the summed sizes
  // of its tree. Set once, before the node is handed to the matching engine.
  void setWholeBundleSizes(ByteCount diskSize, ByteCount exactSize) {
    attributes_.diskSize = diskSize;
    attributes_.exactSize = exactSize;
  }
  [[nodiscard]] const std::shared_ptr<MatchingDirectoryNode>& parentNode() const { return parent_; }
  // The item's own name (the last component of its path).
  [[nodiscard]] std::string_view name() const;
  [[nodiscard]] const ScanLocationPtr& scanLocation() const;
  [[nodiscard]] virtual bool isDirectory() const { return false; }

  // Built from the parents' names: "<scan location path>/<relative path>".
  [[nodiscard]] std::string path() const;
  [[nodiscard]] std::string url() const { return path(); }
  [[nodiscard]] std::string relativePath() const;
  [[nodiscard]] NodeLocation location() const;
  [[nodiscard]] std::string_view pathExtension() const;

  [[nodiscard]] std::optional<ExactFileHash> exactFileHash() const;
  void setExactFileHash(const ExactFileHash& hash);

  Claimers claimers;

  [[nodiscard]] NodeType type() const;
  // A folder recognised as a media library by its contents is re-typed once listed.
  void overrideType(NodeType type) {
    type_.store(static_cast<std::int8_t>(type), std::memory_order_release);
  }
  // Decided by the factory's validator when the node is made.
  [[nodiscard]] NodeValidationReport validationReport() const;
  void setValidationReport(const NodeValidationReport& report);
  [[nodiscard]] bool isProcessingAllowed() const { return !isIgnored_; }
  [[nodiscard]] ContainerMembershipMode membershipMode() const { return membershipMode_; }
  [[nodiscard]] bool isMatchingAllowed() const {
    return membershipMode_ == ContainerMembershipMode::regular;
  }
  [[nodiscard]] bool isEnumerationAllowed() const;
  [[nodiscard]] bool isChildOfBundle() const;
  [[nodiscard]] virtual bool isModelingIntoDuplicateAllowed() const;
  // Whether other nodes' contents stand for this one in exact matching (a package's parts, a
  // library item's file), and which.
  [[nodiscard]] virtual bool hasContentStandIns() const { return false; }
  [[nodiscard]] virtual std::vector<std::shared_ptr<MatchingNode>> contentStandIns() const {
    return {};
  }
  // The bundle's Info.plist facts, read once; nothing for items that are not bundles.
  [[nodiscard]] const std::optional<BundleInfo>& bundleInfo() const;

  // Image facts come from the factory's image processor (none: nothing is known). The info is
  // fetched once; the four perceptual hashes once more when first wanted.
  void fetchImageInfoIfNeeded(bool wantsHash) const;
  [[nodiscard]] std::optional<ImageInfo> imageInfo() const;
  [[nodiscard]] std::vector<std::uint64_t> imageHash() const;
  // The tags, length, bit rate and audio-data size of an audio file, once the scan has read them.
  void setAudioInfo(AudioInfo info);
  [[nodiscard]] std::optional<AudioInfo> audioInfo() const;

  [[nodiscard]] virtual std::shared_ptr<ZKBaseNode> buildStorableNode() const;

 protected:
  void appendRelativePath(std::string& out) const;
  // What a stored node carries of this one's contents.
  [[nodiscard]] NodeContent storableContent() const;

 private:
  // What every node of one walk shares is kept by its root only: children reach it through
  // their parents (a few levels up), which saves 24 bytes a node and two reference counts
  // that every walking thread would increment on one shared cache line.
  struct RootContext {
    std::shared_ptr<const MatchingNodesFactory> factory;  // nodes may outlive their scan
    ScanLocationPtr scanLocation;
  };
  [[nodiscard]] const RootContext& rootContext() const;

  // The small fields first: with `claimers` before them they fill one word. Every scanned item
  // is a node, so each word counts.
  bool isIgnored_ = false;
  ContainerMembershipMode membershipMode_ = ContainerMembershipMode::regular;
  static constexpr std::int8_t kUnknown = -1;
  mutable std::atomic<std::int8_t> type_{kUnknown};  // a NodeType once known or overridden
  mutable std::atomic<std::int8_t> isChildOfBundle_{kUnknown};
  std::shared_ptr<MatchingDirectoryNode> parent_;  // the child keeps its parents alive
  std::unique_ptr<RootContext> root_;              // roots only
  std::string name_;  // a root keeps its path relative to the scan location here
  NodeAttributes attributes_;
  // Set once by the hash calculator, read on the engine's queue afterwards.
  std::atomic<ExactFileHash*> exactFileHash_{nullptr};
  // Facts read from the item's contents (bundle, image, audio), made on first use, and the rare
  // paths a rule has walked inside an ignored item: most nodes never need any, so they cost one
  // pointer until then.
  struct LazyFacts {
    std::mutex mutex;
    std::vector<std::string> pathsToEnumerate;  // set once, when the node is made
    bool isBundleInfoFetched = false;
    std::optional<BundleInfo> bundleInfo;
    bool isImageInfoFetched = false;
    std::optional<ImageInfo> imageInfo;
    bool isImageHashFetched = false;
    std::vector<std::uint64_t> imageHash;
    std::optional<AudioInfo> audioInfo;
  };
  [[nodiscard]] LazyFacts& facts() const;
  mutable std::atomic<LazyFacts*> facts_{nullptr};
};

class MatchingFileNode final : public MatchingNode {
 public:
  using MatchingNode::MatchingNode;
};

// A folder. Its counters are kept while its children are made (one listing, one thread) and
// read afterwards.
class MatchingDirectoryNode final : public MatchingNode {
 public:
  MatchingDirectoryNode(std::shared_ptr<const MatchingNodesFactory> factory,
                        std::shared_ptr<MatchingDirectoryNode> parent, std::string name,
                        NodeAttributes attributes, ScanLocationPtr scanLocation,
                        std::optional<CloudService> rootOfCloudService);

  [[nodiscard]] bool isDirectory() const override { return true; }
  [[nodiscard]] std::optional<CloudService> rootOfCloudService() const {
    return rootOfCloudService_;
  }
  [[nodiscard]] const std::optional<MediaLibraryInfo>& mediaLibraryInfo() const {
    return mediaLibraryInfo_;
  }
  void setMediaLibraryInfo(MediaLibraryInfo info) { mediaLibraryInfo_ = std::move(info); }

  std::atomic<std::int32_t> numberOfNodes{0};
  std::atomic<std::int32_t> numberOfMatchableNodes{0};
  std::atomic<std::int32_t> numberOfEmptyChildDirectories{0};
  std::atomic<std::int32_t> numberOfUnsafeToMatchNodes{0};

  // The hashes of the folder's matched children (files by their content, links by their target,
  // subfolders by their group): two folders whose collections are equal once sorted hold the
  // same things. Used on the matching engine's queue only.
  class ChildHashesAccumulator {
   public:
    void insert(std::optional<std::uint64_t> childHash, ByteCount childSize);
    // Sorts the hashes, so that equal multisets compare equal.
    void normalizeIfNeeded();
    [[nodiscard]] size_t count() const { return childHashes_.size(); }
    [[nodiscard]] std::uint64_t hashValue() const { return hashValue_; }
    [[nodiscard]] ByteCount size() const { return size_; }
    friend bool operator==(const ChildHashesAccumulator& a, const ChildHashesAccumulator& b) {
      return a.childHashes_ == b.childHashes_;
    }

   private:
    static std::uint64_t combined(std::uint64_t value, std::uint64_t hash);
    std::vector<std::uint64_t> childHashes_;
    std::uint64_t hashValue_ = 0;
    bool needsToNormalize_ = false;
    ByteCount size_ = 0;
  };
  ChildHashesAccumulator childHashesAccumulator;

  // A folder whose children are all empty folders, or with nothing to match, is no duplicate
  // (unless it is an application); nor is a folder inside a matched folder.
  [[nodiscard]] bool isModelingIntoDuplicateAllowed() const override;

  // A folder that is a place of its own, never a copy of another (a scan location, the home
  // folder and the user's folders, a mount point, a working copy holding ".git"): it never
  // joins a folder group, and its files are matched one by one. Set while it is listed.
  void markNeverACopy() { isNeverACopy_.store(true, std::memory_order_relaxed); }
  [[nodiscard]] bool isNeverACopy() const { return isNeverACopy_.load(std::memory_order_relaxed); }
  // A matched folder weighs what its matched contents weigh.
  void setMatchedSize(ByteCount size) { setWholeBundleSizes(size, size); }

 private:
  std::optional<CloudService> rootOfCloudService_;
  std::optional<MediaLibraryInfo> mediaLibraryInfo_;
  std::atomic<bool> isNeverACopy_{false};
};

// An item made of several files shown as one (a package).
class MatchingCompositeNode : public MatchingNode {
 public:
  MatchingCompositeNode(std::shared_ptr<const MatchingNodesFactory> factory,
                        std::shared_ptr<MatchingDirectoryNode> parent, std::string name,
                        NodeAttributes attributes, ScanLocationPtr scanLocation,
                        std::vector<std::shared_ptr<MatchingNode>> childNodes)
      : MatchingNode(std::move(factory), std::move(parent), std::move(name), std::move(attributes),
                     std::move(scanLocation)),
        childNodes_(std::move(childNodes)) {}
  [[nodiscard]] const std::vector<std::shared_ptr<MatchingNode>>& childNodes() const {
    return childNodes_;
  }
  [[nodiscard]] bool hasContentStandIns() const override { return true; }
  std::vector<std::shared_ptr<MatchingNode>> contentStandIns() const override {
    return childNodes_;
  }

 private:
  std::vector<std::shared_ptr<MatchingNode>> childNodes_;
};

using MatchingNodePtr = std::shared_ptr<MatchingNode>;

// The nodes whose content stands for `node` in exact matching: itself for a plain node.
[[nodiscard]] inline std::vector<MatchingNodePtr> exactMatchNodes(const MatchingNodePtr& node) {
  return node->hasContentStandIns() ? node->contentStandIns() : std::vector<MatchingNodePtr>{node};
}

// A track of a music library. It lies wherever the library keeps it, so it is made like a root:
// its name is its path relative to the scan location.
class MatchingITunesItemNode final : public MatchingNode {
 public:
  MatchingITunesItemNode(std::shared_ptr<const MatchingNodesFactory> factory,
                         std::shared_ptr<MatchingDirectoryNode> libraryNode,
                         std::string relativePath, NodeAttributes attributes,
                         ScanLocationPtr scanLocation,
                         std::optional<ZKITunesLibraryItemIdentifier> mediaItemIdentifier,
                         std::optional<ITunesItemInfo> iTunesItemInfo)
      : MatchingNode(std::move(factory), nullptr, std::move(relativePath), std::move(attributes),
                     std::move(scanLocation)),
        libraryNode_(std::move(libraryNode)),
        mediaItemIdentifier_(mediaItemIdentifier),
        iTunesItemInfo_(std::move(iTunesItemInfo)) {}

  [[nodiscard]] const std::shared_ptr<MatchingDirectoryNode>& libraryNode() const {
    return libraryNode_;
  }
  [[nodiscard]] const std::optional<ZKITunesLibraryItemIdentifier>& mediaItemIdentifier() const {
    return mediaItemIdentifier_;
  }
  [[nodiscard]] const std::optional<ITunesItemInfo>& iTunesItemInfo() const {
    return iTunesItemInfo_;
  }
  [[nodiscard]] std::shared_ptr<ZKBaseNode> buildStorableNode() const override;

 private:
  std::shared_ptr<MatchingDirectoryNode> libraryNode_;
  std::optional<ZKITunesLibraryItemIdentifier> mediaItemIdentifier_;
  std::optional<ITunesItemInfo> iTunesItemInfo_;
};

// A photo-library item: its original (master), an edited preview and thumbnails, shown as one
// image. It takes its place and attributes from the first of them that exists, in that order.
// Its content is its master's (or, without one, its preview's): the original is what a copy
// elsewhere duplicates, and what similar-image matching looks at.
class MatchingPhotosItemNode final : public MatchingCompositeNode {
 public:
  MatchingPhotosItemNode(std::shared_ptr<MatchingDirectoryNode> libraryNode,
                         PhotosItemInfo photosItemInfo, const MatchingNodePtr& masterNode,
                         const MatchingNodePtr& previewNode,
                         const std::vector<MatchingNodePtr>& thumbnailNodes);

  [[nodiscard]] const std::shared_ptr<MatchingDirectoryNode>& libraryNode() const {
    return libraryNode_;
  }
  [[nodiscard]] const PhotosItemInfo& photosItemInfo() const { return photosItemInfo_; }
  [[nodiscard]] const MatchingNodePtr& masterNode() const { return masterNode_; }
  [[nodiscard]] const MatchingNodePtr& previewNode() const { return previewNode_; }
  [[nodiscard]] const std::vector<MatchingNodePtr>& thumbnailNodes() const {
    return thumbnailNodes_;
  }

  [[nodiscard]] bool hasContentStandIns() const override { return true; }
  std::vector<MatchingNodePtr> contentStandIns() const override;
  [[nodiscard]] bool isModelingIntoDuplicateAllowed() const override;
  [[nodiscard]] std::shared_ptr<ZKBaseNode> buildStorableNode() const override;

 private:
  // `first`: the first existing part, whose place and attributes the item takes.
  MatchingPhotosItemNode(const MatchingNodePtr& first,
                         std::shared_ptr<MatchingDirectoryNode> libraryNode,
                         PhotosItemInfo photosItemInfo, MatchingNodePtr masterNode,
                         MatchingNodePtr previewNode, std::vector<MatchingNodePtr> thumbnailNodes);
  [[nodiscard]] const MatchingNodePtr& contentNode() const;

  std::shared_ptr<MatchingDirectoryNode> libraryNode_;
  PhotosItemInfo photosItemInfo_;
  MatchingNodePtr masterNode_;
  MatchingNodePtr previewNode_;
  std::vector<MatchingNodePtr> thumbnailNodes_;
};

}  // namespace zarnik
