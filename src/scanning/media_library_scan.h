// MediaLibraryScan: a scan's music and photo libraries, listed item by item from their own files
// before the walk. Each item is handed to the scan as it is listed; the files of the items are
// remembered, so that the walk, meeting them again, leaves them to their library items.
//
// Progress: a library counts for a fixed share of the scan's nodes (its item count is known only
// once its file is read), credited item by item as the items are listed, and whole at the end.
//
// Threads: `listAll` runs once, before the walk, and returns when every library is listed;
// `holdsFile` is read by the walk's threads after it; `cancel` and the progress may be called
// from any thread.
#pragma once

#include "enumeration/media_library_enumeration.h"
#include "enumeration/media_library_locations.h"
#include "foundation/operation_queue.h"

#include <atomic>
#include <functional>
#include <memory>
#include <unordered_set>
#include <vector>

namespace zarnik {

class MediaLibraryScan {
 public:
  struct Hooks {
    std::function<bool()> canContinue;
    std::function<void(const MatchingNodePtr&)> matchItem;
    std::function<void()> progressed;
    std::function<void(const Error&)> reportFailure;  // a library that cannot be read, once
  };

  // `itemLocations`: the scan's locations; items are placed under the innermost one holding
  // them, or the home folder.
  MediaLibraryScan(std::shared_ptr<MatchingNodesFactory> factory, OVURLResolver resolver,
                   std::vector<ScanLocationPtr> itemLocations, Executor& workExecutor, Hooks hooks);

  // Lists every library and matches its items; a library that cannot be read is logged,
  // reported once and skipped.
  void listAll(const std::vector<MediaLibraryLocation>& libraries);
  void cancel(CancellationMode mode) { service_.cancel(mode); }

  // Whether the file belongs to a listed library item.
  [[nodiscard]] bool holdsFile(const FileId& file) const { return files_.count(file) != 0; }
  [[nodiscard]] bool holdsAnyFile() const { return !files_.empty(); }
  // The libraries' shares of the scan's nodes, to match and matched so far.
  [[nodiscard]] double sharesToMatch() const;
  [[nodiscard]] double sharesMatched() const;

 private:
  void list(const MediaLibraryLocation& library);
  [[nodiscard]] std::shared_ptr<MatchingDirectoryNode> makeLibraryNode(
      const MediaLibraryLocation& library) const;
  // Lists one library's file through its task; `credit` is called with each item's share.
  Result<std::vector<MatchingNodePtr>> listItems(const MediaLibraryLocation& library,
                                                 const std::shared_ptr<MatchingDirectoryNode>& node,
                                                 double share,
                                                 const std::function<void(double)>& credit);
  void matchItem(const MatchingNodePtr& node);
  void credit(double nodes);

  const std::shared_ptr<MatchingNodesFactory> factory_;
  const OVURLResolver resolver_;
  const Hooks hooks_;
  MediaLibraryEnumerationService service_;
  std::unordered_set<FileId, FileIdHash> files_;  // filled by listAll only
  // Shares in millionths of a node, so that the walk's threads read them without a lock.
  std::atomic<std::int64_t> millionthsToMatch_{0};
  std::atomic<std::int64_t> millionthsMatched_{0};
};

}  // namespace zarnik
