// NodeLocation: where a node's item is, as its scan location and the path below it.
//
// One exists for every item of a scan, so it keeps only the scan location pointer and the
// relative path; full paths, component lists and the abbreviated form are derived on demand.
#pragma once

#include "base/json.h"
#include "base/path_components.h"
#include "base/result.h"
#include "file_model/scan_location.h"

#include <optional>
#include <string>
#include <string_view>

namespace zarnik {

class NodeLocation {
 public:
  // The location of `path` under `scanLocation`; nothing when the path is not under it.
  static std::optional<NodeLocation> make(ScanLocationPtr scanLocation, std::string_view path);
  static NodeLocation fromRelativePath(ScanLocationPtr scanLocation, std::string relativePath);

  [[nodiscard]] const ScanLocationPtr& scanLocation() const { return scanLocation_; }
  [[nodiscard]] const std::string& relativePath() const { return relativePath_; }
  [[nodiscard]] PathComponents relativePathComponents() const;
  [[nodiscard]] PathComponents abbreviatedPathComponents() const;
  [[nodiscard]] std::string abbreviatedPath() const;
  [[nodiscard]] std::string path() const;
  [[nodiscard]] std::string url() const { return path(); }
  [[nodiscard]] PathComponents pathComponents() const;
  [[nodiscard]] std::string_view relativeName() const;
  // Without the dot; nothing when the name has no extension.
  [[nodiscard]] std::optional<std::string_view> pathExtension() const;

  [[nodiscard]] Json encode() const;
  // The same with the scan location written as `scanLocationArchive`.
  [[nodiscard]] Json encode(Json scanLocationArchive) const;
  static Result<NodeLocation> decode(const Json& archive);

  friend bool operator==(const NodeLocation& a, const NodeLocation& b) {
    return a.relativePath_ == b.relativePath_ &&
           (a.scanLocation_ == b.scanLocation_ ||
            (a.scanLocation_ && b.scanLocation_ && *a.scanLocation_ == *b.scanLocation_));
  }

 private:
  NodeLocation(ScanLocationPtr scanLocation, std::string relativePath)
      : scanLocation_(std::move(scanLocation)), relativePath_(std::move(relativePath)) {}

  ScanLocationPtr scanLocation_;
  std::string relativePath_;  // components joined by "/", empty for the location itself
};

}  // namespace zarnik
