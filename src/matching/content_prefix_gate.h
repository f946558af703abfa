// ContentPrefixGate: holds back the digest of a file until another file of its size shares its
// first block. Files that merely share a size nearly always differ at the start; for them the
// scan reads one block instead of the digest's megabytes. The first file of a size and first
// block waits at the gate; the second opens it for both; later ones pass at once. A file that
// waits to the end cannot have a duplicate, and is never digested. Waiting files are parked
// (kept as their folder and name) and their nodes made again when the gate opens.
//
// An open gate also keeps the first digest made behind it: the files that pass later are most
// often further copies, and comparing one with that reference costs a tenth of digesting it.
#pragma once

#include "matching/exact_hashing.h"
#include "matching/matching_node.h"
#include "matching/parked_file_node.h"
#include "matching/parked_files.h"
#include "matching/ticket_table.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace zarnik {

// A digested file and when it was last modified as listed: it stands for its digest only
// while it is unchanged.
struct DigestReference {
  std::string path;
  Date modified;
  ExactFileHash hash;
};

class ContentPrefixGate {
 public:
  // Files no longer than the block are digested at once: their digest costs what the block does.
  [[nodiscard]] static bool holdsBack(ByteCount size) { return size > kContentPrefixSize; }

  struct Admission {
    // The nodes whose digest is due: none when the file is the first of its size and block,
    // both when it is the second, else itself. A parked file that changed or vanished meanwhile
    // is due as the error that says so.
    std::vector<Result<MatchingNodePtr>> due;
    // For a file passing a gate open before: the gate's reference digest, once there is one.
    std::optional<DigestReference> reference;
  };
  // `file` of `size` bytes arrives with `prefixHash`. A file arriving again (changed and listed
  // anew) takes its own earlier place. A whole node waits parked when `parkWhileWaiting` (unless
  // another owner needs that very object), and passes as it came: what the walk learnt of it
  // is not asked of the file system again.
  Admission admit(const ParkedFileNode& file, ByteCount size, std::uint64_t prefixHash,
                  bool parkWhileWaiting);
  struct Arrival {
    const ParkedFileNode* file;
    ByteCount size;
    std::uint64_t prefixHash;
    bool parkWhileWaiting;
  };
  // The admissions of files arriving in turn, as `admit` gives them one by one, under one lock:
  // workers that took the lock for each file waited on each other for much of a rescan.
  std::vector<Admission> admitAll(const std::vector<Arrival>& arrivals);
  // The reference of the open gate of `size` and `prefixHash`, if it has one yet.
  [[nodiscard]] std::optional<DigestReference> referenceOf(ByteCount size,
                                                           std::uint64_t prefixHash);
  // Makes a digest made behind the open gate of `size` and `prefixHash` its reference, unless
  // it has one.
  void offerReference(ByteCount size, std::uint64_t prefixHash, DigestReference reference);
  // Lets go of the waiting nodes (they will not be digested).
  void clear();

 private:
  // A gate is found by one number made of the size and the first block's hash. Two gates
  // sharing the number (about once in 10^19 pairs) would only cost a digest, or report that a
  // file changed: digests still compare sizes and contents. Its ticket is a waiting file's, or
  // kOpen with the number of the gate's reference.
  static constexpr std::uint32_t kOpen = TicketTable::kFirstHolderPlace;
  static constexpr std::uint32_t kNoReference = 0xFFFFFFFFU;

  [[nodiscard]] static std::uint64_t keyOf(ByteCount size, std::uint64_t prefixHash);

  std::mutex mutex_;
  TicketTable gates_;
  ParkedFiles waiting_;
  std::vector<DigestReference> references_;  // few: most gates never open
};

}  // namespace zarnik
