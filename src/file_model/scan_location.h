// ScanLocation: a folder (or media library) the user chose to scan, kept across runs with its
// bookmark data and its abbreviated path. Every node found under it refers to it.
//
// Immutable once built and shared by pointer between nodes and threads.
#pragma once

#include "base/json.h"
#include "base/path_components.h"
#include "base/result.h"
#include "foundation/url_resolver.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zarnik {

class ScanLocation {
 public:
  // Builds the location of an existing folder, with its bookmark; nothing when the folder
  // cannot be reached.
  static std::shared_ptr<const ScanLocation> make(const std::string& path,
                                                  const OVURLResolver& resolver);
  // Builds a location from what was stored; the URL comes from resolving the bookmark data.
  static std::shared_ptr<const ScanLocation> make(std::optional<std::string> bookmarkedURL,
                                                  std::optional<std::string> urlData,
                                                  std::string abbreviatedPath);

  [[nodiscard]] const std::optional<std::string>& url() const { return url_; }
  [[nodiscard]] const std::optional<std::string>& urlData() const { return urlData_; }
  [[nodiscard]] const std::string& abbreviatedPath() const { return abbreviatedPath_; }
  // The standardized path of the URL (no trailing separator), empty without a URL.
  [[nodiscard]] const std::string& path() const { return path_; }
  [[nodiscard]] const PathComponents& pathComponents() const { return pathComponents_; }
  // The abbreviated components of the location, the prefix of every node's own.
  [[nodiscard]] const PathComponents& abbreviatedPathComponents() const {
    return abbreviatedComponents_;
  }

  // The components of `path` below this location; nothing when it is not below it.
  [[nodiscard]] std::optional<PathComponents> relativePathComponents(std::string_view path) const;
  [[nodiscard]] std::optional<std::string> relativePath(std::string_view path) const;

  // {"$class": "ScanLocation", "abbreviatedPath", "pathComponents", "urlData"}; the class tag
  // lets stores recognise a location inside any archive.
  [[nodiscard]] Json encode() const;
  static Result<std::shared_ptr<const ScanLocation>> decode(const Json& archive);

  friend bool operator==(const ScanLocation& a, const ScanLocation& b) {
    return a.url_ == b.url_ && a.abbreviatedPath_ == b.abbreviatedPath_;
  }

 private:
  ScanLocation() = default;
  void derivePaths();

  std::optional<std::string> url_;
  std::optional<std::string> urlData_;
  std::string abbreviatedPath_;
  std::string path_;
  PathComponents pathComponents_;
  PathComponents abbreviatedComponents_;
};

using ScanLocationPtr = std::shared_ptr<const ScanLocation>;

}  // namespace zarnik
