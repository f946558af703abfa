#include "matching/exact_pipeline.h"

#include "foundation/disk_access_manager.h"
#include "foundation/logger.h"
#include "matching/exact_hashing.h"
#include "matching/match_candidates_provider.h"

#include <algorithm>

namespace zarnik {
namespace {

constexpr const char* kAuthor = "ExactPipeline";

bool isHardLinked(const NodeAttributes& attributes) {
  return attributes.numberOfHardlinks > 1 && attributes.fileResourceID.has_value();
}

// The answer to every request: it is taken at once, and its work counted until it is done.
const Future<Void>& accepted() {
  static const Future<Void> kAccepted = makeSucceededFuture(Void{});
  return kAccepted;
}

EquivalenceInfoPtr digestInformation(const ExactFileHash& hash, HashKind kind) {
  if (kind == HashKind::exactAudioContent)
    return std::make_shared<ExactAudioHashEquivalenceInfo>(hash);
  return std::make_shared<ExactHashEquivalenceInfo>(hash);
}

}  // namespace

std::shared_ptr<ExactPipeline> ExactPipeline::make(
    ContentWork work, std::shared_ptr<Backlog> backlog,
    std::function<bool(const MatchingNode&)> keepsWhole) {
  return std::shared_ptr<ExactPipeline>(
      new ExactPipeline(std::move(work), std::move(backlog), std::move(keepsWhole)));
}

// The fingerprint is the one kept for the state the walk saw, as for a whole node; the digest, once
// the gate lets the file through, is by its state then. A file changed since it was listed may
// wait at the wrong gate and miss its copies in this scan, but is never grouped with a file whose
// content differs.
ParkedFileNode ExactPipeline::parked(const MatchingNodePtr& node) const {
  ParkedFileNode file(node, !keepsWhole_(*node));
  const ByteCount size = node->attributes().exactSize;
  if (file.wholeNode() != nullptr || !ContentPrefixGate::holdsBack(size) ||
      !SmallFileDigestTable::holds(size) || !cache_.knowsSmallFiles())
    return file;
  const CachedReading::Look look = cache_.lookForContent(*node, HashKind::exact);
  if (look.known && look.known->contentPrefixHash)
    file.noteContentPrefixHash(*look.known->contentPrefixHash);
  return file;
}

Future<Void> ExactPipeline::calculateHash(const MatchingNodePtr& node, HashKind kind,
                                          EquivalenceCandidatesProviderImpl& provider) {
  const ByteCount size = node->attributes().exactSize;
  // A node that another matcher holds too keeps its identity: its groups' claims must reach
  // that very object. The others wait at the gate by their folder and name, but come to it
  // whole: what the walk learnt of the file is the key to the cache.
  const bool park =
      kind == HashKind::exact && ContentPrefixGate::holdsBack(size) && !keepsWhole_(*node);
  enqueue({ParkedFileNode(node, false), size, kind, park}, provider);
  return accepted();
}

Future<Void> ExactPipeline::calculateHash(ParkedFileNode file, ByteCount size, HashKind kind,
                                          EquivalenceCandidatesProviderImpl& provider) {
  enqueue({std::move(file), size, kind, false}, provider);
  return accepted();
}

// One list that a few workers drain, counted in the scan's group until each request is done,
// instead of an operation and a future per file (≈350 bytes and two thread hand-overs a file).
void ExactPipeline::enqueue(Request request, EquivalenceCandidatesProviderImpl& provider) {
  work_.inFlight->enter();
  work_.progress->announce(1, plannedReadSize(request.size, request.kind));
  bool startWorker = false;
  {
    std::lock_guard lock(requestsMutex_);
    requests_.push_back(std::move(request));
    backlog_->add(1);
    if (workers_ < work_.width) {
      ++workers_;
      startWorker = true;
    }
  }
  if (startWorker) {
    work_.queue->addOperation([self = shared_from_this(), provider = provider.shared_from_this()] {
      self->drain(*provider);
    });
  }
}

void ExactPipeline::drain(EquivalenceCandidatesProviderImpl& provider) {
  // Requests are taken, and digests handed to the engine, a few at a time: one lock and one
  // queue hand-over per file made the workers wait on each other. A worker takes no more than
  // its share, so that a handful of large files still spread over all workers.
  constexpr size_t kMostPerTurn = 16;
  std::vector<Request> taken;
  Digested digested;
  for (;;) {
    taken.clear();
    {
      std::lock_guard lock(requestsMutex_);
      if (requests_.empty()) {
        --workers_;
        return;
      }
      const size_t share = std::max<size_t>(1, requests_.size() / std::max<size_t>(1, workers_));
      const size_t count = std::min({kMostPerTurn, share, requests_.size()});
      for (size_t i = 0; i < count; ++i) {
        taken.push_back(std::move(requests_.front()));
        requests_.pop_front();
      }
    }
    digested.clear();
    // First blocks are read (or found in the cache) for the whole turn before any digest.
    work_.progress->begin([&taken] { return taken.front().file.path(); }, 0);
    auto admitted = passGate(taken);
    work_.progress->end(0, 0);
    for (size_t i = 0; i < taken.size(); ++i) {
      const Request& request = taken[i];
      const ByteCount planned = plannedReadSize(request.size, request.kind);
      work_.progress->begin([&request] { return request.file.path(); }, planned);
      if (admitted[i]) digestAdmitted(request, std::move(*admitted[i]), digested);
      work_.progress->end(1, planned);
    }
    work_.notifyProgress();
    provider.addBatch(std::move(digested));
    backlog_->remove(taken.size());
    for (size_t i = 0; i < taken.size(); ++i) work_.inFlight->leave();
  }
}

// Exact digests of files longer than a block wait at the gate; the rest are due now.
std::vector<std::optional<ExactPipeline::Admitted>> ExactPipeline::passGate(
    std::vector<Request>& requests) {
  std::vector<std::optional<Admitted>> admitted(requests.size());
  std::vector<ContentPrefixGate::Arrival> arrivals;
  std::vector<size_t> arriving;  // the request of each arrival
  for (size_t i = 0; i < requests.size(); ++i) {
    Request& request = requests[i];
    if (request.kind != HashKind::exact || !ContentPrefixGate::holdsBack(request.size)) {
      admitted[i].emplace().admission.due.push_back(request.file.unpark(request.size));
      continue;
    }
    if (!work_.canContinue()) continue;
    auto prefix = contentPrefix(request);
    if (prefix.hasError()) {
      reportFailure(prefix.error(), request.size);
      continue;
    }
    admitted[i].emplace().prefix = prefix.value();
    arrivals.push_back({&request.file, request.size, prefix.value(), request.parksAtGate});
    arriving.push_back(i);
  }
  if (arrivals.empty()) return admitted;
  auto admissions = gate_.admitAll(arrivals);
  for (size_t k = 0; k < arriving.size(); ++k)
    admitted[arriving[k]]->admission = std::move(admissions[k]);
  return admitted;
}

void ExactPipeline::digestAdmitted(const Request& request, Admitted admitted, Digested& digested) {
  std::vector<MatchingNodePtr> due;
  for (auto& node : admitted.admission.due) {
    if (node.hasError()) {
      reportFailure(node.error(), request.size);
    } else {
      due.push_back(std::move(node.value()));
    }
  }
  const size_t firstDigested = digested.size();
  digestDue(std::move(due), request, admitted, digested);
  if (admitted.prefix && !admitted.admission.reference && digested.size() > firstDigested) {
    const MatchingNode& first = *digested[firstDigested].first;
    if (auto hash = first.exactFileHash()) {
      gate_.offerReference(
          request.size, *admitted.prefix,
          DigestReference{first.path(), first.attributes().dateOfModification, *hash});
    }
  }
}

Result<std::uint64_t> ExactPipeline::contentPrefix(Request& request) {
  if (auto known = request.file.contentPrefixHash()) return *known;
  if (!cache_.isOn())
    return calculateContentPrefixHash(request.file.path(), request.size, work_.readingPriority());
  if (request.file.wholeNode() == nullptr && SmallFileDigestTable::holds(request.size)) {
    // A first scan keeps the block by the state of the file once open: no lookup by path.
    if (!cache_.knowsSmallFiles()) return readContentPrefix(request.file.path(), request.size);
    // Made again now rather than at the gate: its state is the key to the cache. One that
    // cannot be is read, which reports what became of it as a first scan does.
    auto node = request.file.unpark(request.size);
    if (node.hasError()) return readContentPrefix(request.file.path(), request.size);
    request.file = ParkedFileNode(std::move(node).value(), false);
    request.parksAtGate = true;
  }
  const MatchingNodePtr* whole = request.file.wholeNode();
  const CachedReading::Look look = whole != nullptr
                                       ? cache_.lookForContent(**whole, HashKind::exact)
                                       : cache_.lookForContent(request.file.path(), request.size);
  if (look.known && look.known->contentPrefixHash) return *look.known->contentPrefixHash;
  auto prefix =
      calculateContentPrefixHash(request.file.path(), request.size, work_.readingPriority());
  if (prefix.hasValue()) cache_.recordPrefix(look, prefix.value());
  return prefix;
}

Result<std::uint64_t> ExactPipeline::readContentPrefix(const std::string& path, ByteCount size) {
  const Date readStart = dateNow();
  std::optional<FileState> opened;
  auto prefix = calculateContentPrefixHash(path, size, work_.readingPriority(), &opened);
  if (prefix.hasValue() && opened)
    cache_.recordPrefix(cache_.keptBy(*opened, readStart), prefix.value());
  return prefix;
}

void ExactPipeline::digestDue(std::vector<MatchingNodePtr> due, const Request& request,
                              const Admitted& admitted, Digested& digested) {
  const HashKind kind = request.kind;
  std::vector<MatchingNodePtr> unknown;
  std::vector<CachedReading::Look> looks;
  for (auto& node : due) {
    auto look = cache_.lookForContent(*node, kind);
    if (auto known = CachedReading::digestOf(look, kind)) {
      known_.fetch_add(1, std::memory_order_relaxed);
      node->setExactFileHash(*known);
      if (kind == HashKind::exact) rememberLinkDigest(*node);
      digested.emplace_back(node, digestInformation(*known, kind));
      continue;
    }
    unknown.push_back(std::move(node));
    looks.push_back(std::move(look));
  }
  read_.fetch_add(static_cast<std::int64_t>(unknown.size()), std::memory_order_relaxed);
  const size_t firstRead = digested.size();
  std::optional<DigestReference> reference;
  if (unknown.size() == 1) {
    // A gate opened earlier in this turn, or by another worker since, has its reference only now.
    reference = admitted.admission.reference;
    if (!reference && admitted.prefix)
      reference = gate_.referenceOf(request.size, *admitted.prefix);
  }
  if (reference && matchesReference(*unknown[0], *reference)) {
    digested.emplace_back(unknown[0], std::make_shared<ExactHashEquivalenceInfo>(reference->hash));
  } else {
    digestAll(unknown, kind, digested);
  }
  if (!cache_.isOn()) return;
  for (size_t i = firstRead; i < digested.size(); ++i) {
    const auto at = std::find(unknown.begin(), unknown.end(), digested[i].first) - unknown.begin();
    if (auto hash = digested[i].first->exactFileHash();
        hash && at < static_cast<std::ptrdiff_t>(looks.size())) {
      cache_.recordDigest(looks[static_cast<size_t>(at)], kind, *hash);
    }
  }
}

ByteCount ExactPipeline::plannedReadSize(ByteCount size, HashKind kind) {
  // WAV files, read whole, count as others: the figure only paces the progress line, and
  // knowing the extension would cost a path per file.
  constexpr ByteCount kMebibyte = 1 << 20;
  return std::min(size, (kind == HashKind::exact ? 4 : 16) * kMebibyte);
}

bool ExactPipeline::matchesReference(MatchingNode& node, const DigestReference& reference) {
  if (knownLinkDigest(node) || !work_.canContinue()) return false;
  auto same =
      hasSampledContentOf(exactHashingRequest(node, work_.cancellation, work_.readingPriority()),
                          reference.path, reference.modified);
  if (!same.hasValue() || !same.value())
    return false;  // digested on its own, which reports any failure
  node.setExactFileHash(reference.hash);
  rememberLinkDigest(node);
  return true;
}

void ExactPipeline::digestAll(const std::vector<MatchingNodePtr>& nodes, HashKind kind,
                              Digested& digested) {
  const bool areTwins = nodes.size() == 2 && kind == HashKind::exact &&
                        !knownLinkDigest(*nodes[0]) && !knownLinkDigest(*nodes[1]);
  if (areTwins && work_.canContinue()) {
    EquivalenceInfoPtr twinInfo;
    auto info = ExactHashCalculator::createEquivalenceInfoWithTwin(
        *nodes[0], *nodes[1], twinInfo, work_.cancellation, work_.readingPriority());
    if (info.hasValue()) {
      rememberLinkDigest(*nodes[0]);
      digested.emplace_back(nodes[0], std::move(info.value()));
    } else {
      reportFailure(info.error(), nodes[0]->attributes().exactSize);
    }
    if (twinInfo) {
      rememberLinkDigest(*nodes[1]);
      digested.emplace_back(nodes[1], std::move(twinInfo));
    } else if (auto other = digest(nodes[1], kind)) {
      digested.emplace_back(nodes[1], std::move(other));
    }
    return;
  }
  for (const auto& node : nodes) {
    if (auto info = digest(node, kind)) digested.emplace_back(node, std::move(info));
  }
}

EquivalenceInfoPtr ExactPipeline::digest(const MatchingNodePtr& node, HashKind kind) {
  if (!work_.canContinue()) return nullptr;
  if (kind == HashKind::exact) {
    if (auto known = knownLinkDigest(*node)) {
      node->setExactFileHash(*known);
      return std::make_shared<ExactHashEquivalenceInfo>(*known);
    }
  }
  auto info = ExactHashCalculator::createEquivalenceInfo(*node, kind, work_.cancellation,
                                                         work_.readingPriority());
  if (info.hasError()) {
    reportFailure(info.error(), node->attributes().exactSize);
    return nullptr;
  }
  if (kind == HashKind::exact) rememberLinkDigest(*node);
  return info.value();
}

std::optional<ExactFileHash> ExactPipeline::knownLinkDigest(const MatchingNode& node) {
  const NodeAttributes& attributes = node.attributes();
  if (!isHardLinked(attributes)) return std::nullopt;
  std::lock_guard lock(linkDigestsMutex_);
  auto known = linkDigests_.find(*attributes.fileResourceID);
  if (known == linkDigests_.end() || known->second.size != attributes.exactSize)
    return std::nullopt;
  return known->second;
}

void ExactPipeline::rememberLinkDigest(const MatchingNode& node) {
  const NodeAttributes& attributes = node.attributes();
  if (!isHardLinked(attributes)) return;
  if (auto hash = node.exactFileHash()) {
    std::lock_guard lock(linkDigestsMutex_);
    linkDigests_.emplace(*attributes.fileResourceID, *hash);
  }
}

void ExactPipeline::reportFailure(const Error& error, ByteCount size) {
  if (error.isCancellation()) return;  // stopped by the user, nothing wrong with the file
  LogContext context = LogContext::at(error.path);
  if (!error.underlying.empty()) context.underlyingError = error.underlying;
  Logger::shared().log(kAuthor, "calculateHash(forNode:hashKind:provider:)", error.description,
                       context);
  // Empty files cannot be digested and are simply never grouped; other failures (unreadable,
  // changed or vanished files) are worth a line.
  const bool isEmptyFile =
      error.code == FileServicesError::hashingFailedForUnknownReason && size < 1;
  if (!isEmptyFile) work_.fail(error);
}

Future<Void> ExactPipeline::matchSymLink(const MatchingNodePtr& node,
                                         EquivalenceCandidatesProviderImpl& provider) {
  Promise<Void> promise;
  auto future = promise.future();
  work_.queue->addOperation(
      [self = shared_from_this(), provider = provider.shared_from_this(), node, promise]() mutable {
        if (self->work_.canContinue()) {
          const std::string path = node->path();
          auto session = DiskAccessManager::shared().beginAccessingURL(
              path, "init(linkUrl:)", self->work_.readingPriority());
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

void ExactPipeline::finish() { gate_.clear(); }

}  // namespace zarnik
