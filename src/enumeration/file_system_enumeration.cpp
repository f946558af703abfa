#include "enumeration/file_system_enumeration.h"

#include "base/path_components.h"
#include "file_model/media_info.h"
#include "foundation/logger.h"
#include "platform/file_descriptor.h"
#include "platform/file_opening.h"
#include "platform/resource_values.h"

#include <algorithm>

namespace zarnik {
namespace {

constexpr const char* kLogAuthor = "FileSystemEnumeration";

}  // namespace

namespace enumeration_filters {

EnumerationFilter image() {
  return [](std::string_view path, const NodeAttributes& attributes) {
    if (attributes.vnodeType == VNodeType::directory) return true;
    NodeTypeDetectionInput input;
    input.pathExtension = pathExtension(path);
    input.typeIdentifier = attributes.UTIType;
    input.vnodeType = attributes.vnodeType;
    input.shouldDetectMediaLibraries = true;
    const NodeType type = detectTypeOfNodeWithAttributes(input);
    return type == NodeType::image || type == NodeType::apertureLibrary ||
           type == NodeType::iPhotoLibrary || type == NodeType::photosLibrary;
  };
}

EnumerationFilter minimumSize(ByteCount size) {
  return [size](std::string_view, const NodeAttributes& attributes) {
    return attributes.vnodeType == VNodeType::directory || attributes.exactSize > size;
  };
}

EnumerationFilter allOf(std::vector<EnumerationFilter> filters) {
  return [filters = std::move(filters)](std::string_view path, const NodeAttributes& attributes) {
    return std::all_of(filters.begin(), filters.end(),
                       [&](const auto& f) { return !f || f(path, attributes); });
  };
}

}  // namespace enumeration_filters

std::vector<EnumerationSpecification> EnumerationSpecification::acceptableSpecifications(
    const std::vector<LocationSpecification>& locations, const ExtendedScanRules& /*scanRules*/,
    const OVURLResolver& /*resolver*/) {
  std::vector<std::pair<size_t, PathComponents>> candidates;
  for (size_t i = 0; i < locations.size(); ++i) {
    const auto& location = locations[i].scanLocation;
    if (!location || !location->url()) continue;
    candidates.emplace_back(i, location->pathComponents());
  }
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const auto& a, const auto& b) { return a.second.size() < b.second.size(); });
  std::vector<std::pair<size_t, PathComponents>> kept;
  for (auto& candidate : candidates) {
    const bool covered = std::any_of(kept.begin(), kept.end(), [&](const auto& k) {
      return hasComponentPrefix(candidate.second, k.second);
    });
    if (!covered) kept.push_back(std::move(candidate));
  }
  std::sort(kept.begin(), kept.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<EnumerationSpecification> result;
  for (const auto& [index, components] : kept) {
    const auto& location = locations[index];
    result.push_back({*location.scanLocation->url(), location.scanLocation, location.filter});
  }
  return result;
}

std::shared_ptr<FileSystemFastEnumeration> MatchingNodesEnumerator::enumerate(
    const std::vector<EnumerationSpecification>& specifications,
    const MatchingNodesFactory& factory, const std::shared_ptr<OperationQueue>& operationQueue,
    const EnumerationOptions& options, StatusFunction status, NodeHandler processNode,
    ErrorHandler errorHandler, NodesHandler processNodes) {
  auto enumeration = std::make_shared<FileSystemFastEnumeration>(
      factory, operationQueue, options, std::move(status), std::move(processNode),
      std::move(errorHandler), std::move(processNodes));
  for (const auto& specification : specifications)
    enumeration->enumerateSpecification(specification);
  if (options.shouldWaitUntilFinish) enumeration->waitUntilFinished();
  return enumeration;
}

FileSystemFastEnumeration::FileSystemFastEnumeration(
    const MatchingNodesFactory& factory, std::shared_ptr<OperationQueue> queue,
    EnumerationOptions options, MatchingNodesEnumerator::StatusFunction status,
    MatchingNodesEnumerator::NodeHandler processNode,
    MatchingNodesEnumerator::ErrorHandler errorHandler,
    MatchingNodesEnumerator::NodesHandler processNodes)
    : factory_(factory),
      queue_(std::move(queue)),
      options_(std::move(options)),
      status_(std::move(status)),
      processNode_(std::move(processNode)),
      errorHandler_(std::move(errorHandler)),
      processNodes_(std::move(processNodes)) {}

void FileSystemFastEnumeration::enumerateSpecification(
    const EnumerationSpecification& specification) {
  auto shared = std::make_shared<const EnumerationSpecification>(specification);
  auto values = readResourceValues(specification.url);
  if (values.hasError()) {
    handleEnumerationError(values.error());
    return;
  }
  auto attributes = NodeAttributes::urlValuesByKey(values.value());
  if (!attributes) {
    handleEnumerationError(
        Error::generic("Not a regular file, folder or symbolic link.", specification.url));
    return;
  }
  auto relative = specification.scanLocation->relativePath(specification.url);
  if (!relative) {
    handleEnumerationError(
        Error::generic("The item is not inside its scan location.", specification.url));
    return;
  }
  auto root = factory_.buildNode(nullptr, std::move(*relative), specification.url, *attributes,
                                 specification.scanLocation);
  queue({std::move(root), std::move(shared)});
}

void FileSystemFastEnumeration::queue(EnumerationRequest request) {
  outstandingRequests_.enter();
  queue_->addOperation([self = shared_from_this(), request = std::move(request)]() mutable {
    self->process(std::move(request));
    self->outstandingRequests_.leave();
  });
}

void FileSystemFastEnumeration::resume() {
  std::vector<EnumerationRequest> parked;
  {
    std::lock_guard lock(queuedRequestsLock_);
    parked.swap(queuedRequests_);
  }
  for (auto& request : parked) {
    queue(std::move(request));
    outstandingRequests_.leave();  // entered when it was parked
  }
}

void FileSystemFastEnumeration::waitUntilFinished() { outstandingRequests_.wait(); }

Future<Void> FileSystemFastEnumeration::whenFinished() {
  Promise<Void> finished;
  outstandingRequests_.notify(Executor::immediate(),
                              [finished]() mutable { finished.succeed(Void{}); });
  return finished.future();
}

bool FileSystemFastEnumeration::deferredWhileBacklogIsFull(EnumerationRequest& request) {
  if (!options_.backlog) return false;
  outstandingRequests_.enter();  // until the kept step has queued the request again
  Task step = [self = shared_from_this(), request] {
    self->queue(request);
    self->outstandingRequests_.leave();
  };
  if (options_.backlog->deferIfFull(step)) return true;
  outstandingRequests_.leave();
  return false;
}

size_t FileSystemFastEnumeration::parkedRequestCount() const {
  std::lock_guard lock(queuedRequestsLock_);
  return queuedRequests_.size();
}

bool FileSystemFastEnumeration::isDirectoryListable(const MatchingNode& node) const {
  if (!node.isEnumerationAllowed()) return false;
  if (!options_.isBundleContentAllowed && node.attributes().hasBundle) return false;
  return !isMediaLibrary(node.type());
}

void FileSystemFastEnumeration::process(EnumerationRequest request) {
  const FileSystemEnumerationStatus status =
      !canPerformHeavyActivities() ? FileSystemEnumerationStatus::canceled
                                   : (status_ ? status_() : FileSystemEnumerationStatus::allowed);
  if (status == FileSystemEnumerationStatus::paused) {
    outstandingRequests_.enter();  // until resumed
    std::lock_guard lock(queuedRequestsLock_);
    queuedRequests_.push_back(std::move(request));
    return;
  }
  if (status == FileSystemEnumerationStatus::canceled) return;
  if (!request.node->isDirectory() || !isDirectoryListable(*request.node)) {
    handleNode(request.node, request.specification);
    return;
  }
  if (deferredWhileBacklogIsFull(request)) return;
  listDirectory(request);
}

void FileSystemFastEnumeration::listDirectory(const EnumerationRequest& request) {
  const auto directory = std::static_pointer_cast<MatchingDirectoryNode>(request.node);
  const std::string directoryPath = directory->path();
  auto fd = openFolderForListing(directoryPath, request.specification->scanLocation->path(),
                                 directory->relativePath());
  if (fd.hasError()) {
    // An unlistable folder still reaches the handler; only its contents are missing.
    handleEnumerationError(fd.error());
    handleNode(directory, request.specification);
    return;
  }
  const int dirfd = fd.value().get();
  const auto& mediaFolder = factory_.mediaFolderOfCurrentITunesLibrary();
  bool hasLibraryDatabase = false;
  bool holdsMediaFolder = false;
  std::vector<MatchingNodePtr> childDirectories;
  std::vector<MatchingNodePtr> childItems;

  auto listed = forEachDirectoryEntry(dirfd, directoryPath, [&](const char* entryName) {
    std::string name(entryName);
    // A working copy is a project of its own, not a copy of a folder, whatever it holds; nor is
    // its repository.
    const bool isRepository = name == ".git";
    if (isRepository) directory->markNeverACopy();
    std::string path = appendingPathComponent(directoryPath, name);
    auto values = readResourceValuesAt(dirfd, entryName, path);
    if (values.hasError()) {
      if (values.error().code != ENOENT) handleEnumerationError(values.error());
      return;  // vanished since it was listed
    }
    auto attributes = NodeAttributes::urlValuesByKey(values.value());
    if (!attributes) return;  // FIFOs, sockets and devices never become nodes
    if (request.specification->filter && !request.specification->filter(path, *attributes)) return;
    if (BundleInfo::iTunesDBFileNames().count(name) != 0) hasLibraryDatabase = true;
    if (mediaFolder && (*mediaFolder == path ||
                        hasComponentPrefix(pathComponents(*mediaFolder), pathComponents(path)))) {
      holdsMediaFolder = true;
    }
    const bool isDirectory = attributes->vnodeType == VNodeType::directory;
    if (isDirectory && !options_.recursively) return;
    auto child = factory_.buildNode(directory, std::move(name), path, *attributes,
                                    request.specification->scanLocation);
    if (isRepository && isDirectory)
      std::static_pointer_cast<MatchingDirectoryNode>(child)->markNeverACopy();
    (isDirectory ? childDirectories : childItems).push_back(std::move(child));
  });
  if (listed.hasError()) handleEnumerationError(listed.error());

  if (factory_.detectsMediaLibraries() && hasLibraryDatabase && holdsMediaFolder) {
    directory->overrideType(NodeType::iTunesLibrary);
    factory_.addMediaLibraryNode(directory);
    handleNode(directory, request.specification);
    return;
  }
  // Folders become operations of their own; other items need no listing, so this operation
  // hands them over itself (an operation per file doubled the walk's time in bench/enumeration).
  for (auto& child : childDirectories) queue({std::move(child), request.specification});
  childItems.push_back(directory);
  handleNodes(childItems, request.specification);
}

void FileSystemFastEnumeration::handleNodes(
    const std::vector<MatchingNodePtr>& nodes,
    const std::shared_ptr<const EnumerationSpecification>& specification) {
  // Paths whitelisted inside an excluded item are walked as further locations of the same scan.
  if (options_.recursively && options_.shouldEnumerateWhitelistedPaths) {
    for (const auto& node : nodes) {
      for (const auto& path : node->validationReport().pathsToEnumerate) {
        enumerateSpecification({path, specification->scanLocation, specification->filter});
      }
    }
  }
  if (processNodes_) {
    processNodes_(nodes);
  } else if (processNode_) {
    for (const auto& node : nodes) processNode_(node, node->url());
  }
}

void FileSystemFastEnumeration::handleNode(
    const MatchingNodePtr& node,
    const std::shared_ptr<const EnumerationSpecification>& specification) {
  handleNodes({node}, specification);
}

void FileSystemFastEnumeration::handleEnumerationError(const Error& error) {
  Logger::shared().log(kLogAuthor, "handleEnumerationError(_:error:)", error.description,
                       LogContext::at(error.path, true));
  if (errorHandler_) errorHandler_(error);
}

}  // namespace zarnik
