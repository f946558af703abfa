// The desktop trash folders (freedesktop.org Trash specification 1.0): the home trash
// "$XDG_DATA_HOME/Trash" and, on other file systems, "$topdir/.Trash-$uid" and
// "$topdir/.Trash/$uid". What lies there was thrown away: a scan never walks it, hidden items
// included or not.
#pragma once

#include <string>
#include <string_view>

namespace zarnik {

class TrashFolders {
 public:
  // The home trash of the current environment and the effective user's number.
  static TrashFolders ofCurrentUser();
  TrashFolders(std::string homeTrash, unsigned userID);

  // `path` (standardized) is one of the trash folders; only folders named so are, not the
  // files inside them.
  [[nodiscard]] bool isTrashFolder(std::string_view path) const;

 private:
  std::string homeTrash_;
  std::string perUserName_;  // ".Trash-1000"
  std::string userNumber_;   // "1000", inside a shared ".Trash"
};

}  // namespace zarnik
