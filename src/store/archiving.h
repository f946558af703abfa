// Values kept in stores are archives: JSON text whose outer object names its class under
// "$class". Reading checks the class against what the reader expects (an archive of another
// class is refused, never misread), and a record that cannot be read yields nothing.
//
// Objects that the store already keeps elsewhere are written as small references and resolved
// again on reading: a scan location of the store's list becomes
// {"$class": "ScanLocationSubstitution", "index": i}, a media-library folder node of the stored
// list {"$class": "RawDataSubstitution", "index": i, "kind": "MediaLibraryNode"}.
#pragma once

#include "base/json.h"
#include "file_model/base_node.h"
#include "file_model/scan_location.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zarnik {

// {"$class": className, "value": value}
[[nodiscard]] std::string archivedText(std::string_view className, const Json& value);
// The value of an archive of `className`; nothing for text that does not parse or a wrong class.
[[nodiscard]] std::optional<Json> unarchivedValue(std::string_view text,
                                                  std::string_view className);
// A self-tagged archive (an object with its own "$class") whose class is one of `allowed`.
[[nodiscard]] std::optional<Json> unarchivedObject(std::string_view text,
                                                   const std::vector<std::string_view>& allowed);

struct ScanLocationSubstitution {
  std::int64_t index = 0;
  friend bool operator==(const ScanLocationSubstitution&,
                         const ScanLocationSubstitution&) = default;
};

struct RawDataSubstitution {
  std::int64_t index = 0;
  std::string kind;  // the raw kind of the list the index points into
  friend bool operator==(const RawDataSubstitution&, const RawDataSubstitution&) = default;
};

class ArchiveSubstitutions {
 public:
  static constexpr std::string_view kMediaLibraryNodeKind = "MediaLibraryNode";

  ArchiveSubstitutions() = default;
  ArchiveSubstitutions(std::vector<ScanLocationPtr> scanLocations,
                       const std::vector<std::shared_ptr<const ZKBaseNode>>& mediaLibraryNodes);

  [[nodiscard]] const std::vector<ScanLocationPtr>& scanLocations() const { return scanLocations_; }
  // Replaces the known objects inside `archive` by their references.
  [[nodiscard]] Json substitute(Json archive) const;
  // Replaces references by the archives of the objects they name; a reference out of range is
  // left as it is (the decoder of the enclosing object then refuses it).
  [[nodiscard]] Json resolve(Json archive) const;

  // A node archived with substitutions, and read back.
  [[nodiscard]] std::string archivedNode(const ZKBaseNode& node) const;
  [[nodiscard]] Result<std::shared_ptr<ZKBaseNode>> unarchivedNode(std::string_view text) const;

 private:
  void substituteInPlace(Json& value) const;
  // The reference to `location` when it is one of the list's own objects.
  [[nodiscard]] std::optional<Json> referenceTo(const ScanLocationPtr& location) const;
  void resolveInPlace(Json& value, int depth) const;

  std::vector<ScanLocationPtr> scanLocations_;
  std::vector<Json> scanLocationArchives_;
  // Of each location, the first of the list archived as it is (the one a reference names).
  std::vector<size_t> firstArchivedAlike_;
  std::vector<Json> mediaLibraryNodeArchives_;
};

}  // namespace zarnik
