#include "enumeration/media_library_enumeration.h"

#include "base/path_components.h"
#include "enumeration/music_library_files.h"
#include "enumeration/photo_library_databases.h"
#include "foundation/logger.h"
#include "platform/file_reading.h"
#include "platform/folder_listing.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <map>

namespace zarnik {
namespace {

constexpr size_t kMaximumFolderDepth = 16;

// The innermost location holding `path`, else the root folder.
ScanLocationPtr locationOf(const std::string& path, const MediaLibraryEnumerationContext& context) {
  ScanLocationPtr best;
  for (const auto& location : context.itemLocations) {
    if (!location || !isPathAtOrBelow(path, location->path())) continue;
    if (!best || location->path().size() > best->path().size()) best = location;
  }
  return best ? best : ScanLocation::make("/", context.factory->resolver());
}

// The Photos library's database: the newer name first.
std::optional<std::string> photosLibraryDatabase(const std::string& libraryFolder) {
  for (const char* name : {"/database/photos.db", "/database/Library.apdb"}) {
    if (pathExists(libraryFolder + name)) return libraryFolder + name;
  }
  return std::nullopt;
}

// Files below `folder`, by their path relative to it, at most a few levels deep.
void collectFiles(const std::string& folder, const std::string& relative, size_t depth,
                  std::vector<std::string>& files) {
  if (depth > kMaximumFolderDepth) return;
  auto entries = listFolder(relative.empty() ? folder : folder + "/" + relative);
  if (entries.hasError()) return;
  for (const auto& entry : entries.value()) {
    const std::string path = relative.empty() ? entry.name : relative + "/" + entry.name;
    if (entry.kind == FolderEntryKind::folder) collectFiles(folder, path, depth + 1, files);
    if (entry.kind == FolderEntryKind::file) files.push_back(path);
  }
}

// A library's thumbnails by the folder they belong to: each lies below its master's folder in
// Thumbnails, directly or in a folder of its own ("2018/<version>/thumb_a_1024.jpg").
std::map<std::string, std::vector<std::string>> thumbnailsByFolder(
    const std::string& libraryFolder) {
  std::vector<std::string> thumbnails;
  collectFiles(libraryFolder + "/Thumbnails", "", 0, thumbnails);
  std::map<std::string, std::vector<std::string>> byFolder;
  for (const auto& relative : thumbnails) {
    const std::string folder(parentPath(relative));
    byFolder[folder].push_back(relative);
    if (!folder.empty()) byFolder[std::string(parentPath(folder))].push_back(relative);
  }
  return byFolder;
}

// `name` holds `word` between its ends or characters other than letters and digits:
// "thumb_IMG_1_1024.jpg" holds "IMG_1", "thumb_IMG_10_1024.jpg" does not.
bool holdsWord(std::string_view name, std::string_view word) {
  const auto isWordCharacter = [](char c) { return std::isalnum(static_cast<unsigned char>(c)); };
  for (size_t at = name.find(word); at != std::string_view::npos; at = name.find(word, at + 1)) {
    const size_t end = at + word.size();
    const bool startsWord = at == 0 || !isWordCharacter(name[at - 1]);
    const bool endsWord = end == name.size() || !isWordCharacter(name[end]);
    if (startsWord && endsWord) return true;
  }
  return false;
}

// The thumbnails in a master's folder whose names hold the master's name without its extension.
std::vector<std::string> thumbnailsOf(
    const std::string& libraryFolder, const std::string& master,
    const std::map<std::string, std::vector<std::string>>& byFolder) {
  std::vector<std::string> found;
  const auto folder = byFolder.find(std::string(parentPath(master)));
  if (folder == byFolder.end()) return found;
  const std::string_view name = lastPathComponent(master);
  const std::string stem(name.substr(0, std::min(name.rfind('.'), name.size())));
  for (const auto& relative : folder->second) {
    if (!stem.empty() && holdsWord(lastPathComponent(relative), stem))
      found.push_back(appendingPathComponent(libraryFolder + "/Thumbnails", relative));
  }
  return found;
}

// A picture's edited version lies at its master's place below Previews, its thumbnails below
// Thumbnails.
void addPreviewsAndThumbnails(const std::string& libraryFolder, PhotoLibraryListing& listing) {
  const std::string masters = libraryFolder + "/Masters";
  const auto thumbnails = thumbnailsByFolder(libraryFolder);
  for (auto& picture : listing.pictures) {
    if (!picture.masterPath || picture.masterPath->size() <= masters.size() + 1 ||
        !isPathAtOrBelow(*picture.masterPath, masters))
      continue;
    const std::string relative = picture.masterPath->substr(masters.size() + 1);
    const std::string preview = appendingPathComponent(libraryFolder + "/Previews", relative);
    if (pathExists(preview)) picture.previewPath = preview;
    picture.thumbnailPaths = thumbnailsOf(libraryFolder, relative, thumbnails);
  }
}

// Without a database, a Photos library's originals are its Masters folder.
PhotoLibraryListing listPhotosLibraryFolders(const std::string& libraryFolder) {
  std::vector<std::string> masters;
  collectFiles(libraryFolder + "/Masters", "", 0, masters);
  PhotoLibraryListing listing;
  for (const auto& relative : masters) {
    LibraryPicture picture;
    picture.identifier = relative;
    picture.masterPath = appendingPathComponent(libraryFolder + "/Masters", relative);
    picture.info.identifier = relative;
    picture.info.filename = std::string(lastPathComponent(relative));
    listing.pictures.push_back(std::move(picture));
  }
  return listing;
}

}  // namespace

Error invalidLibraryURLError(const std::string& path, std::string reason) {
  Error error;
  error.domain = std::string(kMediaLibraryEnumerationErrorDomain);
  error.code = static_cast<int>(MediaLibraryEnumerationErrorCode::invalidLibraryURL);
  error.description = "The library could not be read";
  error.path = path;
  error.underlying = std::move(reason);
  return error;
}

Error fileNotFoundError(const std::string& path, const std::string& libraryPath) {
  Error error;
  error.domain = std::string(kItemResourceProviderErrorDomain);
  error.code = static_cast<int>(ItemResourceProviderErrorCode::fileNotFound);
  error.description = "The library lists a file that is not there";
  error.path = path;
  error.underlying = "listed by " + libraryPath;
  return error;
}

MediaLibraryInfo rhythmboxLibraryInfo(bool isDefault) {
  MediaLibraryInfo info;
  info.kind = MediaLibraryKind::iTunes;
  info.isTestedVersion = true;
  info.isDefault = isDefault;
  info.applicationName = "Rhythmbox";
  return info;
}

MediaLibraryInfo shotwellLibraryInfo() {
  MediaLibraryInfo info;
  info.kind = MediaLibraryKind::photos;
  info.isTestedVersion = true;
  info.applicationName = "Shotwell";
  return info;
}

// --- music libraries

ITunesLibraryEnumerationTask::ITunesLibraryEnumerationTask(ITunesLibraryEnumerationRequest request,
                                                           MediaLibraryEnumerationContext context)
    : request_(std::move(request)),
      context_(std::move(context)),
      internalQueue_(SerialQueue::make("itunes-library-enumeration-task")) {}

Future<ITunesLibraryEnumerationResult> ITunesLibraryEnumerationTask::start() {
  return makeFuture(*internalQueue_, [self = shared_from_this()] { return self->run(); });
}

void ITunesLibraryEnumerationTask::report(const ITunesLibraryEnumerationReport& report) const {
  if (reportHandler_) reportHandler_(report);
}

// A library copied from another computer names its files where they were there; the same file
// below this library's own media folder is the one meant.
std::string ITunesLibraryEnumerationTask::resolvedTrackPath(
    const LibraryTrack& track, const MusicLibraryListing& listing) const {
  if (!listing.mediaFolder || pathExists(track.path)) return track.path;
  std::string folder = *listing.mediaFolder;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (!isPathAtOrBelow(track.path, folder)) return track.path;
  const std::string moved = parentPath(request_.libraryFile) + "/" +
                            std::string(lastPathComponent(folder)) +
                            track.path.substr(folder.size());
  return pathExists(moved) ? moved : track.path;
}

Result<ITunesLibraryEnumerationResult> ITunesLibraryEnumerationTask::run() {
  if (!canPerformHeavyActivities()) return Error::cancelled();
  const std::string& file = request_.libraryFile;
  auto bytes = readWholeFile(file, kMaximumMusicLibraryFileBytes);
  if (bytes.hasError()) return invalidLibraryURLError(file, bytes.error().description);
  auto listing = request_.format == MusicLibraryFormat::rhythmbox
                     ? readRhythmboxDatabase(bytes.value(), file)
                     : readITunesLibraryList(bytes.value(), file);
  if (listing.hasError()) return invalidLibraryURLError(file, listing.error().description);
  const MusicLibraryListing& tracks = listing.value();
  report({ITunesLibraryEnumerationReport::Kind::didDetectNumberOfTracks,
          static_cast<std::int64_t>(tracks.tracks.size()) + tracks.skippedTracks, std::nullopt,
          nullptr});
  if (tracks.skippedTracks > 0) {
    report({ITunesLibraryEnumerationReport::Kind::didSkipProcessingTracks, tracks.skippedTracks,
            std::nullopt, nullptr});
  }
  ITunesLibraryEnumerationResult result;
  for (const auto& track : tracks.tracks) {
    if (!canPerformHeavyActivities()) return Error::cancelled();
    const std::string path = resolvedTrackPath(track, tracks);
    MatchingNodePtr node;
    if (auto attributes = NodeAttributes::resourceValuesOf(path); !attributes) {
      if (context_.errorHandler) context_.errorHandler(fileNotFoundError(path, file));
    } else if (attributes->vnodeType == VNodeType::regular) {
      const ScanLocationPtr location = locationOf(path, context_);
      auto nodeLocation = NodeLocation::make(location, path);
      if (nodeLocation) {
        node = context_.factory->buildITunesItemNode(track.identifier, track.info, *nodeLocation,
                                                     request_.libraryNode, *attributes);
      }
      // Only media items belong to what a music library holds for matching.
      if (node && !isMediaItem(node->type())) node.reset();
    }
    if (node) result.nodes.push_back(node);
    report({ITunesLibraryEnumerationReport::Kind::didProcessTrack, 1, path, node});
  }
  report({ITunesLibraryEnumerationReport::Kind::didDetectNumberOfNodes,
          static_cast<std::int64_t>(result.nodes.size()), std::nullopt, nullptr});
  return result;
}

// --- photo libraries

PhotosLibraryEnumerationTask::PhotosLibraryEnumerationTask(PhotosLibraryEnumerationRequest request,
                                                           MediaLibraryEnumerationContext context,
                                                           Executor& workExecutor)
    : request_(std::move(request)),
      context_(std::move(context)),
      workExecutor_(workExecutor),
      reportQueue_(SerialQueue::make("photos-library-enumeration-task")) {}

Future<PhotosLibraryEnumerationResult> PhotosLibraryEnumerationTask::start() {
  return makeFuture(workExecutor_, [self = shared_from_this()] { return self->run(); });
}

void PhotosLibraryEnumerationTask::report(const PhotosLibraryEnumerationReport& report) const {
  if (reportHandler_) reportHandler_(report);
}

Result<PhotoLibraryListing> PhotosLibraryEnumerationTask::readListing() const {
  const std::string& path = request_.libraryPath;
  if (request_.format == PhotoLibraryFormat::shotwell) {
    auto database = SqliteDatabase::openReadOnly(path);
    if (database.hasError()) return invalidLibraryURLError(path, database.error().description);
    auto listing = readShotwellDatabase(*database.value());
    if (listing.hasError())
      return invalidLibraryURLError(path, listing.error().underlying.empty()
                                              ? listing.error().description
                                              : listing.error().underlying);
    return listing;
  }
  const auto databasePath = photosLibraryDatabase(path);
  if (!databasePath) {
    PhotoLibraryListing listing = listPhotosLibraryFolders(path);
    addPreviewsAndThumbnails(path, listing);
    return listing;
  }
  auto database = SqliteDatabase::openReadOnly(*databasePath);
  if (database.hasError())
    return invalidLibraryURLError(*databasePath, database.error().description);
  auto listing = readPhotosLibraryDatabase(*database.value(), path);
  if (listing.hasError())
    return invalidLibraryURLError(*databasePath, listing.error().underlying.empty()
                                                     ? listing.error().description
                                                     : listing.error().underlying);
  addPreviewsAndThumbnails(path, listing.value());
  return listing;
}

MatchingNodePtr PhotosLibraryEnumerationTask::partNode(const std::string& path) const {
  auto attributes = NodeAttributes::resourceValuesOf(path);
  if (!attributes || attributes->vnodeType != VNodeType::regular) return nullptr;
  const ScanLocationPtr location = locationOf(path, context_);
  auto nodeLocation = NodeLocation::make(location, path);
  if (!nodeLocation) return nullptr;
  return context_.factory->buildNode(nullptr, nodeLocation->relativePath(), path, *attributes,
                                     location);
}

MatchingNodePtr PhotosLibraryEnumerationTask::nodeOf(LibraryPicture picture) const {
  MatchingNodePtr master = picture.masterPath ? partNode(*picture.masterPath) : nullptr;
  MatchingNodePtr preview = picture.previewPath ? partNode(*picture.previewPath) : nullptr;
  std::vector<MatchingNodePtr> thumbnails;
  for (const auto& path : picture.thumbnailPaths) {
    if (auto node = partNode(path)) thumbnails.push_back(std::move(node));
  }
  if (!master && !preview) {
    if (context_.errorHandler) {
      context_.errorHandler(
          fileNotFoundError(picture.masterPath.value_or(picture.identifier), request_.libraryPath));
    }
    return nullptr;
  }
  if (master && !isMediaItem(master->type())) return nullptr;
  return context_.factory->buildPhotosLibraryItem(request_.libraryNode, std::move(picture.info),
                                                  std::move(master), std::move(preview),
                                                  std::move(thumbnails));
}

Result<PhotosLibraryEnumerationResult> PhotosLibraryEnumerationTask::run() {
  if (!canPerformHeavyActivities()) return Error::cancelled();
  ZK_ASSIGN_OR_RETURN(PhotoLibraryListing listing, readListing());
  report({PhotosLibraryEnumerationReport::Kind::didDetectNumberOfItems,
          static_cast<std::int64_t>(listing.pictures.size()), std::nullopt, nullptr});
  PhotosLibraryEnumerationResult result;
  for (auto& picture : listing.pictures) {
    if (!canPerformHeavyActivities()) return Error::cancelled();
    const std::optional<std::string> url = picture.masterPath;
    MatchingNodePtr node = nodeOf(std::move(picture));
    if (node) result.nodes.push_back(node);
    report({PhotosLibraryEnumerationReport::Kind::didFetchItem, 1, url, node});
  }
  report({PhotosLibraryEnumerationReport::Kind::didDetectNumberOfNodes,
          static_cast<std::int64_t>(result.nodes.size()), std::nullopt, nullptr});
  return result;
}

// --- service

MediaLibraryEnumerationService::MediaLibraryEnumerationService(
    MediaLibraryEnumerationContext context, Executor& workExecutor)
    : context_(std::move(context)),
      workExecutor_(workExecutor),
      internalQueue_(SerialQueue::make("media-library-enumeration-service.internal-queue")) {}

std::shared_ptr<ITunesLibraryEnumerationTask> MediaLibraryEnumerationService::perform(
    ITunesLibraryEnumerationRequest request) {
  auto task = std::make_shared<ITunesLibraryEnumerationTask>(std::move(request), context_);
  internalQueue_->sync([&] {
    if (cancellation_) task->cancel(*cancellation_);
    tasks_.push_back(task);
  });
  return task;
}

std::shared_ptr<PhotosLibraryEnumerationTask> MediaLibraryEnumerationService::perform(
    PhotosLibraryEnumerationRequest request) {
  auto task =
      std::make_shared<PhotosLibraryEnumerationTask>(std::move(request), context_, workExecutor_);
  internalQueue_->sync([&] {
    if (cancellation_) task->cancel(*cancellation_);
    tasks_.push_back(task);
  });
  return task;
}

void MediaLibraryEnumerationService::cancel(CancellationMode mode) {
  internalQueue_->sync([&] {
    if (!cancellation_) cancellation_ = mode;
    for (const auto& weak : tasks_) {
      if (auto task = weak.lock()) task->cancel(mode);
    }
  });
}

}  // namespace zarnik
