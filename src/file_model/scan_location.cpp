#include "file_model/scan_location.h"

#include "platform/bookmark.h"

namespace zarnik {

std::shared_ptr<const ScanLocation> ScanLocation::make(const std::string& path,
                                                       const OVURLResolver& resolver) {
  auto bookmark = makeBookmarkData(path);
  if (!bookmark) return nullptr;
  auto location = std::shared_ptr<ScanLocation>(new ScanLocation());
  location->url_ = standardizedPath(path);
  location->urlData_ = std::move(bookmark);
  location->abbreviatedPath_ = resolver.abbreviatedPathForURL(path, /*isDirectory=*/true).value_or(path);
  location->derivePaths();
  return location;
}

std::shared_ptr<const ScanLocation> ScanLocation::make(std::optional<std::string> bookmarkedURL,
                                                       std::optional<std::string> urlData,
                                                       std::string abbreviatedPath) {
  auto location = std::shared_ptr<ScanLocation>(new ScanLocation());
  if (!bookmarkedURL && urlData) {
    if (auto resolved = resolveBookmarkData(*urlData)) bookmarkedURL = resolved->path;
  }
  if (bookmarkedURL) location->url_ = standardizedPath(*bookmarkedURL);
  location->urlData_ = std::move(urlData);
  location->abbreviatedPath_ = std::move(abbreviatedPath);
  location->derivePaths();
  return location;
}

void ScanLocation::derivePaths() {
  path_ = url_.value_or(std::string());
  pathComponents_ = zarnik::pathComponents(path_);
  abbreviatedComponents_ = zarnik::pathComponents(abbreviatedPath_);
  if (abbreviatedComponents_.size() >= 2 && abbreviatedComponents_.back() == "/") {
    abbreviatedComponents_.pop_back();
  }
}

std::optional<PathComponents> ScanLocation::relativePathComponents(std::string_view path) const {
  if (!url_) return std::nullopt;
  PathComponents components = zarnik::pathComponents(standardizedPath(path));
  if (!hasComponentPrefix(components, pathComponents_)) return std::nullopt;
  components.erase(components.begin(), components.begin() + static_cast<long>(pathComponents_.size()));
  return components;
}

std::optional<std::string> ScanLocation::relativePath(std::string_view path) const {
  auto components = relativePathComponents(path);
  if (!components) return std::nullopt;
  return pathFromComponents(*components);
}

Json ScanLocation::encode() const {
  Json archive{{"$class", "ScanLocation"},
               {"abbreviatedPath", bytesJson(abbreviatedPath_)},
               {"pathComponents", bytesListJson(pathComponents_)}};
  if (urlData_) archive["urlData"] = bytesJson(*urlData_);
  return archive;
}

Result<std::shared_ptr<const ScanLocation>> ScanLocation::decode(const Json& archive) {
  if (auto name = jsonString(archive, "$class"); name && *name != "ScanLocation") {
    return Error::generic("The stored scan location is of another class.");
  }
  auto abbreviated = jsonString(archive, "abbreviatedPath");
  if (!abbreviated) return Error::generic("The stored scan location has no path.");
  std::optional<std::string> url;
  if (const Json* components = jsonMember(archive, "pathComponents")) {
    if (auto list = bytesListFromJson(*components); list && !list->empty()) url = pathFromComponents(*list);
  }
  return make(std::move(url), jsonString(archive, "urlData"), std::move(*abbreviated));
}

}  // namespace zarnik
