#include "platform/bookmark.h"

#include "base/json.h"
#include "platform/resource_values.h"

namespace zarnik {

std::optional<std::string> makeBookmarkData(const std::string& path) {
  auto values = readResourceValues(path);
  if (values.hasError()) return std::nullopt;
  const FileId id = values.value().fileResourceIdentifier;
  return dumpJson(Json{{"path", bytesJson(path)}, {"device", id.device}, {"inode", id.inode}});
}

std::optional<ResolvedBookmark> resolveBookmarkData(const std::string& data) {
  auto json = parseJson(data);
  if (json.hasError()) return std::nullopt;
  auto path = jsonString(json.value(), "path");
  if (!path || path->empty()) return std::nullopt;
  ResolvedBookmark resolved{*path, true};
  auto values = readResourceValues(*path);
  if (values.hasValue()) {
    const FileId id = values.value().fileResourceIdentifier;
    resolved.isStale = static_cast<std::int64_t>(id.device) != jsonInt(json.value(), "device").value_or(-1) ||
                       static_cast<std::int64_t>(id.inode) != jsonInt(json.value(), "inode").value_or(-1);
  }
  return resolved;
}

}  // namespace zarnik
