// ParkedFileNode: a file node set aside while it waits for a file like it, which most never
// meet. It keeps the file's folder and name (48 bytes and the name's; `ParkedFiles` keeps many
// in 8 bytes and the name's each) instead of the node (about 200, which at 200,000 waiting files
// was most of a scan's memory) and makes the node again, from what the file system says of the
// file then, when it is wanted. Nodes that cannot be made again from their folder and name
// (roots, library items, packages) are kept as they are.
#pragma once

#include "base/result.h"
#include "matching/matching_node.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace zarnik {

class ParkedFileNode {
 public:
  // `park`: false keeps the node itself (another owner needs this very object).
  ParkedFileNode(MatchingNodePtr node, bool park);
  // A file parked as `name` in `folder`, with the fingerprint of its first block when that was
  // known as it was listed.
  [[nodiscard]] static ParkedFileNode inFolder(std::shared_ptr<MatchingDirectoryNode> folder,
                                               std::string_view name,
                                               std::optional<std::uint64_t> contentPrefixHash = {});

  // The node itself when it is kept whole, else null.
  [[nodiscard]] const MatchingNodePtr* wholeNode() const {
    return std::get_if<MatchingNodePtr>(&place_);
  }
  // The folder and name of a parked file (not of one kept whole).
  [[nodiscard]] const std::shared_ptr<MatchingDirectoryNode>& folder() const {
    return std::get<InFolder>(place_).folder;
  }
  [[nodiscard]] std::string_view name() const { return std::get<InFolder>(place_).name.view(); }
  // The fingerprint of a parked file's first block, known without reading it: an earlier scan
  // made it of the file in the state the walk saw. Lets a rescan pass the first-block gate
  // without making the node again.
  [[nodiscard]] std::optional<std::uint64_t> contentPrefixHash() const;
  // Notes it for a parked file; a whole node has its own way to the cache.
  void noteContentPrefixHash(std::uint64_t hash);

  [[nodiscard]] std::string path() const;
  // The node again. Fails when the file is gone, or is no longer a regular file of
  // `expectedSize` bytes: it changed since it was listed and is not matched.
  [[nodiscard]] Result<MatchingNodePtr> unpark(ByteCount expectedSize) const;

 private:
  // A name in one allocation of its length: a string's inline buffer would cost 32 bytes
  // a file whatever its name.
  class Name {
   public:
    explicit Name(std::string_view name);
    Name(const Name& other) : Name(other.view()) {}
    Name(Name&&) noexcept = default;
    Name& operator=(const Name& other) { return *this = Name(other); }
    Name& operator=(Name&&) noexcept = default;
    ~Name() = default;
    [[nodiscard]] std::string_view view() const { return characters_.get(); }

   private:
    std::unique_ptr<char[]> characters_;  // NUL-terminated: file names hold no NUL
  };
  struct InFolder {
    std::shared_ptr<MatchingDirectoryNode> folder;
    Name name;
    std::optional<std::uint64_t> contentPrefixHash;
  };
  explicit ParkedFileNode(InFolder place) : place_(std::move(place)) {}

  std::variant<MatchingNodePtr, InFolder> place_;
};

}  // namespace zarnik
