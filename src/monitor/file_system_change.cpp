#include "monitor/file_system_change.h"

#include <array>
#include <utility>

namespace zarnik {

std::string FileSystemChange::description() const {
  static constexpr std::array<std::pair<FileSystemChange, const char*>, 18> kNamesInOrder{{
      {isDirectory, "isDir"},
      {isFile, "isFile"},
      {isHardlink, "isHardlink"},
      {isLastHardlink, "isLastHardlink"},
      {isSymlink, "isSymlink"},
      {created, "created"},
      {modified, "modified"},
      {removed, "removed"},
      {renamed, "renamed"},
      {changeOwner, "changeOwner"},
      {finderInfoModified, "finderInfoModified"},
      {inodeMetaModified, "inodeMetaModified"},
      {xattrsModified, "xattrsModified"},
      {mounted, "mounted"},
      {unmounted, "unmounted"},
      {rootChanged, "rootChanged"},
      {scanSubDirs, "scanSubDirs"},
      {cloned, "cloned"},
  }};
  std::string text;
  for (const auto& [member, name] : kNamesInOrder) {
    if (!contains(member)) continue;
    if (!text.empty()) text += ", ";
    text += name;
  }
  return text;
}

}  // namespace zarnik
