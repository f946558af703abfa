// NodeAttributes: what the file system said about an item when it was enumerated.
#pragma once

#include "base/date.h"
#include "base/json.h"
#include "base/result.h"
#include "base/units.h"
#include "file_model/node_type.h"
#include "platform/resource_values.h"
#include "platform/type_identifier.h"

#include <array>
#include <optional>
#include <string_view>

namespace zarnik {

struct NodeAttributes {
  // Ordered by size, so that the record has no holes: every scanned item holds one.
  Date dateOfCreation;
  Date dateOfModification;
  // The status change time as listed: a digest learnt of the file is kept by it. Not stored: a
  // stored node is never looked up in the digest cache.
  Date dateOfStatusChange;
  std::optional<Date> dateOfAccess;
  ByteCount diskSize = 0;   // allocated size; the file size where that is unknown
  ByteCount exactSize = 0;  // the file size
  std::optional<FileId> fileResourceID;
  TypeIdentifier UTIType;
  std::uint32_t numberOfHardlinks = 0;
  VNodeType vnodeType = VNodeType::regular;
  bool hasBundle = false;  // a directory whose type is a package or bundle
  bool isHidden = false;
  bool wasReadable = false;
  bool wasWritable = false;
  bool wasExecutable = false;
  std::optional<bool> isApplication;

  // Nothing for items that are neither regular files, directories nor symbolic links.
  static std::optional<NodeAttributes> urlValuesByKey(const ResourceValues& values);
  static std::optional<NodeAttributes> resourceValuesOf(const std::string& path);

  [[nodiscard]] Json encode() const;
  static Result<NodeAttributes> decode(const Json& archive);

  friend bool operator==(const NodeAttributes&, const NodeAttributes&) = default;
};

[[nodiscard]] std::optional<VNodeType> vnodeTypeOf(FileResourceType type);

}  // namespace zarnik
