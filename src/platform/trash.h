// The desktop trash, by the freedesktop.org Trash specification 1.0, so that file managers show
// what Zarnik trashed and can restore it, and Zarnik can restore it too.
//
// An item goes to the trash of its own file system: the home trash ($XDG_DATA_HOME/Trash) when
// it lies on the same file system as that folder, otherwise the file system's top folder's
// "$topdir/.Trash/$uid" (when ".Trash" is a real folder with the sticky bit) or
// "$topdir/.Trash-$uid". Its ".trashinfo" (original path, deletion date) is created, exclusively,
// before the item is moved; a name already in the trash gets a number ("name.2", "name.3", ...).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"
#include "platform/guarded_files.h"

namespace zarnik {

struct TrashedItem {
  std::string trashedPath;   // the item inside the trash's "files" folder
  std::string infoPath;      // its ".trashinfo"
  std::string originalPath;
};

// Moves a file, folder or link to the trash. Nothing is moved when the trash cannot be used.
Result<TrashedItem> moveToTrash(const std::string& path);
// The same for an entry reached without links, recorded in the trash as coming from
// `originalPath` (an item moved aside before it is trashed keeps the name it had).
Result<TrashedItem> moveToTrash(const Entry& entry, const std::string& originalPath);

// The info file of a trashed item ("<trash>/info/<name>.trashinfo").
[[nodiscard]] std::string trashInfoPathFor(const std::string& trashedPath);

// Puts a trashed item back where its ".trashinfo" says it came from, making missing folders on
// the way; an item now at that place is never replaced (the trashed one then stays). The info
// file is removed afterwards. The restored path.
Result<std::string> restoreFromTrash(const std::string& trashedPath);

// The newest item in the trash (the home trash, or the trash of the file system `originalPath` is
// on) whose info says it came from `originalPath`; nothing when there is none.
[[nodiscard]] std::optional<std::string> trashedItemFor(const std::string& originalPath);

// Removes the info files that say they came from `originalPath` but whose item is not in the
// trash (left by a move to the trash that was cut off between the two).
void discardTrashInfoWithoutItem(const std::string& originalPath);

// "a%20b/c%C3%A9": each byte but unreserved characters and "/" written as %XX, as trash info
// files keep paths.
[[nodiscard]] std::string percentEncodedPath(std::string_view path);
[[nodiscard]] std::optional<std::string> percentDecodedPath(std::string_view text);

}  // namespace zarnik
