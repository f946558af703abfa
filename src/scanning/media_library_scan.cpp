#include "scanning/media_library_scan.h"

#include "foundation/logger.h"

#include <fmt/format.h>

#include <algorithm>

namespace zarnik {
namespace {

constexpr const char* kAuthor = "ScanningTask";
// How many nodes' worth of progress one library's items count for together.
constexpr double kMusicLibraryShare = 300;
constexpr double kPhotosLibraryShare = 1000;
constexpr double kMillionths = 1'000'000;

MediaLibraryEnumerationContext contextFor(std::shared_ptr<const MatchingNodesFactory> factory,
                                          std::vector<ScanLocationPtr> itemLocations,
                                          std::function<void(const Error&)> reportFailure) {
  MediaLibraryEnumerationContext context;
  context.factory = std::move(factory);
  context.errorHandler = std::move(reportFailure);
  context.itemLocations = std::move(itemLocations);
  return context;
}

}  // namespace

MediaLibraryScan::MediaLibraryScan(std::shared_ptr<MatchingNodesFactory> factory,
                                   OVURLResolver resolver,
                                   std::vector<ScanLocationPtr> itemLocations,
                                   Executor& workExecutor, Hooks hooks)
    : factory_(std::move(factory)),
      resolver_(std::move(resolver)),
      hooks_(std::move(hooks)),
      service_(contextFor(factory_, std::move(itemLocations), hooks_.reportFailure), workExecutor) {
}

void MediaLibraryScan::listAll(const std::vector<MediaLibraryLocation>& libraries) {
  for (const auto& library : libraries) {
    if (!hooks_.canContinue()) break;
    list(library);
  }
}

double MediaLibraryScan::sharesToMatch() const {
  return static_cast<double>(millionthsToMatch_.load()) / kMillionths;
}

double MediaLibraryScan::sharesMatched() const {
  return static_cast<double>(millionthsMatched_.load()) / kMillionths;
}

std::shared_ptr<MatchingDirectoryNode> MediaLibraryScan::makeLibraryNode(
    const MediaLibraryLocation& library) const {
  auto attributes = NodeAttributes::resourceValuesOf(library.folder);
  if (!attributes || attributes->vnodeType != VNodeType::directory) return nullptr;
  auto node = std::dynamic_pointer_cast<MatchingDirectoryNode>(factory_->buildNode(
      nullptr, "", library.folder, *attributes, ScanLocation::make(library.folder, resolver_)));
  if (!node) return nullptr;
  node->overrideType(library.isMusicLibrary() ? NodeType::iTunesLibrary : NodeType::photosLibrary);
  node->setMediaLibraryInfo(library.libraryInfo());
  return node;
}

void MediaLibraryScan::list(const MediaLibraryLocation& library) {
  const double share = library.isMusicLibrary() ? kMusicLibraryShare : kPhotosLibraryShare;
  millionthsToMatch_.fetch_add(static_cast<std::int64_t>(share * kMillionths));
  const auto info = library.libraryInfo();
  const std::string name =
      info.applicationName.value_or(library.isMusicLibrary() ? "music" : "photo");
  Logger::shared().log(kAuthor, "processMediaLibraryNode(_:)",
                       fmt::format("Starting to process {} library {}", name, library.file));
  double credited = 0;
  const auto creditItems = [&](double amount) {
    credited += amount;
    credit(amount);
  };
  auto libraryNode = makeLibraryNode(library);
  auto listed = libraryNode
                    ? listItems(library, libraryNode, share, creditItems)
                    : invalidLibraryURLError(library.folder, "the library's folder cannot be read");
  credit(std::max(0.0, share - credited));
  if (listed.hasError()) {
    Logger::shared().log(kAuthor, "processMediaLibraryNode(_:)",
                         "Did fail to process " + name + " library: " + listed.error().oneLine());
    if (!listed.error().isCancellation() && hooks_.reportFailure)
      hooks_.reportFailure(listed.error());
    return;
  }
  factory_->addMediaLibraryNode(libraryNode);
  Logger::shared().log(kAuthor, "processMediaLibraryNode(_:)",
                       fmt::format("Did finish to process {} library {}: {} items", name,
                                   library.file, listed.value().size()));
}

Result<std::vector<MatchingNodePtr>> MediaLibraryScan::listItems(
    const MediaLibraryLocation& library, const std::shared_ptr<MatchingDirectoryNode>& node,
    double share, const std::function<void(double)>& credit) {
  // Each item's part of the share, known once the library has said how many it lists.
  double perItem = 0;
  const auto partOf = [&](std::int64_t count) {
    if (count > 0) perItem = share / static_cast<double>(count);
  };
  const auto listedItem = [&](const MatchingNodePtr& item) {
    if (item) matchItem(item);
    credit(perItem);
  };
  if (library.isMusicLibrary()) {
    auto task = service_.perform(ITunesLibraryEnumerationRequest{
        node, library.file, std::get<MusicLibraryFormat>(library.format)});
    task->setReportHandler([&](const ITunesLibraryEnumerationReport& report) {
      using Kind = ITunesLibraryEnumerationReport::Kind;
      if (report.kind == Kind::didDetectNumberOfTracks) partOf(report.count);
      if (report.kind == Kind::didSkipProcessingTracks)
        credit(perItem * static_cast<double>(report.count));
      if (report.kind == Kind::didProcessTrack) listedItem(report.node);
    });
    return task->listOnThisThread().transform(
        [](const ITunesLibraryEnumerationResult& result) { return result.nodes; });
  }
  auto task = service_.perform(PhotosLibraryEnumerationRequest{
      node, library.file, std::get<PhotoLibraryFormat>(library.format)});
  task->setReportHandler([&](const PhotosLibraryEnumerationReport& report) {
    using Kind = PhotosLibraryEnumerationReport::Kind;
    if (report.kind == Kind::didDetectNumberOfItems) partOf(report.count);
    if (report.kind == Kind::didFetchItem) listedItem(report.node);
  });
  return task->listOnThisThread().transform(
      [](const PhotosLibraryEnumerationResult& result) { return result.nodes; });
}

void MediaLibraryScan::matchItem(const MatchingNodePtr& node) {
  for (const auto& part : exactMatchNodes(node)) {
    if (const auto& id = part->attributes().fileResourceID) files_.insert(*id);
  }
  hooks_.matchItem(node);
}

void MediaLibraryScan::credit(double nodes) {
  millionthsMatched_.fetch_add(static_cast<std::int64_t>(nodes * kMillionths));
  hooks_.progressed();
}

}  // namespace zarnik
