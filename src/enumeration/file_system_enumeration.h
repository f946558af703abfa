// The parallel walk of scan locations into matching nodes. Every folder is listed one level
// deep by one operation on the caller's operation queue; each subfolder found becomes a new
// operation, so several folders are read at once and matching of early nodes starts while the
// walk goes on. Symbolic links are never followed and special files never opened: each item
// costs one statx call relative to its folder's descriptor.
#pragma once

#include "base/result.h"
#include "foundation/backlog.h"
#include "foundation/cancellation_mode.h"
#include "foundation/dispatch_group.h"
#include "foundation/future.h"
#include "foundation/operation_queue.h"
#include "matching/matching_nodes_factory.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zarnik {

// Decides from an item's path and attributes whether it is wanted. Folders always pass the
// offered filters.
using EnumerationFilter =
    std::function<bool(std::string_view path, const NodeAttributes& attributes)>;

namespace enumeration_filters {
[[nodiscard]] EnumerationFilter image();
// Items larger than `size` bytes.
[[nodiscard]] EnumerationFilter minimumSize(ByteCount size);
[[nodiscard]] EnumerationFilter allOf(std::vector<EnumerationFilter> filters);
}  // namespace enumeration_filters

struct LocationSpecification {
  ScanLocationPtr scanLocation;
  EnumerationFilter filter;  // empty: every item
};

struct EnumerationSpecification {
  std::string url;
  ScanLocationPtr scanLocation;
  EnumerationFilter filter;

  // Drops locations without a URL and locations inside (or equal to) another one, by whole
  // path components: "/a/b" goes when "/a" is chosen, "/ab" stays. Keeps the input order.
  static std::vector<EnumerationSpecification> acceptableSpecifications(
      const std::vector<LocationSpecification>& locations, const ExtendedScanRules& scanRules,
      const OVURLResolver& resolver);
};

enum class FileSystemEnumerationStatus { allowed, paused, canceled };

// A cancellable piece of enumeration work; the first cancellation wins.
class EnumerationSubtask {
 public:
  virtual ~EnumerationSubtask() = default;
  void cancel(CancellationMode mode) { mode_.cancel(mode); }
  [[nodiscard]] std::optional<CancellationMode> mode() const { return mode_.mode(); }
  [[nodiscard]] bool canPerformLightActivities() const {
    return zarnik::canPerformLightActivities(mode());
  }
  [[nodiscard]] bool canPerformHeavyActivities() const {
    return zarnik::canPerformHeavyActivities(mode());
  }

 private:
  AtomicCancellationMode mode_;
};

struct EnumerationOptions {
  bool recursively = true;
  bool shouldEnumerateWhitelistedPaths = true;
  bool isBundleContentAllowed = true;
  bool shouldWaitUntilFinish = true;
  // When given, no further folder is listed while it is full: the walk goes on as the nodes
  // handed over are matched.
  std::shared_ptr<Backlog> backlog;
};

class FileSystemFastEnumeration;

class MatchingNodesEnumerator {
 public:
  using StatusFunction = std::function<FileSystemEnumerationStatus()>;
  // Called concurrently from the enumeration threads.
  using NodeHandler = std::function<void(const MatchingNodePtr& node, const std::string& url)>;
  // Items and folders that could not be read: logged by the walk, reported here, skipped.
  using ErrorHandler = std::function<void(const Error& error)>;
  // Optional: the nodes of one listing at once (its items, then the folder), instead of one
  // call per node. Called concurrently from the enumeration threads.
  using NodesHandler = std::function<void(const std::vector<MatchingNodePtr>& nodes)>;

  static std::shared_ptr<FileSystemFastEnumeration> enumerate(
      const std::vector<EnumerationSpecification>& specifications,
      const MatchingNodesFactory& factory, const std::shared_ptr<OperationQueue>& operationQueue,
      const EnumerationOptions& options, StatusFunction status, NodeHandler processNode,
      ErrorHandler errorHandler = {}, NodesHandler processNodes = {});
};

class FileSystemFastEnumeration final
    : public EnumerationSubtask,
      public std::enable_shared_from_this<FileSystemFastEnumeration> {
 public:
  FileSystemFastEnumeration(const MatchingNodesFactory& factory,
                            std::shared_ptr<OperationQueue> queue, EnumerationOptions options,
                            MatchingNodesEnumerator::StatusFunction status,
                            MatchingNodesEnumerator::NodeHandler processNode,
                            MatchingNodesEnumerator::ErrorHandler errorHandler,
                            MatchingNodesEnumerator::NodesHandler processNodes = {});

  void enumerateSpecification(const EnumerationSpecification& specification);
  // Queues the requests parked while the status said paused.
  void resume();
  // Returns once every folder has been listed and every node handed over: a paused walk, or
  // one waiting for its backlog, is not finished.
  void waitUntilFinished();
  // Completes at the same moment, without blocking a thread until then.
  [[nodiscard]] Future<Void> whenFinished();
  [[nodiscard]] size_t parkedRequestCount() const;

 private:
  struct EnumerationRequest {
    MatchingNodePtr node;
    std::shared_ptr<const EnumerationSpecification> specification;
  };
  void queue(EnumerationRequest request);
  void process(EnumerationRequest request);
  // Keeps `request` for when the backlog is no longer full, if it is full now.
  [[nodiscard]] bool deferredWhileBacklogIsFull(EnumerationRequest& request);
  void listDirectory(const EnumerationRequest& request);
  void handleNode(const MatchingNodePtr& node,
                  const std::shared_ptr<const EnumerationSpecification>& specification);
  void handleNodes(const std::vector<MatchingNodePtr>& nodes,
                   const std::shared_ptr<const EnumerationSpecification>& specification);
  void handleEnumerationError(const Error& error);
  [[nodiscard]] bool isDirectoryListable(const MatchingNode& node) const;

  const MatchingNodesFactory& factory_;
  std::shared_ptr<OperationQueue> queue_;
  EnumerationOptions options_;
  MatchingNodesEnumerator::StatusFunction status_;
  MatchingNodesEnumerator::NodeHandler processNode_;
  MatchingNodesEnumerator::ErrorHandler errorHandler_;
  MatchingNodesEnumerator::NodesHandler processNodes_;
  mutable std::recursive_mutex queuedRequestsLock_;
  std::vector<EnumerationRequest> queuedRequests_;
  // Counts the requests queued, parked or deferred and not yet done.
  DispatchGroup outstandingRequests_;
};

}  // namespace zarnik
