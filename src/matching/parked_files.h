// ParkedFiles: a great many parked files kept in little room, each under a ticket of eight
// bytes. A file costs its name's bytes in large shared blocks and the number of its folder
// (and 8 bytes more for its first block's fingerprint, when that is known), where a
// ParkedFileNode of its own costs 32 bytes and an allocation for the name. The files
// that wait for a file like theirs are most of a large scan's files, and most wait to the end.
#pragma once

#include "matching/parked_file_node.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zarnik {

class ParkedFiles {
 public:
  struct Ticket {
    std::uint32_t place;  // the folder's number (with kWithContentPrefix), or kKeptAsIs
    std::uint32_t item;   // where the name starts, or the kept file's number
  };
  // Places from here on are never a ticket's: a table of tickets may mark its own states with them.
  static constexpr std::uint32_t kFirstReservedPlace = 0xFFFFFFF0U;

  Ticket add(const ParkedFileNode& file);
  // The file under `ticket`, which is not used again.
  ParkedFileNode take(Ticket ticket);
  // Whether `ticket` holds `file`: the same folder and name, or the same node kept whole.
  [[nodiscard]] bool holds(Ticket ticket, const ParkedFileNode& file) const;
  // Lets go of every file, and of the room they took.
  void clear();

 private:
  static constexpr std::uint32_t kKeptAsIs = kFirstReservedPlace - 1;
  // Marks a place whose item starts with the first block's fingerprint.
  static constexpr std::uint32_t kWithContentPrefix = 0x80000000U;
  // Folder numbers from here on would meet the reserved places once marked.
  static constexpr std::uint32_t kFolderLimit = kKeptAsIs & ~kWithContentPrefix;
  static constexpr unsigned kBlockBits = 16;
  static constexpr size_t kBlockSize = size_t{1} << kBlockBits;
  // Files with longer names (rare: most file systems allow 255 bytes) are kept as they are.
  static constexpr size_t kLongestPackedName = 4095;

  [[nodiscard]] std::uint32_t folderNumber(const std::shared_ptr<MatchingDirectoryNode>& folder);
  // Where `name` is copied, NUL-terminated, after `contentPrefixHash` if any; none when the
  // blocks' numbers are used up.
  [[nodiscard]] std::optional<std::uint32_t> pack(std::string_view name,
                                                  std::optional<std::uint64_t> contentPrefixHash);
  [[nodiscard]] const char* itemAt(std::uint32_t item) const;
  [[nodiscard]] std::string_view nameOf(Ticket ticket) const;
  [[nodiscard]] std::optional<std::uint64_t> contentPrefixHashOf(Ticket ticket) const;
  [[nodiscard]] const std::shared_ptr<MatchingDirectoryNode>& folderOf(Ticket ticket) const;
  Ticket keepAsIs(const ParkedFileNode& file);

  std::vector<std::shared_ptr<MatchingDirectoryNode>> folders_;
  std::unordered_map<const MatchingDirectoryNode*, std::uint32_t> folderNumbers_;
  std::vector<std::unique_ptr<char[]>> nameBlocks_;
  size_t usedInLastBlock_ = kBlockSize;
  std::vector<ParkedFileNode> keptAsIs_;  // nodes kept whole, and files that could not be packed
};

}  // namespace zarnik
