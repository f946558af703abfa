// The fifteen resource values of one item, read with a single statx(AT_SYMLINK_NOFOLLOW) call
// and the item's name (the type identifier comes from the name, hidden from the leading dot).
// No other system call is made per item: the effective user's identity is read once.
#pragma once

#include "base/date.h"
#include "base/result.h"
#include "base/units.h"
#include "platform/type_identifier.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zarnik {

enum class FileResourceType : std::uint8_t {
  regular,
  directory,
  symbolicLink,
  namedPipe,
  socket,
  characterSpecial,
  blockSpecial,
  unknown,
};

struct ResourceValues {
  FileResourceType fileResourceType = FileResourceType::unknown;
  Date creationDate;  // birth time where the file system keeps it, else the modification date
  std::optional<Date> contentAccessDate;
  Date contentModificationDate;
  Date statusChangeDate;  // st_ctime: moved by every write, and by no one set back
  std::optional<ByteCount> totalFileAllocatedSize;  // regular files: st_blocks · 512
  std::optional<ByteCount> totalFileSize;           // regular files and links
  std::optional<ByteCount> fileSize;
  std::uint32_t linkCount = 0;
  TypeIdentifier typeIdentifier;
  bool isReadable = false;
  bool isWritable = false;
  bool isExecutable = false;
  bool isHidden = false;
  FileId fileResourceIdentifier;
};

// `name` is relative to `directoryFd` (AT_FDCWD for paths); `pathForErrors` names the item in
// an error. Errors are POSIX errors carrying that path.
[[nodiscard]] Result<ResourceValues> readResourceValuesAt(int directoryFd, const char* name,
                                                          std::string_view pathForErrors);
[[nodiscard]] Result<ResourceValues> readResourceValues(const std::string& path);

// The access the effective user has by the mode bits, as access(2) decides it (root may read
// and write anything and execute anything with an execute bit, and every directory).
struct AccessRights {
  bool readable = false;
  bool writable = false;
  bool executable = false;
};
[[nodiscard]] AccessRights accessRightsForMode(std::uint32_t mode, std::uint32_t ownerUid,
                                               std::uint32_t ownerGid);

}  // namespace zarnik
