// InotifyWatcher: one inotify instance (non-blocking), watches on single folders and the decoded
// events read from it. The file watcher of the duplicates monitor builds its recursive and
// one-folder watching on top; this file only speaks to the kernel.
//
// Thread safety: none; the owner uses it from its serial queue.
#pragma once

#include "base/result.h"
#include "platform/file_descriptor.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zarnik {

// The event bits, named as the watcher uses them (values of <sys/inotify.h>).
namespace inotify_mask {
inline constexpr std::uint32_t kAttributesChanged = 0x00000004;     // IN_ATTRIB
inline constexpr std::uint32_t kClosedAfterWriting = 0x00000008;    // IN_CLOSE_WRITE
inline constexpr std::uint32_t kMovedFrom = 0x00000040;             // IN_MOVED_FROM
inline constexpr std::uint32_t kMovedTo = 0x00000080;               // IN_MOVED_TO
inline constexpr std::uint32_t kCreated = 0x00000100;               // IN_CREATE
inline constexpr std::uint32_t kDeleted = 0x00000200;               // IN_DELETE
inline constexpr std::uint32_t kWatchedFolderDeleted = 0x00000400;  // IN_DELETE_SELF
inline constexpr std::uint32_t kWatchedFolderMoved = 0x00000800;    // IN_MOVE_SELF
inline constexpr std::uint32_t kUnmounted = 0x00002000;             // IN_UNMOUNT
inline constexpr std::uint32_t kQueueOverflowed = 0x00004000;       // IN_Q_OVERFLOW
inline constexpr std::uint32_t kWatchRemoved = 0x00008000;          // IN_IGNORED
inline constexpr std::uint32_t kIsFolder = 0x40000000;              // IN_ISDIR
// Everything a folder watch asks for.
inline constexpr std::uint32_t kFolderChanges = kAttributesChanged | kClosedAfterWriting |
                                                kMovedFrom | kMovedTo | kCreated | kDeleted |
                                                kWatchedFolderDeleted | kWatchedFolderMoved;
}  // namespace inotify_mask

struct InotifyEvent {
  int watch = -1;  // -1 for a queue overflow
  std::uint32_t mask = 0;
  std::uint32_t cookie = 0;  // pairs a moved-from with its moved-to
  std::string name;          // the entry inside the watched folder; empty for the folder itself

  [[nodiscard]] bool has(std::uint32_t bits) const { return (mask & bits) != 0; }
  friend bool operator==(const InotifyEvent&, const InotifyEvent&) = default;
};

class InotifyWatcher {
 public:
  static Result<InotifyWatcher> open();

  [[nodiscard]] int fd() const { return fd_.get(); }

  // Watches the entries of one folder (not followed when it is a symbolic link). The same folder
  // added twice gives the same watch. Errors name the path: ENOSPC when the user's watch budget is
  // used up, EACCES, ENOENT, ENOTDIR.
  Result<int> watchFolder(const std::string& path,
                          std::uint32_t mask = inotify_mask::kFolderChanges);
  void unwatch(int watch);

  // The watches the kernel holds for this instance (from /proc/self/fdinfo).
  [[nodiscard]] long watchCount() const;

  // Every event queued now; an empty list when there is none.
  Result<std::vector<InotifyEvent>> readEvents();

 private:
  explicit InotifyWatcher(UniqueFd fd) : fd_(std::move(fd)) {}
  UniqueFd fd_;
};

// The events packed in a buffer read from an inotify descriptor (a truncated tail is dropped).
[[nodiscard]] std::vector<InotifyEvent> decodeInotifyEvents(std::span<const std::byte> buffer);
// The bytes the kernel would queue for `events` (for tests of the decoding and of the watcher).
[[nodiscard]] std::vector<std::byte> encodeInotifyEvents(const std::vector<InotifyEvent>& events);

// fs.inotify.max_user_watches, from /proc/sys/fs/inotify/max_user_watches.
[[nodiscard]] Result<long> maxUserInotifyWatches();
// The inotify watches the processes this user can inspect hold now (the "inotify wd:" lines of
// /proc/PID/fdinfo); processes that cannot be read are left out, so this is a lower bound.
[[nodiscard]] long inotifyWatchesInUse();

}  // namespace zarnik
