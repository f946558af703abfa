#include "matching/matching_node.h"

#include "base/path_components.h"
#include "matching/matching_nodes_factory.h"

namespace zarnik {

MatchingNode::MatchingNode(std::shared_ptr<const MatchingNodesFactory> factory,
                           std::shared_ptr<MatchingDirectoryNode> parent, std::string name,
                           NodeAttributes attributes, ScanLocationPtr scanLocation)
    : parent_(std::move(parent)),
      root_(parent_ ? nullptr
                    : std::make_unique<RootContext>(
                          RootContext{std::move(factory), std::move(scanLocation)})),
      name_(std::move(name)),
      attributes_(attributes) {}

const MatchingNode::RootContext& MatchingNode::rootContext() const {
  const MatchingNode* node = this;
  while (!node->root_) node = node->parent_.get();
  return *node->root_;
}

const MatchingNodesFactory* MatchingNode::factory() const { return rootContext().factory.get(); }

std::shared_ptr<const MatchingNodesFactory> MatchingNode::rootFactory() const {
  return rootContext().factory;
}

const ScanLocationPtr& MatchingNode::scanLocation() const { return rootContext().scanLocation; }

MatchingNode::~MatchingNode() {
  delete exactFileHash_.load();
  delete facts_.load();
}

std::string_view MatchingNode::name() const {
  if (parent_) return name_;
  if (!name_.empty()) return lastPathComponent(name_);
  const ScanLocationPtr& location = scanLocation();
  return location ? lastPathComponent(location->path()) : std::string_view();
}

void MatchingNode::appendRelativePath(std::string& out) const {
  if (parent_) {
    parent_->appendRelativePath(out);
    if (!out.empty()) out += '/';
  }
  out += name_;
}

std::string MatchingNode::relativePath() const {
  std::string relative;
  appendRelativePath(relative);
  return relative;
}

std::string MatchingNode::path() const {
  const std::string relative = relativePath();
  const ScanLocationPtr& location = scanLocation();
  const std::string& base = location ? location->path() : std::string();
  return relative.empty() ? base : appendingPathComponent(base, relative);
}

NodeLocation MatchingNode::location() const {
  return NodeLocation::fromRelativePath(scanLocation(), relativePath());
}

std::string_view MatchingNode::pathExtension() const { return zarnik::pathExtension(name()); }

std::optional<ExactFileHash> MatchingNode::exactFileHash() const {
  const ExactFileHash* hash = exactFileHash_.load(std::memory_order_acquire);
  if (hash == nullptr) return std::nullopt;
  return *hash;
}

void MatchingNode::setExactFileHash(const ExactFileHash& hash) {
  // A node is hashed once; a second hash (a re-offered node) replaces the first.
  delete exactFileHash_.exchange(new ExactFileHash(hash), std::memory_order_acq_rel);
}

NodeValidationReport MatchingNode::validationReport() const {
  NodeValidationReport report;
  report.isIgnored = isIgnored_;
  report.membershipMode = membershipMode_;
  if (LazyFacts* known = facts_.load(std::memory_order_acquire)) {
    std::lock_guard lock(known->mutex);
    report.pathsToEnumerate = known->pathsToEnumerate;
  }
  return report;
}

void MatchingNode::setValidationReport(const NodeValidationReport& report) {
  isIgnored_ = report.isIgnored;
  membershipMode_ = report.membershipMode;
  if (!report.pathsToEnumerate.empty()) {
    LazyFacts& known = facts();
    std::lock_guard lock(known.mutex);
    known.pathsToEnumerate = report.pathsToEnumerate;
  }
}

MatchingNode::LazyFacts& MatchingNode::facts() const {
  if (LazyFacts* known = facts_.load(std::memory_order_acquire)) return *known;
  auto* fresh = new LazyFacts();
  LazyFacts* expected = nullptr;
  if (facts_.compare_exchange_strong(expected, fresh, std::memory_order_acq_rel)) return *fresh;
  delete fresh;  // another thread made them first
  return *expected;
}

const std::optional<BundleInfo>& MatchingNode::bundleInfo() const {
  static const std::optional<BundleInfo> kNone;
  if (attributes_.vnodeType != VNodeType::directory || !attributes_.hasBundle) return kNone;
  LazyFacts& known = facts();
  std::lock_guard lock(known.mutex);
  if (!known.isBundleInfoFetched) {
    known.bundleInfo = BundleInfo::fromBundle(path());
    known.isBundleInfoFetched = true;
  }
  return known.bundleInfo;  // never changes once fetched
}

void MatchingNode::fetchImageInfoIfNeeded(bool wantsHash) const {
  LazyFacts& known = facts();
  std::lock_guard lock(known.mutex);
  if (known.isImageInfoFetched && (!wantsHash || known.isImageHashFetched)) return;
  const MatchingNodesFactory* nodesFactory = factory();
  static const ImageProcessor kNoProcessor;
  const ImageProcessor& processor =
      nodesFactory != nullptr ? nodesFactory->imageProcessor() : kNoProcessor;
  ImageFacts processed;
  if (processor) processed = processor(*this, wantsHash);
  known.imageInfo = std::move(processed.info);
  known.isImageInfoFetched = true;
  if (wantsHash) {
    known.imageHash = std::move(processed.hashes);
    known.isImageHashFetched = true;
  }
}

std::optional<ImageInfo> MatchingNode::imageInfo() const {
  fetchImageInfoIfNeeded(false);
  LazyFacts& known = facts();
  std::lock_guard lock(known.mutex);
  return known.imageInfo;
}

std::vector<std::uint64_t> MatchingNode::imageHash() const {
  fetchImageInfoIfNeeded(true);
  LazyFacts& known = facts();
  std::lock_guard lock(known.mutex);
  return known.imageHash;
}

void MatchingNode::setAudioInfo(AudioInfo info) {
  LazyFacts& known = facts();
  std::lock_guard lock(known.mutex);
  known.audioInfo = std::move(info);
}

std::optional<AudioInfo> MatchingNode::audioInfo() const {
  LazyFacts* known = facts_.load(std::memory_order_acquire);
  if (known == nullptr) return std::nullopt;
  std::lock_guard lock(known->mutex);
  return known->audioInfo;
}

NodeType MatchingNode::type() const {
  if (const std::int8_t known = type_.load(std::memory_order_acquire); known != kUnknown) {
    return static_cast<NodeType>(known);
  }
  NodeTypeDetectionInput input;
  input.pathExtension = pathExtension();
  const MatchingNodesFactory* nodesFactory = factory();
  input.shouldDetectMediaLibraries =
      nodesFactory != nullptr && nodesFactory->detectsMediaLibraries();
  input.typeIdentifier = attributes_.UTIType;
  input.vnodeType = attributes_.vnodeType;
  if (attributes_.isApplication.value_or(false)) {
    const auto& info = bundleInfo();
    input.hasBundleInfo = info.has_value();
    input.isValidApplication = info && info->bundleIdentifier.has_value();
  }
  std::int8_t detected = static_cast<std::int8_t>(detectTypeOfNodeWithAttributes(input));
  // An override stored meanwhile wins over the detected type.
  std::int8_t expected = kUnknown;
  if (!type_.compare_exchange_strong(expected, detected, std::memory_order_acq_rel))
    detected = expected;
  return static_cast<NodeType>(detected);
}

bool MatchingNode::isEnumerationAllowed() const {
  // An ignored folder is not walked unless its rule keeps its insides (transparent and
  // untouchable containers); paths whitelisted inside it are walked on their own.
  if (isIgnored_ && membershipMode_ == ContainerMembershipMode::regular) return false;
  return attributes_.vnodeType == VNodeType::directory && zarnik::isEnumerationAllowed(type());
}

bool MatchingNode::isChildOfBundle() const {
  // Inside a bundle when the parent is a bundle (a package folder) or is itself inside one.
  std::int8_t known = isChildOfBundle_.load(std::memory_order_relaxed);
  if (known == kUnknown) {
    known = parent_ && (parent_->attributes().hasBundle || parent_->isChildOfBundle()) ? 1 : 0;
    isChildOfBundle_.store(known, std::memory_order_relaxed);
  }
  return known == 1;
}

bool MatchingNode::isModelingIntoDuplicateAllowed() const {
  if (attributes_.vnodeType == VNodeType::symbolicLink) return false;
  if (isChildOfBundle() || isIgnored_) return false;
  if (!parent_) return true;
  return parent_->claimers.rawValue < Claimers::directoryMatch;
}

NodeContent MatchingNode::storableContent() const {
  NodeContent content;
  if (auto hash = exactFileHash()) content.exactFileHashData = hash->dataBytes();
  if (attributes_.hasBundle) content.bundleInfo = bundleInfo();
  if (LazyFacts* known = facts_.load(std::memory_order_acquire)) {
    std::lock_guard lock(known->mutex);
    content.imageInfo = known->imageInfo;
    content.audioInfo = known->audioInfo;
  }
  return content;
}

std::shared_ptr<ZKBaseNode> MatchingNode::buildStorableNode() const {
  std::optional<CloudService> cloud;
  if (const MatchingNodesFactory* nodesFactory = factory())
    cloud = nodesFactory->cloudFolders().serviceForPath(path());
  if (isDirectory()) {
    const auto* directory = static_cast<const MatchingDirectoryNode*>(this);
    return std::make_shared<ZKDirectoryNode>(location(), attributes_, storableContent(), type(),
                                             cloud, directory->mediaLibraryInfo());
  }
  return std::make_shared<ZKFileNode>(location(), attributes_, storableContent(), type(), cloud);
}

namespace {

std::shared_ptr<const ZKDirectoryNode> storableLibrary(
    const std::shared_ptr<MatchingDirectoryNode>& library) {
  return library ? std::dynamic_pointer_cast<const ZKDirectoryNode>(library->buildStorableNode())
                 : nullptr;
}

std::shared_ptr<const ZKBaseNode> storable(const MatchingNodePtr& node) {
  return node ? node->buildStorableNode() : nullptr;
}

const MatchingNodePtr& firstPart(const MatchingNodePtr& master, const MatchingNodePtr& preview,
                                 const std::vector<MatchingNodePtr>& thumbnails) {
  static const MatchingNodePtr kNone;
  if (master) return master;
  if (preview) return preview;
  return thumbnails.empty() ? kNone : thumbnails.front();
}

std::vector<MatchingNodePtr> partsOf(const MatchingNodePtr& master, const MatchingNodePtr& preview,
                                     const std::vector<MatchingNodePtr>& thumbnails) {
  std::vector<MatchingNodePtr> parts;
  if (master) parts.push_back(master);
  if (preview) parts.push_back(preview);
  parts.insert(parts.end(), thumbnails.begin(), thumbnails.end());
  return parts;
}

}  // namespace

std::shared_ptr<ZKBaseNode> MatchingITunesItemNode::buildStorableNode() const {
  return std::make_shared<ZKITunesLibraryItemNode>(location(), attributes(), storableContent(),
                                                   type(), iTunesItemInfo_, mediaItemIdentifier_,
                                                   storableLibrary(libraryNode_));
}

MatchingPhotosItemNode::MatchingPhotosItemNode(std::shared_ptr<MatchingDirectoryNode> libraryNode,
                                               PhotosItemInfo photosItemInfo,
                                               const MatchingNodePtr& masterNode,
                                               const MatchingNodePtr& previewNode,
                                               const std::vector<MatchingNodePtr>& thumbnailNodes)
    // The parts are copied, not moved: `first` refers to one of them while the others are passed.
    : MatchingPhotosItemNode(firstPart(masterNode, previewNode, thumbnailNodes),
                             std::move(libraryNode), std::move(photosItemInfo), masterNode,
                             previewNode, thumbnailNodes) {}

MatchingPhotosItemNode::MatchingPhotosItemNode(const MatchingNodePtr& first,
                                               std::shared_ptr<MatchingDirectoryNode> libraryNode,
                                               PhotosItemInfo photosItemInfo,
                                               MatchingNodePtr masterNode,
                                               MatchingNodePtr previewNode,
                                               std::vector<MatchingNodePtr> thumbnailNodes)
    : MatchingCompositeNode(first ? first->rootFactory() : nullptr, nullptr,
                            first ? first->relativePath() : std::string(),
                            first ? first->attributes() : NodeAttributes{},
                            first ? first->scanLocation() : nullptr,
                            partsOf(masterNode, previewNode, thumbnailNodes)),
      libraryNode_(std::move(libraryNode)),
      photosItemInfo_(std::move(photosItemInfo)),
      masterNode_(std::move(masterNode)),
      previewNode_(std::move(previewNode)),
      thumbnailNodes_(std::move(thumbnailNodes)) {
  // Shown as the image it is, whatever its parts' own file types.
  overrideType(contentNode() && contentNode()->type() == NodeType::video ? NodeType::video
                                                                         : NodeType::image);
}

const MatchingNodePtr& MatchingPhotosItemNode::contentNode() const {
  static const MatchingNodePtr kNone;
  if (masterNode_) return masterNode_;
  return previewNode_ ? previewNode_ : kNone;
}

std::vector<MatchingNodePtr> MatchingPhotosItemNode::contentStandIns() const {
  if (const auto& content = contentNode()) return {content};
  return {};
}

bool MatchingPhotosItemNode::isModelingIntoDuplicateAllowed() const {
  // An item is one image: it stands for its parts, which never count on their own, and it
  // needs an original or a preview to be compared by.
  const auto& content = contentNode();
  return isProcessingAllowed() && content != nullptr &&
         content->attributes().vnodeType == VNodeType::regular;
}

std::shared_ptr<ZKBaseNode> MatchingPhotosItemNode::buildStorableNode() const {
  std::vector<ZKPhotosLibraryItemNode::NodePtr> thumbnails;
  for (const auto& thumbnail : thumbnailNodes_) thumbnails.push_back(storable(thumbnail));
  return std::make_shared<ZKPhotosLibraryItemNode>(
      location(), attributes(), storableContent(), photosItemInfo_.identifier,
      storableLibrary(libraryNode_), photosItemInfo_, storable(masterNode_), storable(previewNode_),
      std::move(thumbnails));
}

MatchingDirectoryNode::MatchingDirectoryNode(std::shared_ptr<const MatchingNodesFactory> factory,
                                             std::shared_ptr<MatchingDirectoryNode> parent,
                                             std::string name, NodeAttributes attributes,
                                             ScanLocationPtr scanLocation,
                                             std::optional<CloudService> rootOfCloudService)
    : MatchingNode(std::move(factory), std::move(parent), std::move(name), attributes,
                   std::move(scanLocation)),
      rootOfCloudService_(rootOfCloudService) {}

void MatchingDirectoryNode::ChildHashesAccumulator::insert(std::optional<std::uint64_t> childHash,
                                                           ByteCount childSize) {
  size_ += childSize;
  if (!childHash) return;
  if (!childHashes_.empty() && childHashes_.back() > *childHash) needsToNormalize_ = true;
  childHashes_.push_back(*childHash);
  hashValue_ = combined(hashValue_, *childHash);
}

void MatchingDirectoryNode::ChildHashesAccumulator::normalizeIfNeeded() {
  if (!needsToNormalize_) return;
  std::sort(childHashes_.begin(), childHashes_.end());
  hashValue_ = 0;
  for (std::uint64_t hash : childHashes_) hashValue_ = combined(hashValue_, hash);
  needsToNormalize_ = false;
}

std::uint64_t MatchingDirectoryNode::ChildHashesAccumulator::combined(std::uint64_t value,
                                                                      std::uint64_t hash) {
  // Order-dependent, as the sorted list is what is compared.
  return (value ^ hash) * 0x100000001B3ULL + 0x9E3779B97F4A7C15ULL;
}

bool MatchingDirectoryNode::isModelingIntoDuplicateAllowed() const {
  const bool holdsNothingToMatch = numberOfNodes.load() <= numberOfEmptyChildDirectories.load() ||
                                   numberOfMatchableNodes.load() == 0;
  if (holdsNothingToMatch && type() != NodeType::macApplication) return false;
  return MatchingNode::isModelingIntoDuplicateAllowed();
}

}  // namespace zarnik
