// ContentPrefixGate: holds back the digest of a file until another file of its size shares its
// first block. Files that merely share a size nearly always differ at the start; for them the
// scan reads one block instead of the digest's megabytes. The first file of a size and first
// block waits at the gate; the second opens it for both; later ones pass at once. A file that
// waits to the end cannot have a duplicate, and is never digested. Waiting files are parked
// (kept as their folder and name) and their nodes made again when the gate opens.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "matching/exact_hashing.h"
#include "matching/matching_node.h"
#include "matching/parked_file_node.h"

namespace zarnik {

class ContentPrefixGate {
 public:
  // Files no longer than the block are digested at once: their digest costs what the block does.
  [[nodiscard]] static bool holdsBack(ByteCount size) { return size > kContentPrefixSize; }

  // The nodes whose digest is due now that `file` of `size` bytes arrived with `prefixHash`: none
  // when it is the first of its size and block, both when it is the second, else itself. A file
  // arriving again (changed and listed anew) takes its own earlier place. A parked file that
  // changed or vanished meanwhile is due as the error that says so.
  std::vector<Result<MatchingNodePtr>> admit(const ParkedFileNode& file, ByteCount size, std::uint64_t prefixHash);
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
  std::mutex mutex_;
  // The waiting file, or nothing once the gate of that size and block is open.
  std::unordered_map<Key, std::optional<ParkedFileNode>, KeyHash> waiting_;
};

}  // namespace zarnik
