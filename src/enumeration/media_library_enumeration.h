// Lists the items of music and photo libraries from the libraries' own files, so that each item
// node carries what its library knows of it (play counts, ratings, identity). One task per
// library, made by MediaLibraryEnumerationService: ITunesLibraryEnumerationTask reads a music
// library (the music application's XML list or Rhythmbox's rhythmdb.xml),
// PhotosLibraryEnumerationTask a photo library (a Photos library's database or, without one, its
// Masters and Previews folders; Shotwell's photo.db). Another program's library file is only
// ever read, never written: a database is read with its program's write-ahead log when one is
// in use (waiting a moment at most), else as an immutable file, so a program writing to it at the
// same time neither waits for the scan nor makes it wait long.
//
// A task reports as it goes, on its own serial queue (the report handler is called there, one
// report at a time) and completes its future with every node made. A library that cannot be read
// fails the task with an error naming its file; a listed file that is gone is reported through
// the error handler and skipped.
#pragma once

#include "enumeration/file_system_enumeration.h"
#include "enumeration/media_library_records.h"
#include "foundation/future.h"
#include "foundation/serial_queue.h"
#include "matching/matching_nodes_factory.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zarnik {

inline constexpr std::string_view kMediaLibraryEnumerationErrorDomain =
    "MediaLibraryEnumerationError";
inline constexpr std::string_view kItemResourceProviderErrorDomain = "ItemResourceProviderError";

enum class MediaLibraryEnumerationErrorCode { invalidLibraryURL = -1 };
enum class ItemResourceProviderErrorCode { fileNotFound = -1 };

[[nodiscard]] Error invalidLibraryURLError(const std::string& path, std::string reason);
[[nodiscard]] Error fileNotFoundError(const std::string& path, const std::string& libraryPath);

enum class MusicLibraryFormat { iTunesPropertyList, rhythmbox };
enum class PhotoLibraryFormat { photosLibrary, shotwell };

struct ITunesLibraryEnumerationRequest {
  std::shared_ptr<MatchingDirectoryNode> libraryNode;
  std::string libraryFile;  // the XML list or rhythmdb.xml
  MusicLibraryFormat format = MusicLibraryFormat::iTunesPropertyList;
};

struct ITunesLibraryEnumerationReport {
  enum class Kind {
    didDetectNumberOfTracks,
    didProcessTrack,
    didSkipProcessingTracks,
    didDetectNumberOfNodes
  };
  Kind kind = Kind::didDetectNumberOfTracks;
  std::int64_t count = 0;          // the numbers
  std::optional<std::string> url;  // didProcessTrack: the track's file
  MatchingNodePtr node;            // didProcessTrack: the node made of it, if any
};

struct ITunesLibraryEnumerationResult {
  std::vector<MatchingNodePtr> nodes;
};

struct PhotosLibraryEnumerationRequest {
  std::shared_ptr<MatchingDirectoryNode> libraryNode;
  // The library folder ("*.photoslibrary") or Shotwell's photo.db.
  std::string libraryPath;
  PhotoLibraryFormat format = PhotoLibraryFormat::photosLibrary;
};

struct PhotosLibraryEnumerationReport {
  enum class Kind { didDetectNumberOfItems, didFetchItem, didDetectNumberOfNodes };
  Kind kind = Kind::didDetectNumberOfItems;
  std::int64_t count = 0;
  std::optional<std::string> url;
  MatchingNodePtr node;  // didFetchItem: the item's node, if one was made
};

struct PhotosLibraryEnumerationResult {
  std::vector<MatchingNodePtr> nodes;
};

// What the tasks share: the scan's node factory, where failures of single items go, and where
// item nodes find their scan location.
struct MediaLibraryEnumerationContext {
  std::shared_ptr<const MatchingNodesFactory> factory;
  std::function<void(const Error&)> errorHandler;
  // Folders the items are placed under, the innermost holding an item chosen; "/" when none does.
  std::vector<ScanLocationPtr> itemLocations;
};

class ITunesLibraryEnumerationTask final
    : public EnumerationSubtask,
      public std::enable_shared_from_this<ITunesLibraryEnumerationTask> {
 public:
  using ReportHandler = std::function<void(const ITunesLibraryEnumerationReport&)>;
  ITunesLibraryEnumerationTask(ITunesLibraryEnumerationRequest request,
                               MediaLibraryEnumerationContext context);

  void setReportHandler(ReportHandler handler) { reportHandler_ = std::move(handler); }
  Future<ITunesLibraryEnumerationResult> start();
  // Lists the library on the calling thread, for a caller that would only wait for `start`.
  Result<ITunesLibraryEnumerationResult> listOnThisThread() { return run(); }

 private:
  Result<ITunesLibraryEnumerationResult> run();
  [[nodiscard]] std::string resolvedTrackPath(const LibraryTrack& track,
                                              const MusicLibraryListing& listing) const;
  void report(const ITunesLibraryEnumerationReport& report) const;

  ITunesLibraryEnumerationRequest request_;
  MediaLibraryEnumerationContext context_;
  std::shared_ptr<SerialQueue> internalQueue_;
  ReportHandler reportHandler_;
};

class PhotosLibraryEnumerationTask final
    : public EnumerationSubtask,
      public std::enable_shared_from_this<PhotosLibraryEnumerationTask> {
 public:
  using ReportHandler = std::function<void(const PhotosLibraryEnumerationReport&)>;
  PhotosLibraryEnumerationTask(PhotosLibraryEnumerationRequest request,
                               MediaLibraryEnumerationContext context, Executor& workExecutor);

  void setReportHandler(ReportHandler handler) { reportHandler_ = std::move(handler); }
  Future<PhotosLibraryEnumerationResult> start();
  // Lists the library on the calling thread, for a caller that would only wait for `start`.
  Result<PhotosLibraryEnumerationResult> listOnThisThread() { return run(); }

 private:
  Result<PhotosLibraryEnumerationResult> run();
  Result<PhotoLibraryListing> readListing() const;
  [[nodiscard]] MatchingNodePtr nodeOf(LibraryPicture picture) const;
  [[nodiscard]] MatchingNodePtr partNode(const std::string& path) const;
  void report(const PhotosLibraryEnumerationReport& report) const;

  PhotosLibraryEnumerationRequest request_;
  MediaLibraryEnumerationContext context_;
  Executor& workExecutor_;
  std::shared_ptr<SerialQueue> reportQueue_;
  ReportHandler reportHandler_;
};

class MediaLibraryEnumerationService {
 public:
  // `workExecutor`: the scan's work queue, where photo libraries are read.
  MediaLibraryEnumerationService(MediaLibraryEnumerationContext context, Executor& workExecutor);

  std::shared_ptr<ITunesLibraryEnumerationTask> perform(ITunesLibraryEnumerationRequest request);
  std::shared_ptr<PhotosLibraryEnumerationTask> perform(PhotosLibraryEnumerationRequest request);
  // Cancels every task made, and those made later.
  void cancel(CancellationMode mode);

 private:
  MediaLibraryEnumerationContext context_;
  Executor& workExecutor_;
  std::shared_ptr<SerialQueue> internalQueue_;
  std::optional<CancellationMode> cancellation_;          // internal queue only
  std::vector<std::weak_ptr<EnumerationSubtask>> tasks_;  // internal queue only
};

// The library facts a library folder node carries.
[[nodiscard]] MediaLibraryInfo rhythmboxLibraryInfo(bool isDefault);
[[nodiscard]] MediaLibraryInfo shotwellLibraryInfo();

}  // namespace zarnik
