#include "scanning/scanning_task.h"

#include <algorithm>
#include <map>
#include <set>
#include <thread>
#include <tuple>

#include <fmt/format.h>

#include <cstdio>
#include <ctime>

#include "foundation/disk_access_manager.h"
#include "foundation/logger.h"
#include "matching/exact_hashing.h"
#include "platform/directory_size.h"
#include "platform/file_comparison.h"
#include "scanning/content_verification.h"
#include "matching/audio_metadata.h"
#include "platform/audio_data_locator.h"
#include "platform/audio_tags.h"
#include "platform/image_decoding.h"
#include "platform/process_memory.h"
#include "platform/trash_folders.h"
#include "platform/xdg_directories.h"
#include "selection/duplicate_differences.h"
#include "selection/system_files.h"
#include "matching/perceptual_image_hash.h"
#include "base/path_components.h"

namespace zarnik {
namespace {

constexpr const char* kAuthor = "ScanningTask";
constexpr std::int64_t kContainerNotificationIntervalNanoseconds = 100'000'000;

std::int64_t steadyNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

size_t activeProcessorCount() { return std::max(1U, std::thread::hardware_concurrency()); }

}  // namespace

std::shared_ptr<ScanningTask> ScanningTask::make(ScanningServiceRequest request, std::shared_ptr<SerialQueue> internalQueue) {
  auto task = std::shared_ptr<ScanningTask>(new ScanningTask(std::move(request), std::move(internalQueue)));
  task->setUp();
  return task;
}

ScanningTask::ScanningTask(ScanningServiceRequest request, std::shared_ptr<SerialQueue> internalQueue)
    : request_(std::move(request)),
      internalQueue_(std::move(internalQueue)),
      maxConcurrentOperationCount_(activeProcessorCount()),
      // A listed file costs its node (about 200 bytes) until it waits at the first-block gate;
      // 20,000 of them keep every hashing worker busy while the walk catches up again.
      walkBacklog_(std::make_shared<Backlog>(20000, 10000)) {}

void ScanningTask::setUp() {
  if (!request_.scanRules) request_.scanRules = std::make_shared<ExtendedScanRules>();
  acceptableSpecifications_ = EnumerationSpecification::acceptableSpecifications(
      request_.specifications, *request_.scanRules, request_.resolver);
  workQueue_ = OperationQueue::make("scanning-task.work", maxConcurrentOperationCount_, QualityOfService::utility);
  enumerationQueue_ =
      OperationQueue::make("scanning-task.enumeration", maxConcurrentOperationCount_, QualityOfService::userInitiated);
  MatchingNodesFactoryOptions options;
  options.includeHiddenItems = request_.includeHiddenItems;
  options.personalFolders = xdg::userDirectories();
  options.personalFolders.push_back(request_.resolver.homeURL());
  options.trashFolders = TrashFolders::ofCurrentUser();
  options.cloudFolders = CloudServiceFolders::discover(request_.resolver.homeURL());
  // A picture is decoded only while the scan goes on: after Ctrl-C the ones still queued are
  // left alone (a decode in progress is bounded by the decoder itself).
  options.imageProcessor = [weak = weak_from_this()](const MatchingNode& node, bool wantsHash) {
    const auto self = weak.lock();
    if (!self || !self->canContinue()) return ImageFacts{};
    return processImage(node, wantsHash);
  };
  matchingNodesFactory_ = MatchingNodesFactory::make(request_.scanRules, request_.resolver, options);
  std::vector<EquivalenceKind> kinds(kAllEquivalenceKinds.begin(), kAllEquivalenceKinds.end());
  // The engine's queue takes the walk's batches at the walk's own priority: behind it, the
  // listed nodes piled up in its queue and the hashing started late (at 200,000 small files
  // the scan took 3.0 s instead of 2.6 s).
  auto engineQueue = SerialQueue::make("equivalence-candidates-accumulators-controller", QualityOfService::userInitiated);
  equivalenceCandidatesProvider_ = EquivalenceCandidatesProviderImpl::make(
      request_.scanRules, std::move(engineQueue), weak_from_this(), EquivalenceCandidatesAccumulationMode::finite,
      nodesProcessingGroup_, kinds);
  equivalenceCandidatesProvider_->setKeepsSizeStageMembers(request_.keepsEquivalenceCandidatesStorage);
  DiskAccessManager::shared().setBackgroundMode(isBackgroundMode_);
}

Future<std::shared_ptr<const ScanningServiceResult>> ScanningTask::start() {
  std::string locations;
  for (const auto& spec : acceptableSpecifications_) {
    if (!locations.empty()) locations += "\n";
    locations += "\t\t" + spec.url;
  }
  Logger::shared().log(kAuthor, "start()",
                       "Starting Scan.\n\tSupported Versions: " + request_.scanRules->reportOfSupportedVersions() +
                           "\n\tScanLocations:\n" + locations);
  startMark_ = timingMark_ = std::chrono::steady_clock::now();
  changeStatus([](MutableScanningStatus& status) { status.dateOfStartScan = dateNow(); });

  using Scanned = std::shared_ptr<const ScanningServiceResult>;
  auto future = makeFuture(Executor::primary(), [self = shared_from_this()]() -> Result<Scanned> {
    ZK_TRY(self->runEnumerationStage());
    ZK_ASSIGN_OR_RETURN(auto groups, self->runAccumulationStage());
    ZK_ASSIGN_OR_RETURN(ScanningServiceResult result, self->runBuildingStage(std::move(groups)));
    return std::make_shared<const ScanningServiceResult>(std::move(result));
  });
  future.onComplete(Executor::immediate(), [self = shared_from_this()](const Result<Scanned>&) { self->finish(); });
  return future;
}

void ScanningTask::finish() {
  changeStatus([](MutableScanningStatus& status) { status.dateOfFinishScan = dateNow(); });
  internalQueue_->async([self = shared_from_this()] { self->statusProducer_.succeed(Void{}); });
}

Result<Void> ScanningTask::runEnumerationStage() {
  // The walk's callbacks take `this` plainly: enumerate() returns only once every operation has
  // run, while this stage (and so the task) is alive, and the enumeration object kept for
  // cancelling must not keep the task alive in turn.
  ScanningTask* self = this;
  EnumerationOptions options;
  options.backlog = walkBacklog_;
  auto enumeration = MatchingNodesEnumerator::enumerate(
      acceptableSpecifications_, *matchingNodesFactory_, enumerationQueue_, options,
      [self] {
        return self->canContinue() ? FileSystemEnumerationStatus::allowed : FileSystemEnumerationStatus::canceled;
      },
      [self](const MatchingNodePtr& node, const std::string&) { self->matchFoundNodes({node}); },
      [self](const Error& error) {
        if (self->errorHandler_) self->errorHandler_(error);
      },
      // A listing's nodes go to the engine as one batch: one queue task per folder instead of
      // one per file.
      [self](const std::vector<MatchingNodePtr>& nodes) { self->matchFoundNodes(nodes); });
  {
    std::lock_guard lock(enumerationMutex_);
    enumeration_ = enumeration;
  }
  Logger::shared().log(kAuthor, "enumerate()", "Enumeration finished");
  changeStatus([](MutableScanningStatus& status) { status.dateOfEnumerationFinish = dateNow(); });
  return Void{};
}

Result<std::vector<EquivalenceCandidatePtr>> ScanningTask::runAccumulationStage() {
  if (!canPerformLightActivities(cancellationMode_.mode())) return Error::cancelled();
  noteTimingLine("[scan] Enumeration finished ");
  Logger::shared().log(kAuthor, "accumulate()", "Waiting for accumulation to finish");
  return equivalenceCandidatesProvider_->finishAccumulationAndProvideEquivalences().wait();
}

Result<ScanningServiceResult> ScanningTask::runBuildingStage(std::vector<EquivalenceCandidatePtr> groups) {
  if (!canPerformLightActivities(cancellationMode_.mode())) return Error::cancelled();
  Logger::shared().log(kAuthor, "build()", "Building candidates to model");
  noteTimingLine("[scan] Accumulation finished ");
  prefixGate_.clear();  // what still waits there has no duplicate
  if (!request_.keepsEquivalenceCandidatesStorage) equivalenceCandidatesProvider_->discardAccumulations();
  returnFreeMemoryToSystem();  // the waiting files' records and nodes: the results need other sizes
  changeStatus([count = static_cast<std::int64_t>(groups.size())](MutableScanningStatus& status) {
    status.dateOfAccumulationFinish = dateNow();
    status.numberOfEquivalences = count;
    status.numberOfProcessedEquivalences = 0;
  });

  const ExtendedScanRules& rules = *request_.scanRules;
  std::vector<CandidateGroup> candidates;
  std::vector<ByteCount> sizes;
  for (const auto& group : groups) {
    if (group->numberOfDuplicates() < 2) continue;
    CandidateGroup candidate{group->equivalenceKind(), {}};
    for (const auto& membership : group->duplicates()) {
      // A node stays only in its strongest group, and only when it may be a duplicate at all.
      if (!membership->isModelingIntoDuplicateAllowed(rules, group->claimer())) continue;
      candidate.members.push_back({membership->node(), membership->node()->attributes().fileResourceID,
                                   membership->node()->path()});
    }
    if (candidate.members.size() < 2) continue;
    // The engine hands members over in the order their hashing happened to finish: in path order,
    // the same tree gives the same identifiers, the same original and the same output every time.
    std::sort(candidate.members.begin(), candidate.members.end(),
              [](const GroupMember& a, const GroupMember& b) { return a.path < b.path; });
    for (const auto& member : candidate.members) sizes.push_back(member.node->attributes().exactSize);
    candidates.push_back(std::move(candidate));
  }
  groups.clear();  // the engine's groups, their members and the nodes only they hold
  std::sort(candidates.begin(), candidates.end(), [](const CandidateGroup& a, const CandidateGroup& b) {
    return std::tie(a.members.front().path, a.kind) < std::tie(b.members.front().path, b.kind);
  });
  for (auto& candidate : candidates) {
    for (auto& member : candidate.members) std::string().swap(member.path);  // sorted: no longer needed
  }

  ScanningServiceResult result;
  const SizeThresholdOption option = rules.sizeThresholdOption();
  if (!candidates.empty() && option.isAutomatic()) {
    result.usedSizeThreshold = TresholdEvaluator::automaticThreshold(
        sizes, rules.maximumSizeFractionToSacrificeOfAutomaticSizeThresholdEvaluation());
    result.keepDuplicatesSmallerThenThresholdIfEquivalenceFits = true;
  } else if (!candidates.empty()) {
    result.usedSizeThreshold = option.sizeValue();
  }

  std::erase_if(candidates, [&](CandidateGroup& candidate) {
    if (result.keepDuplicatesSmallerThenThresholdIfEquivalenceFits) {
      ByteCount largest = 0;
      for (const auto& member : candidate.members) largest = std::max(largest, member.node->attributes().exactSize);
      if (largest < result.usedSizeThreshold) return true;
    } else {
      std::erase_if(candidate.members, [&](const GroupMember& m) {
        return m.node->attributes().exactSize < result.usedSizeThreshold;
      });
    }
    return !holdsSeparateFiles(candidate);
  });
  verifyContents(candidates);

  std::int64_t nextIdentifier = 1;
  result.detectionResults.reserve(candidates.size());
  for (auto& group : candidates) {
    // Each group's matching nodes go as soon as its storable ones are made.
    const CandidateGroup candidate = std::exchange(group, CandidateGroup{group.kind, {}});
    result.detectionResults.push_back(detectionResultOf(candidate, nextIdentifier));
  }
  detectDifferencesAndSelect(result.detectionResults);

  Logger::shared().log(kAuthor, "build()", fmt::format("Did build results. Used size threshold is {}", result.usedSizeThreshold));
  noteTimingLine("[scan] Build finished ");
  Logger::shared().logTiming(kAuthor, "build()",
                             fmt::format("[scan] Total time {:.3f}s", std::chrono::duration<double>(
                                                                        std::chrono::steady_clock::now() - startMark_).count()));
  for (const auto& library : matchingNodesFactory_->fetchMediaLibraryNodes()) {
    result.mediaLibraries.push_back(library->buildStorableNode());
  }
  result.scannedNodesCount = scannedCount_.load();
  result.scannedNodesSize = scannedSize_.load();
  if (request_.keepsEquivalenceCandidatesStorage) result.equivalenceCandidatesStorage = equivalenceCandidatesProvider_;
  return result;
}

bool ScanningTask::holdsSeparateFiles(const CandidateGroup& group) {
  std::set<FileId> keys;
  size_t keyless = 0;
  for (const auto& member : group.members) {
    if (member.hardLinkKey) {
      keys.insert(*member.hardLinkKey);
    } else {
      ++keyless;
    }
  }
  return keys.size() + keyless >= 2;
}

scanning_service::DetectionResult ScanningTask::detectionResultOf(const CandidateGroup& group,
                                                                  std::int64_t& nextIdentifier) const {
  std::map<FileId, int> linkCounts;
  for (const auto& member : group.members) {
    if (member.hardLinkKey) ++linkCounts[*member.hardLinkKey];
  }
  std::map<FileId, std::int64_t> linkGroupIDs;
  scanning_service::DetectionResult detection;
  detection.equivalence.equivalenceKind = group.kind;
  detection.verified = group.verified;
  detection.equivalence.duplicates.reserve(group.members.size());
  for (const auto& member : group.members) {
    scanning_service::Duplicate duplicate;
    duplicate.identifier = nextIdentifier++;
    duplicate.node = member.node->buildStorableNode();
    duplicate.equivalenceKind = group.kind;
    if (member.hardLinkKey && linkCounts[*member.hardLinkKey] > 1) {
      auto [it, inserted] =
          linkGroupIDs.try_emplace(*member.hardLinkKey, static_cast<std::int64_t>(linkGroupIDs.size() + 1));
      duplicate.hardlinkedGroupID = it->second;
    }
    detection.equivalence.duplicates.push_back(std::move(duplicate));
  }
  return detection;
}

void ScanningTask::verifyContents(std::vector<CandidateGroup>& groups) {
  std::vector<size_t> toCompare;
  for (size_t i = 0; i < groups.size(); ++i) {
    CandidateGroup& group = groups[i];
    if (group.kind != EquivalenceKind::exactHash) continue;
    group.verified = digestReadsWholeFile(*group.members.front().node);
    if (group.verified || !verifiesContents_) continue;
    toCompare.push_back(i);
    const auto others = static_cast<std::int64_t>(group.members.size() - 1);
    contentProgress_.announce(others, others * group.members.front().node->attributes().exactSize);
  }
  if (toCompare.empty()) return;
  Logger::shared().log(kAuthor, "build()", fmt::format("Comparing {} groups by whole content", toCompare.size()));
  // Groups are compared side by side on the work queue, each split into its own slot.
  std::vector<std::optional<std::vector<CandidateGroup>>> splits(groups.size());
  auto done = std::make_shared<DispatchGroup>();
  std::atomic<size_t> next{0};
  const size_t workers = std::min(toCompare.size(), std::max<size_t>(1, maxConcurrentOperationCount_));
  for (size_t worker = 0; worker < workers; ++worker) {
    done->enter();
    workQueue_->addOperation([this, &groups, &splits, &toCompare, &next, done] {
      for (size_t at = next++; at < toCompare.size(); at = next++) {
        auto split = splitByContent(groups[toCompare[at]]);
        if (split.hasValue()) splits[toCompare[at]] = std::move(split.value());
      }
      done->leave();
    });
  }
  done->wait();  // the workers refer to this frame
  std::vector<CandidateGroup> confirmed;
  for (size_t i = 0; i < groups.size(); ++i) {
    if (!splits[i]) {
      confirmed.push_back(std::move(groups[i]));
      continue;
    }
    for (auto& part : *splits[i]) {
      if (part.members.size() >= 2 && holdsSeparateFiles(part)) confirmed.push_back(std::move(part));
    }
  }
  groups = std::move(confirmed);
}

Result<std::vector<ScanningTask::CandidateGroup>> ScanningTask::splitByContent(const CandidateGroup& group) {
  std::vector<MatchingNodePtr> nodes;
  std::map<const MatchingNode*, std::optional<FileId>> keys;
  for (const auto& member : group.members) {
    nodes.push_back(member.node);
    keys[member.node.get()] = member.hardLinkKey;
  }
  const WholeContentComparison compare = [this](const MatchingNode& first, const MatchingNode& other) -> Result<bool> {
    const ByteCount size = other.attributes().exactSize;
    ByteCount advanced = 0;
    contentProgress_.begin([&other] { return other.path(); });
    auto session = DiskAccessManager::shared().beginAccessingURL(other.path(), "verifyWholeContent(_:)");
    Result<bool> equal = Error::cancelled();
    if (!session) {
      equal = Error::generic("Cannot be read now.", other.path());
    } else if (canContinue()) {
      equal = haveEqualContents(first.path(), other.path(), [this, &advanced](std::int64_t bytes) {
        advanced += bytes;
        contentProgress_.advance(bytes);
        publishIfDue(false);
        return canContinue();  // a comparison that is stopped leaves its group unverified
      });
      session->endAccessing();
    }
    contentProgress_.end(1, std::max<ByteCount>(0, size - advanced));
    return equal;
  };
  ZK_ASSIGN_OR_RETURN(auto sets, splitByWholeContent(std::move(nodes), compare, [this](const Error& error) {
                        Logger::shared().log(kAuthor, "verifyWholeContent(_:)", error.description,
                                             LogContext::at(error.path));
                        if (errorHandler_) errorHandler_(error);
                      }));
  std::vector<CandidateGroup> parts;
  for (auto& set : sets) {
    CandidateGroup part{group.kind, {}, true};
    for (auto& node : set) part.members.push_back({node, keys[node.get()]});
    parts.push_back(std::move(part));
  }
  return parts;
}

void ScanningTask::detectDifferencesAndSelect(std::vector<scanning_service::DetectionResult>& results) {
  // Groups are independent: they are told apart and selected in a few parts on the work queue,
  // with an autoselector each (one is used from one thread at a time).
  const size_t parts = std::min(results.size(), std::max<size_t>(1, maxConcurrentOperationCount_));
  if (parts == 0) return;
  const size_t perPart = (results.size() + parts - 1) / parts;
  std::vector<std::string> locations;
  for (const auto& specification : acceptableSpecifications_) locations.push_back(specification.url);
  const auto systemFiles = SystemFiles::ofThisSystem(locations);
  auto done = std::make_shared<DispatchGroup>();
  for (size_t begin = 0; begin < results.size(); begin += perPart) {
    const size_t end = std::min(results.size(), begin + perPart);
    done->enter();
    workQueue_->addOperation([this, &results, begin, end, done, systemFiles] {
      const Autoselector autoselector(request_.resolver, request_.autoselectionRules, systemFiles);
      for (size_t i = begin; i < end; ++i) {
        results[i].detectDifferencesAndSelect(autoselector);
        changeStatus([](MutableScanningStatus& status) { ++status.numberOfProcessedEquivalences; });
      }
      forgetAnalysedFolderNames();  // else kept by this pool thread for as long as the program runs
      done->leave();
    });
  }
  done->wait();  // the parts refer to `results`, which lives in this frame
}

void ScanningTask::noteTimingLine(const char* label) {
  const auto now = std::chrono::steady_clock::now();
  Logger::shared().logTiming(kAuthor, "start()",
                             fmt::format("{}{:.3f}s", label, std::chrono::duration<double>(now - timingMark_).count()));
  timingMark_ = now;
}

std::vector<EquivalenceInfoPtr> ScanningTask::equivalenceInformation(MatchingNode& node) const {
  std::vector<EquivalenceInfoPtr> infos;
  const ExtendedScanRules& rules = *request_.scanRules;
  const NodeType type = node.type();
  if (isMediaLibrary(type)) return infos;
  if (type == NodeType::macApplication) return applicationInformation(node);
  if (node.isDirectory()) {
    // Folders are matched by their contents, never by size.
    if (rules.directoriesMatchEnabled()) infos.push_back(std::make_shared<DirectoryEquivalenceInfo>());
    return infos;
  }
  if (wantsAudioWork(node)) return infos;  // decided once its tags and audio data are read
  // Folders are matched by their files' contents: those are digested for folder matching too.
  if (rules.exactMatchEnabled() || rules.directoriesMatchEnabled()) {
    infos.push_back(std::make_shared<SizeEquivalenceInfo>(node.attributes().exactSize));
  }
  return infos;
}

std::vector<EquivalenceInfoPtr> ScanningTask::applicationInformation(MatchingNode& node) const {
  std::vector<EquivalenceInfoPtr> infos;
  const ExtendedScanRules& rules = *request_.scanRules;
  if (!rules.applicationsMatchEnabled() && !rules.similarApplicationsMatchEnabled()) return infos;
  const auto& bundle = node.bundleInfo();
  if (!bundle || !bundle->bundleIdentifier) return infos;
  std::optional<std::string> version = bundle->displayVersion;
  if (!version && bundle->arrangeVersion) version = bundle->arrangeVersion->string();
  if (!version) return infos;
  if (auto sizes = measureDirectory(node.path()); sizes.hasValue()) {
    node.setWholeBundleSizes(sizes.value().diskSize, sizes.value().exactSize);
  }
  if (rules.applicationsMatchEnabled()) {
    infos.push_back(std::make_shared<ExactApplicationEquivalenceInfo>(
        ExactApplicationEquivalenceCriterion{*bundle->bundleIdentifier, *version, node.attributes().diskSize}));
  }
  if (rules.similarApplicationsMatchEnabled()) {
    infos.push_back(std::make_shared<SimilarApplicationEquivalenceInfo>(*bundle->bundleIdentifier));
  }
  return infos;
}

void ScanningTask::matchFoundNodes(const std::vector<MatchingNodePtr>& nodes) {
  nodesProcessingGroup_->enter();
  std::vector<std::pair<MatchingNodePtr, EquivalenceInfoPtr>> items;
  ByteCount size = 0;
  std::int64_t matched = 0;
  for (const auto& node : nodes) {
    size += node->attributes().exactSize;  // reports count logical sizes, as cleaning does
    if (!canContinue() || !node->isProcessingAllowed() || !node->isMatchingAllowed()) continue;
    auto infos = equivalenceInformation(*node);
    if (wantsPerceptualHashes(*node)) matchPerceptually(node);
    if (wantsAudioWork(*node)) matchAudio(node);
    if (infos.empty()) continue;
    ++matched;
    for (auto& info : infos) items.emplace_back(node, std::move(info));
  }
  nodesToMatch_.fetch_add(matched, std::memory_order_relaxed);
  const size_t handedOver = items.size();
  walkBacklog_->add(handedOver);
  equivalenceCandidatesProvider_->addBatch(std::move(items), nodesProcessingGroup_,
                                           [backlog = walkBacklog_, handedOver] { backlog->remove(handedOver); });
  matchedNodes_.fetch_add(matched, std::memory_order_relaxed);
  scannedCount_.fetch_add(static_cast<std::int64_t>(nodes.size()), std::memory_order_relaxed);
  scannedSize_.fetch_add(size, std::memory_order_relaxed);
  // The latest node only feeds the progress line: skip it rather than wait for the lock.
  if (std::unique_lock lock(latestNodeMutex_, std::try_to_lock); lock.owns_lock() && !nodes.empty()) {
    latestNode_ = nodes.front();
  }
  nodesProcessingGroup_->leave();
  publishIfDue(false);
}

namespace {

// "YYYY:MM:DD HH:MM:SS", the time as the camera's clock showed it (taken as UTC: EXIF has no zone).
std::optional<Date> exifDate(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  std::tm fields{};
  if (std::sscanf(text->c_str(), "%d:%d:%d %d:%d:%d", &fields.tm_year, &fields.tm_mon, &fields.tm_mday, &fields.tm_hour,
                  &fields.tm_min, &fields.tm_sec) != 6 || fields.tm_year < 1800) {
    return std::nullopt;
  }
  fields.tm_year -= 1900;
  fields.tm_mon -= 1;
  return Date(std::chrono::seconds(::timegm(&fields)));
}

// ".25" is 250 milliseconds: the digits are a fraction of a second.
std::optional<std::int64_t> exifMilliseconds(const std::optional<std::string>& digits) {
  if (!digits || digits->empty() || digits->find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  std::string three = digits->substr(0, 3);
  three.resize(3, '0');
  return std::stoll(three);
}

ImageInfo imageInfoOf(const DecodedPicture& picture) {
  ImageInfo info;
  info.size = ImageSize{picture.sourceWidth, picture.sourceHeight};
  const PictureFacts& facts = picture.facts;
  CameraInfo camera{facts.make, facts.model, facts.serialNumber};
  if (camera.isValid()) info.cameraInfo = camera;
  info.creationDate = exifDate(facts.dateTimeOriginal);
  if (info.creationDate) info.creationMsec = exifMilliseconds(facts.subSecTimeOriginal);
  info.softwareName = facts.software;
  info.iso = facts.iso;
  if (facts.latitude && facts.longitude) info.location = GeoLocation{*facts.latitude, *facts.longitude, facts.altitude};
  return info;
}

}  // namespace

ImageFacts ScanningTask::processImage(const MatchingNode& node, bool wantsHash) {
  ImageFacts facts;
  // A document or drawing with an image type (DjVu, SVG, EPS...) is never decoded, and is no
  // failure worth a line in the log.
  if (!isRasterPictureType(node.attributes().UTIType)) return facts;
  // Facts alone come from the header: no pixel is decoded for a picture that is not hashed.
  auto decoded = wantsHash ? decodePictureForHashing(node.path()) : readPictureHeader(node.path());
  if (decoded.hasError()) {
    LogContext context = LogContext::at(node.path());
    context.underlyingError = decoded.error().underlying;
    Logger::shared().log(kAuthor, "imageInfo(forNode:)", decoded.error().description, context);
    return facts;
  }
  const DecodedPicture& picture = decoded.value();
  facts.info = imageInfoOf(picture);
  if (!wantsHash) return facts;
  const RasterPicture raster{picture.rgb.data(), picture.width, picture.height, 3, static_cast<size_t>(picture.width) * 3};
  if (auto words = perceptualHashes(raster)) facts.hashes.assign(words->begin(), words->end());
  return facts;
}

bool ScanningTask::wantsPerceptualHashes(const MatchingNode& node) const {
  const ExtendedScanRules& rules = *request_.scanRules;
  if (!rules.similarImagesMatchEnabled() || node.type() != NodeType::image) return false;
  if (!isRasterPictureType(node.attributes().UTIType)) return false;
  if (node.attributes().vnodeType != VNodeType::regular || node.attributes().exactSize < 1) return false;
  const auto excluded = rules.pathExtensionsOfImagesToExcludeFromSimilarMatch();
  const std::string extension = asciiLowercased(node.pathExtension());
  return std::none_of(excluded.begin(), excluded.end(),
                      [&](const std::string& other) { return asciiLowercased(other) == extension; });
}

void ScanningTask::matchPerceptually(const MatchingNodePtr& node) {
  // Decoding takes milliseconds a picture: it runs on the work queue, counted in the processing
  // group so that the engine does not finish before the picture is in.
  nodesProcessingGroup_->enter();
  contentProgress_.announce(1, 0);
  workQueue_->addOperation([self = shared_from_this(), node] {
    if (self->canContinue()) {
      self->contentProgress_.begin([&node] { return node->path(); });
      // The size from the header first: a picture too small to compare (icons, most of what
      // /usr/share holds) is never decoded.
      const auto info = node->imageInfo();
      const ImageSize box = self->request_.scanRules->similarImageSizeThreshold();
      const bool tooSmall = info && info->size.width < box.width && info->size.height < box.height;
      const auto hashes = info && !tooSmall ? node->imageHash() : std::vector<std::uint64_t>{};
      if (!hashes.empty() && info && !tooSmall) {
        self->equivalenceCandidatesProvider_->add(
            node,
            std::make_shared<PerceptualImageEquivalenceInfo>(hashes, static_cast<int>(info->size.width),
                                                             static_cast<int>(info->size.height)),
            self->nodesProcessingGroup_);
      }
      self->contentProgress_.end(1, 0);
    } else {
      self->contentProgress_.skip(1, 0);
    }
    self->nodesProcessingGroup_->leave();
  });
}

bool ScanningTask::wantsAudioWork(const MatchingNode& node) const {
  const ExtendedScanRules& rules = *request_.scanRules;
  return (rules.exactAudioContentMatchEnabled() || rules.similarAudioMatchEnabled()) && node.type() == NodeType::audio &&
         node.attributes().vnodeType == VNodeType::regular && node.attributes().exactSize > 0;
}

namespace {

// What the scan reads of an audio file: its tags, length and bit rate (when TagLib can read
// them) and the size of its audio data (when its container is understood). Nothing when neither.
struct ReadAudio {
  std::optional<AudioInfo> info;
  bool hasTags = false;
};

ReadAudio readAudio(const std::string& path) {
  ReadAudio read;
  AudioInfo info;
  if (auto tags = readAudioTags(path); tags.hasValue()) {
    info.title = tags.value().title;
    info.album = tags.value().album;
    info.artist = tags.value().artist;
    info.duration = tags.value().duration;
    if (tags.value().bitRate > 0) info.bitrate = static_cast<std::uint32_t>(tags.value().bitRate);  // kbit/s
    read.hasTags = true;
  }
  if (auto located = locateAudioDataInFile(path); located.hasValue() && located.value()) {
    info.contentSize = located.value()->length;
  }
  if (read.hasTags || info.contentSize) read.info = std::move(info);
  return read;
}

}  // namespace

std::vector<EquivalenceInfoPtr> ScanningTask::audioInformation(MatchingNode& node) const {
  const ExtendedScanRules& rules = *request_.scanRules;
  const ReadAudio read = readAudio(node.path());
  if (read.info) node.setAudioInfo(*read.info);  // kept for the differences between copies
  std::vector<EquivalenceInfoPtr> infos;
  if (rules.similarAudioMatchEnabled()) {
    const auto* track = dynamic_cast<const MatchingITunesItemNode*>(&node);
    if (track != nullptr && track->iTunesItemInfo()) {
      if (auto info = AudioMetadataEquivalenceInfo::of(*track->iTunesItemInfo())) infos.push_back(std::move(info));
    } else if (read.hasTags) {
      infos.push_back(AudioMetadataEquivalenceInfo::of(*read.info));
    }
  }
  if (rules.exactAudioContentMatchEnabled() && read.info && read.info->contentSize) {
    infos.push_back(std::make_shared<AudioSizeEquivalenceInfo>(*read.info->contentSize));
  } else if (rules.exactMatchEnabled() || rules.directoriesMatchEnabled()) {
    infos.push_back(std::make_shared<SizeEquivalenceInfo>(node.attributes().exactSize));  // matched as a file
  }
  return infos;
}

void ScanningTask::matchAudio(const MatchingNodePtr& node) {
  // Tags and the audio data's place are read from the file: on the work queue.
  nodesProcessingGroup_->enter();
  contentProgress_.announce(1, 0);
  workQueue_->addOperation([self = shared_from_this(), node] {
    if (self->canContinue()) {
      self->contentProgress_.begin([&node] { return node->path(); });
      std::vector<std::pair<MatchingNodePtr, EquivalenceInfoPtr>> items;
      for (auto& info : self->audioInformation(*node)) items.emplace_back(node, std::move(info));
      self->equivalenceCandidatesProvider_->addBatch(std::move(items), self->nodesProcessingGroup_);
      self->contentProgress_.end(1, 0);
    } else {
      self->contentProgress_.skip(1, 0);
    }
    self->nodesProcessingGroup_->leave();
  });
}

Future<Void> ScanningTask::calculateHash(const MatchingNodePtr& node, HashKind kind,
                                         EquivalenceCandidatesProviderImpl& provider) {
  // A scan asks for a hash per file that shares its size: the requests go to one list that the
  // hashing workers drain, counted in the finishing group until each is done, instead of an
  // operation and a future each (≈350 bytes and two thread hand-overs a file).
  static const Future<Void> kAccepted = makeSucceededFuture(Void{});
  nodesProcessingGroup_->enter();
  const ByteCount size = node->attributes().exactSize;
  // A node that similarity matching holds too keeps its identity: its groups' claims must reach
  // that very object.
  const bool mayPark = kind == HashKind::exact && ContentPrefixGate::holdsBack(size) &&
                       !wantsPerceptualHashes(*node) && !wantsAudioWork(*node);
  contentProgress_.announce(1, plannedReadSize(size, kind));
  bool startWorker = false;
  {
    std::lock_guard lock(hashRequestsMutex_);
    hashRequests_.push_back({ParkedFileNode(node, mayPark), size, kind});
    walkBacklog_->add(1);
    if (hashWorkers_ < maxConcurrentOperationCount_) {
      ++hashWorkers_;
      startWorker = true;
    }
  }
  if (startWorker) {
    workQueue_->addOperation([self = shared_from_this(), provider = provider.shared_from_this()] {
      self->drainHashRequests(*provider);
    });
  }
  return kAccepted;
}

void ScanningTask::drainHashRequests(EquivalenceCandidatesProviderImpl& provider) {
  // Requests are taken, and results handed to the engine, a few at a time: one lock and one
  // queue hand-over per file made the hashing threads wait on each other. A worker takes no
  // more than its share, so that a handful of large files still spread over all workers.
  constexpr size_t kMostPerTurn = 16;
  std::vector<HashRequest> taken;
  std::vector<std::pair<MatchingNodePtr, EquivalenceInfoPtr>> hashed;
  for (;;) {
    taken.clear();
    {
      std::lock_guard lock(hashRequestsMutex_);
      if (hashRequests_.empty()) {
        --hashWorkers_;
        return;
      }
      const size_t share = std::max<size_t>(1, hashRequests_.size() / std::max<size_t>(1, hashWorkers_));
      const size_t count = std::min({kMostPerTurn, share, hashRequests_.size()});
      for (size_t i = 0; i < count; ++i) {
        taken.push_back(std::move(hashRequests_.front()));
        hashRequests_.pop_front();
      }
    }
    hashed.clear();
    for (const HashRequest& request : taken) {
      contentProgress_.begin([&request] { return request.file.path(); });
      hashRequestedFile(request, hashed);
      contentProgress_.end(1, plannedReadSize(request.size, request.kind));
    }
    publishIfDue(false);
    provider.addBatch(std::move(hashed));
    walkBacklog_->remove(taken.size());
    for (size_t i = 0; i < taken.size(); ++i) nodesProcessingGroup_->leave();
  }
}

void ScanningTask::hashRequestedFile(const HashRequest& request,
                                     std::vector<std::pair<MatchingNodePtr, EquivalenceInfoPtr>>& hashed) {
  // Exact digests of files longer than a block wait at the first-block gate; the rest are due now.
  ContentPrefixGate::Admission admission;
  std::optional<std::uint64_t> prefix;
  if (request.kind == HashKind::exact && ContentPrefixGate::holdsBack(request.size)) {
    if (!canContinue()) return;
    auto prefixHash = calculateContentPrefixHash(request.file.path(), request.size);
    if (prefixHash.hasError()) {
      reportHashingFailure(prefixHash.error(), request.size);
      return;
    }
    prefix = prefixHash.value();
    admission = prefixGate_.admit(request.file, request.size, *prefix);
  } else {
    admission.due.push_back(request.file.unpark(request.size));
  }
  std::vector<MatchingNodePtr> due;
  for (auto& node : admission.due) {
    if (node.hasError()) {
      reportHashingFailure(node.error(), request.size);
    } else {
      due.push_back(std::move(node.value()));
    }
  }
  const size_t firstHashed = hashed.size();
  if (due.size() == 1 && admission.reference && matchesReference(*due[0], *admission.reference)) {
    hashed.emplace_back(due[0], std::make_shared<ExactHashEquivalenceInfo>(admission.reference->hash));
    return;
  }
  hashNodes(due, request.kind, hashed);
  if (prefix && !admission.reference && hashed.size() > firstHashed) {
    const MatchingNode& digested = *hashed[firstHashed].first;
    if (auto hash = digested.exactFileHash()) {
      prefixGate_.offerReference(request.size, *prefix,
                                 DigestReference{digested.path(), digested.attributes().dateOfModification, *hash});
    }
  }
}

ByteCount ScanningTask::plannedReadSize(ByteCount size, HashKind kind) {
  // What the digest reads at most (WAV files, read whole, count as others: the figure only
  // paces the progress line, and knowing the extension would cost a path per file).
  constexpr ByteCount kMebibyte = 1 << 20;
  return std::min(size, (kind == HashKind::exact ? 4 : 16) * kMebibyte);
}

bool ScanningTask::matchesReference(MatchingNode& node, const DigestReference& reference) {
  if (knownLinkDigest(node) || !canContinue()) return false;
  auto same = hasSampledContentOf(exactHashingRequest(node, cancellation_), reference.path, reference.modified);
  if (!same.hasValue() || !same.value()) return false;  // digested on its own, which reports any failure
  node.setExactFileHash(reference.hash);
  rememberLinkDigest(node);
  return true;
}

void ScanningTask::hashNodes(const std::vector<MatchingNodePtr>& nodes, HashKind kind,
                             std::vector<std::pair<MatchingNodePtr, EquivalenceInfoPtr>>& hashed) {
  const bool areTwins = nodes.size() == 2 && kind == HashKind::exact && !knownLinkDigest(*nodes[0]) &&
                        !knownLinkDigest(*nodes[1]);
  if (areTwins && canContinue()) {
    EquivalenceInfoPtr twinInfo;
    auto info = ExactHashCalculator::createEquivalenceInfoWithTwin(*nodes[0], *nodes[1], twinInfo, cancellation_);
    if (info.hasValue()) {
      rememberLinkDigest(*nodes[0]);
      hashed.emplace_back(nodes[0], std::move(info.value()));
    } else {
      reportHashingFailure(info.error(), nodes[0]->attributes().exactSize);
    }
    if (twinInfo) {
      rememberLinkDigest(*nodes[1]);
      hashed.emplace_back(nodes[1], std::move(twinInfo));
    } else if (auto other = hashNode(nodes[1], kind)) {
      hashed.emplace_back(nodes[1], std::move(other));
    }
    return;
  }
  for (const auto& node : nodes) {
    if (auto info = hashNode(node, kind)) hashed.emplace_back(node, std::move(info));
  }
}

EquivalenceInfoPtr ScanningTask::hashNode(const MatchingNodePtr& node, HashKind kind) {
  if (!canContinue()) return nullptr;
  if (kind == HashKind::exact) {
    if (auto known = knownLinkDigest(*node)) {
      node->setExactFileHash(*known);
      return std::make_shared<ExactHashEquivalenceInfo>(*known);
    }
  }
  auto info = ExactHashCalculator::createEquivalenceInfo(*node, kind, cancellation_);
  if (info.hasError()) {
    reportHashingFailure(info.error(), node->attributes().exactSize);
    return nullptr;
  }
  if (kind == HashKind::exact) rememberLinkDigest(*node);
  return info.value();
}

namespace {

bool isHardLinked(const NodeAttributes& attributes) {
  return attributes.numberOfHardlinks > 1 && attributes.fileResourceID.has_value();
}

}  // namespace

std::optional<ExactFileHash> ScanningTask::knownLinkDigest(const MatchingNode& node) {
  const NodeAttributes& attributes = node.attributes();
  if (!isHardLinked(attributes)) return std::nullopt;
  std::lock_guard lock(hardLinkDigestsMutex_);
  auto known = hardLinkDigests_.find(*attributes.fileResourceID);
  if (known == hardLinkDigests_.end() || known->second.size != attributes.exactSize) return std::nullopt;
  return known->second;
}

void ScanningTask::rememberLinkDigest(const MatchingNode& node) {
  const NodeAttributes& attributes = node.attributes();
  if (!isHardLinked(attributes)) return;
  if (auto hash = node.exactFileHash()) {
    std::lock_guard lock(hardLinkDigestsMutex_);
    hardLinkDigests_.emplace(*attributes.fileResourceID, *hash);
  }
}

void ScanningTask::reportHashingFailure(const Error& error, ByteCount size) {
  if (error.isCancellation()) return;  // stopped by the user, nothing wrong with the file
  LogContext context = LogContext::at(error.path);
  if (!error.underlying.empty()) context.underlyingError = error.underlying;
  Logger::shared().log(kAuthor, "calculateHash(forNode:hashKind:provider:)", error.description, context);
  // Empty files cannot be hashed and are simply never grouped; other failures (unreadable,
  // changed or vanished files) are worth a line.
  const bool isEmptyFile =
      error.code == FileServicesError::hashingFailedForUnknownReason && size < 1;
  if (errorHandler_ && !isEmptyFile) errorHandler_(error);
}

Future<Void> ScanningTask::matchSymLink(const MatchingNodePtr& node, EquivalenceCandidatesProviderImpl& provider) {
  Promise<Void> promise;
  auto future = promise.future();
  workQueue_->addOperation([self = shared_from_this(), provider = provider.shared_from_this(), node, promise]() mutable {
    if (self->canContinue()) {
      const std::string path = node->path();
      auto session = DiskAccessManager::shared().beginAccessingURL(path, "init(linkUrl:)");
      if (session) {
        auto info = SymlinkTargetPathEquivalenceInfo::fromLink(path);
        session->endAccessing();
        if (info) provider->add(node, info);
      }
    }
    promise.succeed(Void{});
  });
  return future;
}

void ScanningTask::didMatchDuplicates(ByteCount ofSize, const std::vector<DuplicateCandidatePtr>&,
                                      const EquivalenceCandidate& group, EquivalenceCandidatesProviderImpl&) {
  if (!duplicatesHaveAccumulatableSize(group.equivalenceKind())) return;
  changeStatus([ofSize](MutableScanningStatus& status) { status.estimatedSizeOfFoundDuplicates += ofSize; });
}

void ScanningTask::accumulationProgressChanged(int deltaToAccumulate, int deltaAccumulated,
                                               const std::optional<std::string>& lastProcessedURL,
                                               EquivalenceCandidatesProviderImpl&) {
  changeStatus([=](MutableScanningStatus& status) {
    if (lastProcessedURL) status.latestProcessedURL = lastProcessedURL;
    status.numberOfItemsToAccumulate += deltaToAccumulate;
    status.numberOfAccumulatedItems += deltaAccumulated;
  });
}

void ScanningTask::changeStatus(std::function<void(MutableScanningStatus&)> change) {
  internalQueue_->async([self = shared_from_this(), change = std::move(change)] {
    change(self->status_);
    self->publishIfDue(false);
  });
}

void ScanningTask::publishIfDue(bool force) {
  const std::int64_t now = steadyNanoseconds();
  std::int64_t last = lastPublication_.load(std::memory_order_relaxed);
  if (!force && now - last <= kContainerNotificationIntervalNanoseconds) return;
  if (!lastPublication_.compare_exchange_strong(last, now)) return;  // another thread publishes
  internalQueue_->async([self = shared_from_this()] {
    self->status_.numberOfNodesToMatch = static_cast<double>(self->nodesToMatch_.load());
    self->status_.numberOfMatchedNodes = static_cast<double>(self->matchedNodes_.load());
    self->status_.sizeOfListedNodes = self->scannedSize_.load();
    self->status_.content = self->contentProgress_.snapshot();
    // What is read now names the scan's work best; while the walk goes on, the latest item
    // listed; once both are done, nothing, rather than a path the scan has long left.
    if (self->status_.content.readingNow) {
      self->status_.latestProcessedURL = self->status_.content.readingNow;
    } else if (!self->status_.dateOfEnumerationFinish) {
      std::lock_guard lock(self->latestNodeMutex_);
      if (self->latestNode_) self->status_.latestProcessedURL = self->latestNode_->path();
    } else {
      self->status_.latestProcessedURL.reset();
    }
    self->statusProducer_.update(self->status_.constantCopy());
  });
}

void ScanningTask::cancel(bool keepResults) {
  internalQueue_->async([self = shared_from_this(), keepResults] {
    const CancellationMode mode = keepResults ? CancellationMode::keepLightActivities : CancellationMode::stopAllActivities;
    if (!self->cancellationMode_.cancel(mode)) return;
    self->cancellation_->cancel();  // heavy work stops under either mode
    self->status_.cancellationMode = mode;
    self->equivalenceCandidatesProvider_->cancelAccumulation(mode);
    {
      std::lock_guard lock(self->enumerationMutex_);
      if (self->enumeration_) self->enumeration_->cancel(mode);
    }
    Logger::shared().log(kAuthor, "cancel(keepResults:)",
                         std::string("Scanning task cancelled.") + (keepResults ? " Results kept." : ""));
  });
}

void ScanningTask::updateIsBackgroundMode(bool isBackgroundMode) {
  internalQueue_->async([weak = weak_from_this(), isBackgroundMode] {
    auto self = weak.lock();
    if (!self || self->isBackgroundMode_ == isBackgroundMode) return;
    Logger::shared().log(kAuthor, "updateIsBackgroundMode(_:)",
                         isBackgroundMode ? "Entering background mode" : "Leaving background mode");
    DiskAccessManager::shared().setBackgroundMode(isBackgroundMode);
    const size_t width = isBackgroundMode ? 2 : self->maxConcurrentOperationCount_;
    self->workQueue_->setMaxConcurrentOperationCount(width);
    self->enumerationQueue_->setMaxConcurrentOperationCount(width);
    self->isBackgroundMode_ = isBackgroundMode;
  });
}

ScanningService::ScanningService() : internalQueue_(SerialQueue::make("scanning-service.internal-queue")) {}

std::shared_ptr<ScanningTask> ScanningService::perform(ScanningServiceRequest request) {
  auto task = ScanningTask::make(std::move(request), internalQueue_);
  std::lock_guard lock(mutex_);
  std::erase_if(tasks_, [](const auto& weak) { return weak.expired(); });
  tasks_.push_back(task);
  return task;
}

}  // namespace zarnik
