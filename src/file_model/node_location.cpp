#include "file_model/node_location.h"

namespace zarnik {

std::optional<NodeLocation> NodeLocation::make(ScanLocationPtr scanLocation,
                                               std::string_view path) {
  if (!scanLocation) return std::nullopt;
  auto relative = scanLocation->relativePath(path);
  if (!relative) return std::nullopt;
  return NodeLocation(std::move(scanLocation), std::move(*relative));
}

NodeLocation NodeLocation::fromRelativePath(ScanLocationPtr scanLocation,
                                            std::string relativePath) {
  return NodeLocation(std::move(scanLocation), std::move(relativePath));
}

PathComponents NodeLocation::relativePathComponents() const {
  return zarnik::pathComponents(relativePath_);
}

PathComponents NodeLocation::abbreviatedPathComponents() const {
  PathComponents components =
      scanLocation_ ? scanLocation_->abbreviatedPathComponents() : PathComponents();
  PathComponents relative = relativePathComponents();
  components.insert(components.end(), relative.begin(), relative.end());
  return components;
}

std::string NodeLocation::abbreviatedPath() const {
  return pathFromComponents(abbreviatedPathComponents());
}

std::string NodeLocation::path() const {
  const std::string& base = scanLocation_ ? scanLocation_->path() : std::string();
  if (relativePath_.empty()) return base;
  return appendingPathComponent(base, relativePath_);
}

PathComponents NodeLocation::pathComponents() const { return zarnik::pathComponents(path()); }

std::string_view NodeLocation::relativeName() const {
  if (relativePath_.empty()) {
    return scanLocation_ ? lastPathComponent(scanLocation_->path()) : std::string_view();
  }
  return lastPathComponent(relativePath_);
}

std::optional<std::string_view> NodeLocation::pathExtension() const {
  const std::string_view extension = zarnik::pathExtension(relativeName());
  if (extension.empty()) return std::nullopt;
  return extension;
}

Json NodeLocation::encode() const {
  // The abbreviated path is the scan location's followed by the relative path: not written.
  if (scanLocation_) return encode(scanLocation_->encode());
  return Json{{"relativePathComponents", bytesListJson(relativePathComponents())}};
}

Json NodeLocation::encode(Json scanLocationArchive) const {
  return Json{{"relativePathComponents", bytesListJson(relativePathComponents())},
              {"scanLocation", std::move(scanLocationArchive)}};
}

Result<NodeLocation> NodeLocation::decode(const Json& archive) {
  const Json* relative = jsonMember(archive, "relativePathComponents");
  auto components = relative ? bytesListFromJson(*relative) : std::nullopt;
  if (!components) return Error::generic("The stored node location has no relative path.");
  ScanLocationPtr scanLocation;
  if (const Json* stored = jsonMember(archive, "scanLocation")) {
    ZK_ASSIGN_OR_RETURN(scanLocation, ScanLocation::decode(*stored));
  }
  return NodeLocation(std::move(scanLocation), pathFromComponents(*components));
}

}  // namespace zarnik
