// ExactPipeline: the content side of exact matching for one scan. The size stage asks it for
// the digest of every file that shares its size; it answers through the engine's add:
//
//   first block  → files longer than a block wait at the first-block gate until another file of
//                  their size shares their first 4 KiB (most never do, and are never digested);
//   twin         → two files let through together are compared while the first is digested;
//   reference    → a later file of an open gate is compared with the gate's first digest;
//   digest       → the sampled digest (or the audio data's digest) of the rest;
//   hard links   → links of one file are digested once a scan;
//   cache        → the first block's fingerprint and the digest an earlier scan made of an
//                  unchanged file are taken as they are, and what this scan learns is kept for
//                  the next; a listed file is looked up by the state the walk saw.
//
// Requests go to one list that at most `width` workers on the scan's queue drain a few at a
// time; no worker waits for another stage. Workers hold the pipeline alive; the scan holds the
// engine, which holds the pipeline weakly.
#pragma once

#include "foundation/backlog.h"
#include "matching/cached_reading.h"
#include "matching/content_prefix_gate.h"
#include "matching/content_reader.h"
#include "matching/content_work.h"
#include "matching/parked_file_node.h"

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

namespace zarnik {

class ExactPipeline final : public ContentReader,
                            public std::enable_shared_from_this<ExactPipeline> {
 public:
  // `backlog`: listed files not yet past the first-block gate, which the walk waits on.
  // `keepsWhole`: whether a node is held by another matcher too (similar pictures or audio), so
  // that it may not wait at the gate as a folder and a name.
  static std::shared_ptr<ExactPipeline> make(ContentWork work, std::shared_ptr<Backlog> backlog,
                                             std::function<bool(const MatchingNode&)> keepsWhole);

  Future<Void> calculateHash(const MatchingNodePtr& node, HashKind kind,
                             EquivalenceCandidatesProviderImpl& provider) override;
  Future<Void> calculateHash(ParkedFileNode file, ByteCount size, HashKind kind,
                             EquivalenceCandidatesProviderImpl& provider) override;
  // A parked small file takes the fingerprint of its first block from the cache when it is
  // known there by the state the walk saw: a rescan then lets it wait at the gate without
  // making its node again.
  [[nodiscard]] ParkedFileNode parked(const MatchingNodePtr& node) const override;
  Future<Void> matchSymLink(const MatchingNodePtr& node,
                            EquivalenceCandidatesProviderImpl& provider) override;
  // The files still waiting at the gate have no duplicate: they are let go.
  void finish();
  // Digests found in the cache, and digests made by reading.
  struct Counts {
    std::int64_t known = 0;
    std::int64_t read = 0;
  };
  [[nodiscard]] Counts counts() const { return {known_.load(), read_.load()}; }

  // The bytes the digest of a request reads at most, for the progress of content reading.
  [[nodiscard]] static ByteCount plannedReadSize(ByteCount size, HashKind kind);

 private:
  ExactPipeline(ContentWork work, std::shared_ptr<Backlog> backlog,
                std::function<bool(const MatchingNode&)> keepsWhole)
      : work_(std::move(work)),
        cache_(work_.cache),
        backlog_(std::move(backlog)),
        keepsWhole_(std::move(keepsWhole)) {}

  struct Request {
    ParkedFileNode file;
    ByteCount size = 0;
    HashKind kind = HashKind::exact;
    bool parksAtGate = false;  // a whole node to wait at the gate by its folder and name
  };
  using Digested = std::vector<std::pair<MatchingNodePtr, EquivalenceInfoPtr>>;

  void enqueue(Request request, EquivalenceCandidatesProviderImpl& provider);
  void drain(EquivalenceCandidatesProviderImpl& provider);
  // What the gate said of a request, and the fingerprint it came with (none for a file not held
  // back); nothing for a request left undone (stopped, or its first block unreadable: reported).
  struct Admitted {
    ContentPrefixGate::Admission admission;
    std::optional<std::uint64_t> prefix;
  };
  // Takes the requests of a turn through the gate together (one lock for all of them).
  [[nodiscard]] std::vector<std::optional<Admitted>> passGate(std::vector<Request>& requests);
  // Digests what the gate let through for a request, with the file it waited for.
  void digestAdmitted(const Request& request, Admitted admitted, Digested& digested);
  // The fingerprint of the file's first block, from the cache when it is known there. A parked
  // small file brings it when it was known as the file was listed, else may be made again for it.
  [[nodiscard]] Result<std::uint64_t> contentPrefix(Request& request);
  // Reads the fingerprint and keeps it by the file's state once open.
  [[nodiscard]] Result<std::uint64_t> readContentPrefix(const std::string& path, ByteCount size);
  // Digests the due nodes: those the cache knows at once, the rest by reading; a lone file to
  // read is compared with its gate's reference instead, when there is one.
  void digestDue(std::vector<MatchingNodePtr> due, const Request& request, const Admitted& admitted,
                 Digested& digested);
  // Whether the node holds what the reference held when digested; it then takes its digest.
  bool matchesReference(MatchingNode& node, const DigestReference& reference);
  // Two files let through together are most often copies: the second is compared with the
  // first while that is digested, and digested itself only if it differs.
  void digestAll(const std::vector<MatchingNodePtr>& nodes, HashKind kind, Digested& digested);
  EquivalenceInfoPtr digest(const MatchingNodePtr& node, HashKind kind);
  // The digest of another link of the node's file, computed earlier in this scan.
  std::optional<ExactFileHash> knownLinkDigest(const MatchingNode& node);
  void rememberLinkDigest(const MatchingNode& node);
  // `size`: the file's size when listed (an empty file cannot be digested, and is no failure).
  void reportFailure(const Error& error, ByteCount size);

  ContentWork work_;
  CachedReading cache_;
  std::shared_ptr<Backlog> backlog_;
  std::function<bool(const MatchingNode&)> keepsWhole_;
  ContentPrefixGate gate_;

  std::mutex requestsMutex_;
  std::deque<Request> requests_;
  size_t workers_ = 0;  // under requestsMutex_

  std::atomic<std::int64_t> known_{0};
  std::atomic<std::int64_t> read_{0};

  std::mutex linkDigestsMutex_;
  std::unordered_map<FileId, ExactFileHash, FileIdHash> linkDigests_;
};

}  // namespace zarnik
