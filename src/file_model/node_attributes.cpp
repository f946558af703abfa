#include "file_model/node_attributes.h"

#include "file_model/media_info.h"
#include "platform/mime_database.h"

namespace zarnik {

std::optional<VNodeType> vnodeTypeOf(FileResourceType type) {
  switch (type) {
    case FileResourceType::regular:
      return VNodeType::regular;
    case FileResourceType::directory:
      return VNodeType::directory;
    case FileResourceType::symbolicLink:
      return VNodeType::symbolicLink;
    default:
      return std::nullopt;
  }
}

std::optional<NodeAttributes> NodeAttributes::urlValuesByKey(const ResourceValues& values) {
  const auto vnodeType = vnodeTypeOf(values.fileResourceType);
  if (!vnodeType) return std::nullopt;
  NodeAttributes attributes;
  attributes.vnodeType = *vnodeType;
  attributes.dateOfCreation = values.creationDate;
  attributes.dateOfAccess = values.contentAccessDate;
  attributes.dateOfModification = values.contentModificationDate;
  attributes.dateOfStatusChange = values.statusChangeDate;
  attributes.diskSize = values.totalFileAllocatedSize.value_or(values.totalFileSize.value_or(0));
  attributes.exactSize = values.fileSize.value_or(0);
  attributes.numberOfHardlinks = values.linkCount;
  attributes.fileResourceID = values.fileResourceIdentifier;
  attributes.isHidden = values.isHidden;
  attributes.UTIType = values.typeIdentifier;
  attributes.wasReadable = values.isReadable;
  attributes.wasWritable = values.isWritable;
  attributes.wasExecutable = values.isExecutable;
  if (*vnodeType == VNodeType::directory) {
    const MimeDatabase& db = MimeDatabase::shared();
    attributes.hasBundle = db.conforms(values.typeIdentifier, types::kPackage);
    attributes.isApplication = db.conforms(values.typeIdentifier, types::kApplicationBundle);
  }
  return attributes;
}

std::optional<NodeAttributes> NodeAttributes::resourceValuesOf(const std::string& path) {
  auto values = readResourceValues(path);
  if (values.hasError()) return std::nullopt;
  return urlValuesByKey(values.value());
}

Json NodeAttributes::encode() const {
  Json archive{
      {"vnodeType", static_cast<int>(vnodeType)},
      {"dateOfCreation", encodeDate(dateOfCreation)},
      {"dateOfModification", encodeDate(dateOfModification)},
      {"diskSize", diskSize},
      {"exactSize", exactSize},
      {"numberOfHardlinks", numberOfHardlinks},
      {"hasBundle", hasBundle},
      {"isHidden", isHidden},
      {"wasReadable", wasReadable},
      {"wasWritable", wasWritable},
      {"wasExecutable", wasExecutable},
  };
  if (dateOfAccess) archive["dateOfAccess"] = encodeDate(*dateOfAccess);
  if (fileResourceID) archive["fileResourceID"] = hexJson(fileResourceID->bytes());
  if (!UTIType.empty()) archive["UTIType"] = std::string(UTIType.name());
  if (isApplication) archive["isApplication"] = *isApplication;
  return archive;
}

Result<NodeAttributes> NodeAttributes::decode(const Json& archive) {
  const auto vnode = jsonInt(archive, "vnodeType");
  const auto created = decodeDate(archive, "dateOfCreation");
  const auto modified = decodeDate(archive, "dateOfModification");
  if (!vnode || (*vnode != 1 && *vnode != 2 && *vnode != 5) || !created || !modified) {
    return Error::generic("The stored node attributes are incomplete.");
  }
  NodeAttributes attributes;
  attributes.vnodeType = static_cast<VNodeType>(*vnode);
  attributes.dateOfCreation = *created;
  attributes.dateOfModification = *modified;
  attributes.dateOfAccess = decodeDate(archive, "dateOfAccess");
  attributes.diskSize = jsonInt(archive, "diskSize").value_or(0);
  attributes.exactSize = jsonInt(archive, "exactSize").value_or(0);
  attributes.numberOfHardlinks =
      static_cast<std::uint32_t>(jsonInt(archive, "numberOfHardlinks").value_or(0));
  if (const Json* id = jsonMember(archive, "fileResourceID")) {
    FileId fileId;
    if (auto bytes = dataFromHexJson(*id); bytes && FileId::fromBytes(*bytes, &fileId)) {
      attributes.fileResourceID = fileId;
    }
  }
  attributes.hasBundle = jsonBool(archive, "hasBundle").value_or(false);
  attributes.isHidden = jsonBool(archive, "isHidden").value_or(false);
  if (auto type = jsonString(archive, "UTIType")) attributes.UTIType = TypeIdentifier::named(*type);
  attributes.wasReadable = jsonBool(archive, "wasReadable").value_or(false);
  attributes.wasWritable = jsonBool(archive, "wasWritable").value_or(false);
  attributes.wasExecutable = jsonBool(archive, "wasExecutable").value_or(false);
  attributes.isApplication = jsonBool(archive, "isApplication");
  return attributes;
}

}  // namespace zarnik
