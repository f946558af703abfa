#include "platform/inotify_watcher.h"

#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <string_view>
#include <sys/inotify.h>
#include <sys/stat.h>

namespace zarnik {

static_assert(inotify_mask::kAttributesChanged == IN_ATTRIB &&
              inotify_mask::kClosedAfterWriting == IN_CLOSE_WRITE &&
              inotify_mask::kMovedFrom == IN_MOVED_FROM && inotify_mask::kMovedTo == IN_MOVED_TO &&
              inotify_mask::kCreated == IN_CREATE && inotify_mask::kDeleted == IN_DELETE &&
              inotify_mask::kWatchedFolderDeleted == IN_DELETE_SELF &&
              inotify_mask::kWatchedFolderMoved == IN_MOVE_SELF &&
              inotify_mask::kUnmounted == IN_UNMOUNT &&
              inotify_mask::kQueueOverflowed == IN_Q_OVERFLOW &&
              inotify_mask::kWatchRemoved == IN_IGNORED && inotify_mask::kIsFolder == IN_ISDIR);

Result<InotifyWatcher> InotifyWatcher::open() {
  UniqueFd fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  if (!fd.isValid()) return Error::posix(errno, "inotify");
  return InotifyWatcher(std::move(fd));
}

Result<int> InotifyWatcher::watchFolder(const std::string& path, std::uint32_t mask) {
  // IN_EXCL_UNLINK: a file deleted while still open elsewhere says nothing more.
  const int watch = ::inotify_add_watch(fd_.get(), path.c_str(),
                                        mask | IN_ONLYDIR | IN_DONT_FOLLOW | IN_EXCL_UNLINK);
  if (watch < 0) {
    const int error = errno;
    auto failure = Error::posix(error, path);
    if (error == ENOSPC)
      return failure.withUnderlying(
          "the inotify watch limit of this user is reached (fs.inotify.max_user_watches)");
    return failure;
  }
  return watch;
}

void InotifyWatcher::unwatch(int watch) { ::inotify_rm_watch(fd_.get(), watch); }

Result<std::vector<InotifyEvent>> InotifyWatcher::readEvents() {
  // 64 KiB holds about 4,000 events with short names: one read empties a busy queue in a few.
  alignas(inotify_event) std::byte buffer[64 * 1024];
  std::vector<InotifyEvent> events;
  for (;;) {
    const ssize_t got = ::read(fd_.get(), buffer, sizeof(buffer));
    if (got < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) return events;
      return Error::posix(errno, "inotify");
    }
    if (got == 0) return events;
    auto decoded = decodeInotifyEvents(std::span(buffer, static_cast<size_t>(got)));
    events.insert(events.end(), std::make_move_iterator(decoded.begin()),
                  std::make_move_iterator(decoded.end()));
  }
}

std::vector<InotifyEvent> decodeInotifyEvents(std::span<const std::byte> buffer) {
  std::vector<InotifyEvent> events;
  size_t offset = 0;
  while (offset + sizeof(inotify_event) <= buffer.size()) {
    inotify_event header{};
    std::memcpy(&header, buffer.data() + offset, sizeof(header));
    const size_t end = offset + sizeof(inotify_event) + header.len;
    if (end > buffer.size()) break;
    InotifyEvent event{header.wd, header.mask, header.cookie, {}};
    if (header.len > 0) {
      // The name is padded with zero bytes to an aligned length.
      const auto* name =
          reinterpret_cast<const char*>(buffer.data() + offset + sizeof(inotify_event));
      event.name.assign(name, ::strnlen(name, header.len));
    }
    events.push_back(std::move(event));
    offset = end;
  }
  return events;
}

std::vector<std::byte> encodeInotifyEvents(const std::vector<InotifyEvent>& events) {
  std::vector<std::byte> bytes;
  for (const auto& event : events) {
    const size_t nameLength = event.name.empty() ? 0 : (event.name.size() + 1 + 15) / 16 * 16;
    inotify_event header{};
    header.wd = event.watch;
    header.mask = event.mask;
    header.cookie = event.cookie;
    header.len = static_cast<std::uint32_t>(nameLength);
    const size_t start = bytes.size();
    bytes.resize(start + sizeof(header) + nameLength);
    std::memcpy(bytes.data() + start, &header, sizeof(header));
    std::memcpy(bytes.data() + start + sizeof(header), event.name.data(), event.name.size());
  }
  return bytes;
}

Result<long> maxUserInotifyWatches() {
  constexpr const char* kPath = "/proc/sys/fs/inotify/max_user_watches";
  std::ifstream stream(kPath);
  long value = 0;
  if (!(stream >> value)) return Error::generic("Cannot read the inotify watch limit", kPath);
  return value;
}

namespace {

bool isInotifyDescriptor(const std::string& fdPath) {
  char target[64];
  const ssize_t length = ::readlink(fdPath.c_str(), target, sizeof(target) - 1);
  if (length <= 0) return false;
  return std::string_view(target, static_cast<size_t>(length)) == "anon_inode:inotify";
}

long watchesListedIn(const std::string& fdInfoPath) {
  std::ifstream stream(fdInfoPath);
  long count = 0;
  for (std::string line; std::getline(stream, line);) {
    if (line.starts_with("inotify wd:")) ++count;
  }
  return count;
}

bool isProcessNumber(std::string_view name) {
  return !name.empty() && name.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

long InotifyWatcher::watchCount() const {
  return watchesListedIn("/proc/self/fdinfo/" + std::to_string(fd_.get()));
}

long inotifyWatchesInUse() {
  UniqueFd proc(::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!proc.isValid()) return 0;
  const uid_t me = ::getuid();
  long total = 0;
  (void)forEachDirectoryEntry(proc.get(), "/proc", [&](const char* name) {
    if (!isProcessNumber(name)) return;
    const std::string process = std::string("/proc/") + name;
    struct stat status {};
    // Watches count against the user who made them; other users' processes are not ours to count.
    if (::stat(process.c_str(), &status) != 0 || status.st_uid != me) return;
    UniqueFd fds(::open((process + "/fd").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fds.isValid()) return;
    (void)forEachDirectoryEntry(fds.get(), process + "/fd", [&](const char* fd) {
      if (isInotifyDescriptor(process + "/fd/" + fd))
        total += watchesListedIn(process + "/fdinfo/" + fd);
    });
  });
  return total;
}

}  // namespace zarnik
