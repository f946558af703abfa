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

#include <cstdint>
#include <memory>
#include <memory_resource>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <variant>
#include <vector>

#include "matching/exact_hashing.h"
#include "matching/matching_node.h"
#include "matching/parked_file_node.h"

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
  // anew) takes its own earlier place.
  Admission admit(const ParkedFileNode& file, ByteCount size, std::uint64_t prefixHash);
  // Makes a digest made behind the open gate of `size` and `prefixHash` its reference, unless
  // it has one.
  void offerReference(ByteCount size, std::uint64_t prefixHash, DigestReference reference);
  // Lets go of the waiting nodes (they will not be digested).
  void clear();

 private:
  struct Key {
    ByteCount size;
    std::uint64_t prefixHash;
    friend bool operator==(const Key&, const Key&) = default;
  };
  struct KeyHash {
    size_t operator()(const Key& key) const noexcept {
      return static_cast<size_t>(key.prefixHash ^ (static_cast<std::uint64_t>(key.size) * 0x9E3779B97F4A7C15ULL));
    }
  };
  // Most gates never open: the reference is kept apart, so that a waiting file costs no more.
  struct OpenGate {
    std::unique_ptr<DigestReference> reference;
  };
  using Gates = std::pmr::unordered_map<Key, std::variant<OpenGate, ParkedFileNode>, KeyHash>;
  std::mutex mutex_;
  // A gate is never removed before all are: their entries are carved from large blocks that go
  // back to the system as a whole once the scan is done with them. Freed one by one, the
  // entries of 200,000 waiting files left 10 MB of holes among longer-lived allocations.
  std::pmr::monotonic_buffer_resource entries_;
  Gates gates_{&entries_};
};

}  // namespace zarnik
