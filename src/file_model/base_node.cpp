#include "file_model/base_node.h"

namespace zarnik {

Json NodeContent::encode() const {
  Json archive = Json::object();
  if (audioInfo) archive["audioInfo"] = audioInfo->encode();
  if (bundleInfo) archive["bundleInfo"] = bundleInfo->encode();
  if (imageInfo) archive["imageInfo"] = imageInfo->encode();
  if (exactFileHashData) archive["exactFileHashData"] = hexJson(*exactFileHashData);
  return archive;
}

Result<NodeContent> NodeContent::decode(const Json& archive) {
  if (!archive.is_object()) return Error::generic("The stored node content is not an object.");
  NodeContent content;
  // A part that cannot be read is left out: the rest of the node is still of use.
  if (const Json* audio = jsonMember(archive, "audioInfo")) {
    if (auto info = AudioInfo::decode(*audio); info.hasValue()) content.audioInfo = info.value();
  }
  if (const Json* bundle = jsonMember(archive, "bundleInfo")) {
    if (auto info = BundleInfo::decode(*bundle); info.hasValue()) content.bundleInfo = info.value();
  }
  if (const Json* image = jsonMember(archive, "imageInfo")) {
    if (auto info = ImageInfo::decode(*image); info.hasValue()) content.imageInfo = info.value();
  }
  if (const Json* hash = jsonMember(archive, "exactFileHashData"))
    content.exactFileHashData = dataFromHexJson(*hash);
  return content;
}

ZKBaseNode::ZKBaseNode(NodeLocation location, NodeAttributes attributes, NodeContent content,
                       NodeType type, std::optional<CloudService> belongsToCloudService)
    : location_(std::move(location)),
      attributes_(attributes),
      content_(std::move(content)),
      type_(type),
      belongsToCloudService_(belongsToCloudService) {}

Json ZKBaseNode::encode() const { return encodeLocated(location_.encode()); }

Json ZKBaseNode::encode(Json scanLocationArchive) const {
  return encodeLocated(location_.encode(std::move(scanLocationArchive)));
}

Json ZKBaseNode::encodeLocated(Json location) const {
  Json archive{{"$class", std::string(className())},
               {"location", std::move(location)},
               {"attributes", attributes_.encode()},
               {"content", content_.encode()},
               {"type", std::string(rawValue(type_))}};
  if (belongsToCloudService_)
    archive["belongsToCloudService"] = std::string(rawValue(*belongsToCloudService_));
  encodeOwnMembers(archive);
  return archive;
}

void ZKDirectoryNode::encodeOwnMembers(Json& archive) const {
  if (mediaLibraryInfo_) archive["mediaLibraryInfo"] = mediaLibraryInfo_->encode();
}

std::optional<ZKPhotosLibraryItemIdentifier> ZKPhotosLibraryItemIdentifier::fromPathComponents(
    const PathComponents& components) {
  for (size_t i = 0; i + 2 < components.size(); ++i) {
    if (components[i] != "originals" && components[i] != "Masters") continue;
    ZKPhotosLibraryItemIdentifier identifier;
    identifier.groupIdentifier = components[i + 1];
    const std::string& file = components.back();
    const size_t dot = file.rfind('.');
    if (components[i] == "originals") identifier.uniqueIdentifier = file.substr(0, dot);
    return identifier;
  }
  return std::nullopt;
}

bool ZKITunesLibraryItemNode::isMemberOfDefaultITunesLibrary() const {
  if (!mediaLibraryNode_ || !mediaLibraryNode_->mediaLibraryInfo()) return false;
  const MediaLibraryInfo& info = *mediaLibraryNode_->mediaLibraryInfo();
  return info.kind == MediaLibraryKind::iTunes && info.isDefault;
}

void ZKITunesLibraryItemNode::encodeOwnMembers(Json& archive) const {
  if (iTunesItemInfo_) archive["iTunesItemInfo"] = iTunesItemInfo_->encode();
  if (mediaItemIdentifier_) archive["mediaItemIdentifier"] = mediaItemIdentifier_->uniqueIdentifier;
  if (mediaLibraryNode_) archive["mediaLibraryNode"] = mediaLibraryNode_->encode();
}

ZKPhotosLibraryItemNode::ZKPhotosLibraryItemNode(NodeLocation location, NodeAttributes attributes,
                                                 NodeContent content, std::string photosIdentifier,
                                                 std::shared_ptr<const ZKDirectoryNode> libraryNode,
                                                 std::optional<PhotosItemInfo> info,
                                                 NodePtr masterNode, NodePtr previewNode,
                                                 std::vector<NodePtr> thumbnailNodes)
    : ZKBaseNode(std::move(location), attributes, std::move(content), NodeType::image,
                 std::nullopt),
      photosIdentifier_(std::move(photosIdentifier)),
      mediaLibraryNode_(std::move(libraryNode)),
      photosItemInfo_(std::move(info)),
      masterNode_(std::move(masterNode)),
      previewNode_(std::move(previewNode)),
      thumbnailNodes_(std::move(thumbnailNodes)) {
  if (masterNode_) infoOrderedNodes_.push_back(masterNode_);
  if (previewNode_) infoOrderedNodes_.push_back(previewNode_);
  infoOrderedNodes_.insert(infoOrderedNodes_.end(), thumbnailNodes_.begin(), thumbnailNodes_.end());
}

const ZKBaseNode* ZKPhotosLibraryItemNode::firstInfoNode() const {
  return infoOrderedNodes_.empty() ? nullptr : infoOrderedNodes_.front().get();
}

ByteCount ZKPhotosLibraryItemNode::exactSize() const {
  const ZKBaseNode* node = firstInfoNode();
  return node != nullptr ? node->exactSize() : attributes_.exactSize;
}

ByteCount ZKPhotosLibraryItemNode::diskSize() const {
  const ZKBaseNode* node = firstInfoNode();
  return node != nullptr ? node->diskSize() : attributes_.diskSize;
}

std::uint32_t ZKPhotosLibraryItemNode::numberOfHardlinks() const {
  const ZKBaseNode* node = firstInfoNode();
  return node != nullptr ? node->attributes().numberOfHardlinks : attributes_.numberOfHardlinks;
}

std::optional<std::string_view> ZKPhotosLibraryItemNode::relativeName() const {
  const ZKBaseNode* node = firstInfoNode();
  if (node == nullptr) return location_.relativeName();
  return node->location().relativeName();
}

void ZKPhotosLibraryItemNode::encodeOwnMembers(Json& archive) const {
  archive["photosIdentifier"] = bytesJson(photosIdentifier_);
  if (photosItemInfo_) archive["photosItemInfo"] = photosItemInfo_->encode();
  if (mediaLibraryNode_) archive["mediaLibraryNode"] = mediaLibraryNode_->encode();
  if (masterNode_) archive["masterNode"] = masterNode_->encode();
  if (previewNode_) archive["previewNode"] = previewNode_->encode();
  Json thumbnails = Json::array();
  for (const auto& node : thumbnailNodes_) thumbnails.push_back(node->encode());
  archive["thumbnailNodes"] = std::move(thumbnails);
}

namespace {

using NodePtr = std::shared_ptr<const ZKBaseNode>;

Result<std::shared_ptr<const ZKDirectoryNode>> decodeLibraryNode(const Json& archive) {
  const Json* stored = jsonMember(archive, "mediaLibraryNode");
  if (stored == nullptr) return std::shared_ptr<const ZKDirectoryNode>();
  ZK_ASSIGN_OR_RETURN(auto node, ZKBaseNode::decode(*stored));
  auto directory = std::dynamic_pointer_cast<const ZKDirectoryNode>(node);
  if (!directory) return Error::generic("The stored library of a node is not a folder.");
  return directory;
}

}  // namespace

Result<std::shared_ptr<ZKBaseNode>> ZKBaseNode::decode(const Json& archive) {
  const auto tag = jsonString(archive, "$class");
  const Json* location = jsonMember(archive, "location");
  const Json* attributes = jsonMember(archive, "attributes");
  const auto typeRaw = jsonString(archive, "type");
  const auto type = typeRaw ? nodeTypeFromRawValue(*typeRaw) : std::nullopt;
  if (!tag || location == nullptr || attributes == nullptr || !type) {
    return Error::generic("The stored node is incomplete.");
  }
  ZK_ASSIGN_OR_RETURN(NodeLocation nodeLocation, NodeLocation::decode(*location));
  ZK_ASSIGN_OR_RETURN(NodeAttributes nodeAttributes, NodeAttributes::decode(*attributes));
  NodeContent content;
  if (const Json* stored = jsonMember(archive, "content")) {
    ZK_ASSIGN_OR_RETURN(content, NodeContent::decode(*stored));
  }
  std::optional<CloudService> cloud;
  if (auto raw = jsonString(archive, "belongsToCloudService"))
    cloud = cloudServiceFromRawValue(*raw);

  if (*tag == "ZKFileNode") {
    return std::shared_ptr<ZKBaseNode>(std::make_shared<ZKFileNode>(
        std::move(nodeLocation), nodeAttributes, std::move(content), *type, cloud));
  }
  if (*tag == "ZKDirectoryNode") {
    std::optional<MediaLibraryInfo> library;
    if (const Json* info = jsonMember(archive, "mediaLibraryInfo")) {
      ZK_ASSIGN_OR_RETURN(library, MediaLibraryInfo::decode(*info));
    }
    return std::shared_ptr<ZKBaseNode>(
        std::make_shared<ZKDirectoryNode>(std::move(nodeLocation), nodeAttributes,
                                          std::move(content), *type, cloud, std::move(library)));
  }
  if (*tag == "ZKITunesLibraryItemNode") {
    std::optional<ITunesItemInfo> info;
    if (const Json* stored = jsonMember(archive, "iTunesItemInfo")) {
      ZK_ASSIGN_OR_RETURN(info, ITunesItemInfo::decode(*stored));
    }
    std::optional<ZKITunesLibraryItemIdentifier> identifier;
    if (auto id = jsonInt(archive, "mediaItemIdentifier"))
      identifier = ZKITunesLibraryItemIdentifier{*id};
    ZK_ASSIGN_OR_RETURN(auto library, decodeLibraryNode(archive));
    return std::shared_ptr<ZKBaseNode>(std::make_shared<ZKITunesLibraryItemNode>(
        std::move(nodeLocation), nodeAttributes, std::move(content), *type, std::move(info),
        identifier, std::move(library)));
  }
  if (*tag == "ZKPhotosLibraryItemNode") {
    std::optional<PhotosItemInfo> info;
    if (const Json* stored = jsonMember(archive, "photosItemInfo")) {
      ZK_ASSIGN_OR_RETURN(info, PhotosItemInfo::decode(*stored));
    }
    ZK_ASSIGN_OR_RETURN(auto library, decodeLibraryNode(archive));
    auto decodePart = [&](const char* key) -> Result<NodePtr> {
      const Json* stored = jsonMember(archive, key);
      if (stored == nullptr) return NodePtr();
      ZK_ASSIGN_OR_RETURN(auto node, decode(*stored));
      return NodePtr(std::move(node));
    };
    ZK_ASSIGN_OR_RETURN(NodePtr master, decodePart("masterNode"));
    ZK_ASSIGN_OR_RETURN(NodePtr preview, decodePart("previewNode"));
    std::vector<NodePtr> thumbnails;
    if (const Json* list = jsonMember(archive, "thumbnailNodes"); list && list->is_array()) {
      for (const Json& item : *list) {
        ZK_ASSIGN_OR_RETURN(auto node, decode(item));
        thumbnails.push_back(std::move(node));
      }
    }
    return std::shared_ptr<ZKBaseNode>(std::make_shared<ZKPhotosLibraryItemNode>(
        std::move(nodeLocation), nodeAttributes, std::move(content),
        jsonString(archive, "photosIdentifier").value_or(""), std::move(library), std::move(info),
        std::move(master), std::move(preview), std::move(thumbnails)));
  }
  return Error::generic("The stored node is of a class that may not be decoded: " + *tag);
}

}  // namespace zarnik
