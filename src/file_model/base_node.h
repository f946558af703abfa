// The file model's record of one scanned item: where it is, what the file system said, what is
// known of its content and its kind. Results and cleaning reports keep these; the matching
// engine builds them from its own lighter nodes when results are stored.
//
// Nodes are immutable in their identity; the content's hash and the cached preview and volume
// paths are filled later by their owner's queue.
#pragma once

#include "base/boxed_optional.h"
#include "base/json.h"
#include "base/result.h"
#include "file_model/cloud_service.h"
#include "file_model/media_info.h"
#include "file_model/node_attributes.h"
#include "file_model/node_location.h"
#include "file_model/node_type.h"
#include "foundation/fetchable_value.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zarnik {

struct NodeContent {
  BoxedOptional<AudioInfo> audioInfo;
  BoxedOptional<BundleInfo> bundleInfo;
  BoxedOptional<ImageInfo> imageInfo;
  std::optional<std::string> exactFileHashData;  // digest bytes, once computed

  [[nodiscard]] Json encode() const;
  static Result<NodeContent> decode(const Json& archive);
  friend bool operator==(const NodeContent&, const NodeContent&) = default;
};

class ZKBaseNode {
 public:
  ZKBaseNode(NodeLocation location, NodeAttributes attributes, NodeContent content, NodeType type,
             std::optional<CloudService> belongsToCloudService);
  virtual ~ZKBaseNode() = default;

  [[nodiscard]] virtual std::string_view className() const = 0;

  [[nodiscard]] const NodeLocation& location() const { return location_; }
  [[nodiscard]] const NodeAttributes& attributes() const { return attributes_; }
  [[nodiscard]] const NodeContent& content() const { return content_; }
  [[nodiscard]] NodeType type() const { return type_; }
  [[nodiscard]] std::optional<CloudService> belongsToCloudService() const {
    return belongsToCloudService_;
  }

  // Derived values.
  [[nodiscard]] std::string url() const { return location_.url(); }
  [[nodiscard]] std::string path() const { return location_.path(); }
  [[nodiscard]] PathComponents pathComponents() const { return location_.pathComponents(); }
  [[nodiscard]] const std::string& relativePath() const { return location_.relativePath(); }
  [[nodiscard]] std::optional<std::string_view> pathExtension() const {
    return location_.pathExtension();
  }
  [[nodiscard]] Date dateOfModification() const { return attributes_.dateOfModification; }
  [[nodiscard]] virtual ByteCount exactSize() const { return attributes_.exactSize; }
  [[nodiscard]] virtual ByteCount diskSize() const { return attributes_.diskSize; }
  [[nodiscard]] TypeIdentifier UTIType() const { return attributes_.UTIType; }
  [[nodiscard]] std::optional<FileId> fileResourceID() const { return attributes_.fileResourceID; }
  [[nodiscard]] const std::optional<std::string>& exactFileHashData() const {
    return content_.exactFileHashData;
  }

  // {"$class": className, "location", "attributes", "content", "type", "belongsToCloudService"}
  // and the members the node's class adds.
  [[nodiscard]] Json encode() const;
  // The same with the node's own scan location written as `scanLocationArchive` (a reference
  // to it that a store keeps apart).
  [[nodiscard]] Json encode(Json scanLocationArchive) const;
  // Decodes any node class of the allow-list; an unknown class tag is an error.
  static Result<std::shared_ptr<ZKBaseNode>> decode(const Json& archive);

 private:
  [[nodiscard]] Json encodeLocated(Json location) const;

 protected:
  // Adds the members of the node's class to its archive.
  virtual void encodeOwnMembers(Json& /*archive*/) const {}

  NodeLocation location_;
  NodeAttributes attributes_;
  NodeContent content_;
  NodeType type_;
  std::optional<CloudService> belongsToCloudService_;
};

class ZKFileNode : public ZKBaseNode {
 public:
  using ZKBaseNode::ZKBaseNode;
  [[nodiscard]] std::string_view className() const override { return "ZKFileNode"; }
};

class ZKDirectoryNode : public ZKBaseNode {
 public:
  ZKDirectoryNode(NodeLocation location, NodeAttributes attributes, NodeContent content,
                  NodeType type, std::optional<CloudService> cloudService,
                  std::optional<MediaLibraryInfo> mediaLibraryInfo)
      : ZKBaseNode(std::move(location), std::move(attributes), std::move(content), type,
                   cloudService),
        mediaLibraryInfo_(std::move(mediaLibraryInfo)) {}
  [[nodiscard]] std::string_view className() const override { return "ZKDirectoryNode"; }
  [[nodiscard]] const std::optional<MediaLibraryInfo>& mediaLibraryInfo() const {
    return mediaLibraryInfo_;
  }

 protected:
  void encodeOwnMembers(Json& archive) const override;

 private:
  std::optional<MediaLibraryInfo> mediaLibraryInfo_;
};

struct ZKITunesLibraryItemIdentifier {
  std::int64_t uniqueIdentifier = 0;
  friend bool operator==(const ZKITunesLibraryItemIdentifier&,
                         const ZKITunesLibraryItemIdentifier&) = default;
};

struct ZKPhotosLibraryItemIdentifier {
  std::optional<std::string> uniqueIdentifier;
  std::string groupIdentifier;
  // From the components of a file inside a Photos library: ".../originals/<group>/<unique>.<ext>"
  // or ".../Masters/<group>/.../<file>"; nothing for other paths.
  static std::optional<ZKPhotosLibraryItemIdentifier> fromPathComponents(
      const PathComponents& components);
  friend bool operator==(const ZKPhotosLibraryItemIdentifier&,
                         const ZKPhotosLibraryItemIdentifier&) = default;
};

class ZKITunesLibraryItemNode : public ZKFileNode {
 public:
  ZKITunesLibraryItemNode(NodeLocation location, NodeAttributes attributes, NodeContent content,
                          NodeType type, std::optional<ITunesItemInfo> info,
                          std::optional<ZKITunesLibraryItemIdentifier> identifier,
                          std::shared_ptr<const ZKDirectoryNode> libraryNode)
      : ZKFileNode(std::move(location), std::move(attributes), std::move(content), type,
                   std::nullopt),
        iTunesItemInfo_(std::move(info)),
        mediaItemIdentifier_(identifier),
        mediaLibraryNode_(std::move(libraryNode)) {}
  [[nodiscard]] std::string_view className() const override { return "ZKITunesLibraryItemNode"; }
  [[nodiscard]] const std::optional<ITunesItemInfo>& iTunesItemInfo() const {
    return iTunesItemInfo_;
  }
  [[nodiscard]] const std::optional<ZKITunesLibraryItemIdentifier>& mediaItemIdentifier() const {
    return mediaItemIdentifier_;
  }
  [[nodiscard]] const std::shared_ptr<const ZKDirectoryNode>& mediaLibraryNode() const {
    return mediaLibraryNode_;
  }
  [[nodiscard]] bool isMemberOfDefaultITunesLibrary() const;

 protected:
  void encodeOwnMembers(Json& archive) const override;

 private:
  std::optional<ITunesItemInfo> iTunesItemInfo_;
  std::optional<ZKITunesLibraryItemIdentifier> mediaItemIdentifier_;
  std::shared_ptr<const ZKDirectoryNode> mediaLibraryNode_;
};

class ZKPhotosLibraryItemNode : public ZKBaseNode {
 public:
  using NodePtr = std::shared_ptr<const ZKBaseNode>;
  ZKPhotosLibraryItemNode(NodeLocation location, NodeAttributes attributes, NodeContent content,
                          std::string photosIdentifier,
                          std::shared_ptr<const ZKDirectoryNode> libraryNode,
                          std::optional<PhotosItemInfo> info, NodePtr masterNode,
                          NodePtr previewNode, std::vector<NodePtr> thumbnailNodes);
  [[nodiscard]] std::string_view className() const override { return "ZKPhotosLibraryItemNode"; }
  [[nodiscard]] const std::string& photosIdentifier() const { return photosIdentifier_; }
  [[nodiscard]] const std::optional<PhotosItemInfo>& photosItemInfo() const {
    return photosItemInfo_;
  }
  [[nodiscard]] const NodePtr& masterNode() const { return masterNode_; }
  [[nodiscard]] const NodePtr& previewNode() const { return previewNode_; }
  [[nodiscard]] const std::vector<NodePtr>& thumbnailNodes() const { return thumbnailNodes_; }
  [[nodiscard]] const std::shared_ptr<const ZKDirectoryNode>& mediaLibraryNode() const {
    return mediaLibraryNode_;
  }
  // Master first, then preview, then thumbnails: where facts are taken from.
  [[nodiscard]] const std::vector<NodePtr>& infoOrderedNodes() const { return infoOrderedNodes_; }

  [[nodiscard]] ByteCount exactSize() const override;
  [[nodiscard]] ByteCount diskSize() const override;
  [[nodiscard]] std::uint32_t numberOfHardlinks() const;
  [[nodiscard]] std::optional<std::string_view> relativeName() const;

 protected:
  void encodeOwnMembers(Json& archive) const override;

 private:
  [[nodiscard]] const ZKBaseNode* firstInfoNode() const;

  std::string photosIdentifier_;
  std::shared_ptr<const ZKDirectoryNode> mediaLibraryNode_;
  std::optional<PhotosItemInfo> photosItemInfo_;
  NodePtr masterNode_;
  NodePtr previewNode_;
  std::vector<NodePtr> thumbnailNodes_;
  std::vector<NodePtr> infoOrderedNodes_;
};

}  // namespace zarnik
