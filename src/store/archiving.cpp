#include "store/archiving.h"

#include <algorithm>

namespace zarnik {
namespace {

constexpr std::string_view kScanLocationClass = "ScanLocation";
constexpr std::string_view kScanLocationSubstitutionClass = "ScanLocationSubstitution";
constexpr std::string_view kRawDataSubstitutionClass = "RawDataSubstitution";
// Substitutions resolve to archives that hold no substitutions of their own; the limit only
// guards against a crafted store nesting references without end.
constexpr int kMaximumDepth = 64;

std::optional<std::string> classOf(const Json& value) {
  if (!value.is_object()) return std::nullopt;
  return jsonString(value, "$class");
}

bool isMediaLibraryNode(const Json& value) {
  return classOf(value) == "ZKDirectoryNode" && value.contains("mediaLibraryInfo");
}

}  // namespace

std::string archivedText(std::string_view className, const Json& value) {
  return dumpJson(Json{{"$class", std::string(className)}, {"value", value}});
}

std::optional<Json> unarchivedValue(std::string_view text, std::string_view className) {
  auto parsed = parseJson(text);
  if (parsed.hasError() || classOf(parsed.value()) != className) return std::nullopt;
  const Json* value = jsonMember(parsed.value(), "value");
  if (value == nullptr) return std::nullopt;
  return *value;
}

std::optional<Json> unarchivedObject(std::string_view text,
                                     const std::vector<std::string_view>& allowed) {
  auto parsed = parseJson(text);
  if (parsed.hasError()) return std::nullopt;
  auto name = classOf(parsed.value());
  if (!name || std::find(allowed.begin(), allowed.end(), *name) == allowed.end())
    return std::nullopt;
  return std::move(parsed).value();
}

ArchiveSubstitutions::ArchiveSubstitutions(
    std::vector<ScanLocationPtr> scanLocations,
    const std::vector<std::shared_ptr<const ZKBaseNode>>& mediaLibraryNodes)
    : scanLocations_(std::move(scanLocations)) {
  for (const auto& location : scanLocations_)
    scanLocationArchives_.push_back(location ? location->encode() : Json());
  for (const auto& archive : scanLocationArchives_) {
    firstArchivedAlike_.push_back(static_cast<size_t>(
        std::find(scanLocationArchives_.begin(), scanLocationArchives_.end(), archive) -
        scanLocationArchives_.begin()));
  }
  for (const auto& node : mediaLibraryNodes)
    mediaLibraryNodeArchives_.push_back(node ? node->encode() : Json());
}

Json ArchiveSubstitutions::substitute(Json archive) const {
  substituteInPlace(archive);
  return archive;
}

Json ArchiveSubstitutions::resolve(Json archive) const {
  resolveInPlace(archive, 0);
  return archive;
}

void ArchiveSubstitutions::substituteInPlace(Json& value) const {
  if (value.is_array()) {
    for (auto& item : value) substituteInPlace(item);
    return;
  }
  if (!value.is_object()) return;
  if (classOf(value) == kScanLocationClass) {
    auto it = std::find(scanLocationArchives_.begin(), scanLocationArchives_.end(), value);
    if (it != scanLocationArchives_.end()) {
      value = Json{{"$class", kScanLocationSubstitutionClass},
                   {"index", it - scanLocationArchives_.begin()}};
    }
    return;
  }
  if (isMediaLibraryNode(value)) {
    auto it = std::find(mediaLibraryNodeArchives_.begin(), mediaLibraryNodeArchives_.end(), value);
    if (it != mediaLibraryNodeArchives_.end()) {
      value = Json{{"$class", kRawDataSubstitutionClass},
                   {"index", it - mediaLibraryNodeArchives_.begin()},
                   {"kind", kMediaLibraryNodeKind}};
      return;
    }
  }
  for (auto& [key, member] : value.items()) substituteInPlace(member);
}

void ArchiveSubstitutions::resolveInPlace(Json& value, int depth) const {
  if (depth > kMaximumDepth) return;
  if (value.is_array()) {
    for (auto& item : value) resolveInPlace(item, depth + 1);
    return;
  }
  if (!value.is_object()) return;
  const auto name = classOf(value);
  const auto index = jsonInt(value, "index");
  if (name == kScanLocationSubstitutionClass && index && *index >= 0 &&
      static_cast<size_t>(*index) < scanLocationArchives_.size()) {
    value = scanLocationArchives_[static_cast<size_t>(*index)];
    return;
  }
  if (name == kRawDataSubstitutionClass && index && *index >= 0 &&
      jsonString(value, "kind") == kMediaLibraryNodeKind &&
      static_cast<size_t>(*index) < mediaLibraryNodeArchives_.size()) {
    value = mediaLibraryNodeArchives_[static_cast<size_t>(*index)];
    return;
  }
  for (auto& [key, member] : value.items()) resolveInPlace(member, depth + 1);
}

std::optional<Json> ArchiveSubstitutions::referenceTo(const ScanLocationPtr& location) const {
  if (!location) return std::nullopt;
  const auto at = std::find(scanLocations_.begin(), scanLocations_.end(), location);
  if (at == scanLocations_.end()) return std::nullopt;
  return Json{{"$class", kScanLocationSubstitutionClass},
              {"index", firstArchivedAlike_[static_cast<size_t>(at - scanLocations_.begin())]}};
}

std::string ArchiveSubstitutions::archivedNode(const ZKBaseNode& node) const {
  // A node's own scan location, one of the list's objects for nearly every node, is named
  // without being archived and compared with the list: that was a third of a node's archiving.
  // A library's folder stays whole, to be compared whole with the libraries kept apart.
  const auto* folder = dynamic_cast<const ZKDirectoryNode*>(&node);
  const bool isLibrary = folder != nullptr && folder->mediaLibraryInfo();
  auto reference = isLibrary ? std::nullopt : referenceTo(node.location().scanLocation());
  return dumpJson(substitute(reference ? node.encode(std::move(*reference)) : node.encode()));
}

Result<std::shared_ptr<ZKBaseNode>> ArchiveSubstitutions::unarchivedNode(
    std::string_view text) const {
  ZK_ASSIGN_OR_RETURN(Json archive, parseJson(text));
  return ZKBaseNode::decode(resolve(std::move(archive)));
}

}  // namespace zarnik
