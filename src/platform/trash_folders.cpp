#include "platform/trash_folders.h"

#include <unistd.h>

#include "base/path_components.h"
#include "platform/xdg_directories.h"

namespace zarnik {

TrashFolders TrashFolders::ofCurrentUser() {
  return TrashFolders(appendingPathComponent(xdg::dataHome(), "Trash"), static_cast<unsigned>(::geteuid()));
}

TrashFolders::TrashFolders(std::string homeTrash, unsigned userID)
    : homeTrash_(standardizedPath(homeTrash)),
      perUserName_(".Trash-" + std::to_string(userID)),
      userNumber_(std::to_string(userID)) {}

bool TrashFolders::isTrashFolder(std::string_view path) const {
  if (path == homeTrash_) return true;
  const std::string_view name = lastPathComponent(path);
  if (name == perUserName_) return true;
  return name == userNumber_ && lastPathComponent(parentPath(path)) == ".Trash";
}

}  // namespace zarnik
