#include "platform/write_ahead_log.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <vector>

#include "platform/file_descriptor.h"

namespace zarnik {
namespace {

// The layout of https://sqlite.org/fileformat2.html#walformat.
constexpr size_t kHeaderSize = 32;
constexpr size_t kFrameHeaderSize = 24;
constexpr std::uint32_t kMagicLittleEndianSums = 0x377f0682;
constexpr std::uint32_t kMagicBigEndianSums = 0x377f0683;

std::uint32_t bigEndian(const unsigned char* bytes) {
  return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
         (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

std::uint32_t littleEndian(const unsigned char* bytes) {
  return (std::uint32_t{bytes[3]} << 24) | (std::uint32_t{bytes[2]} << 16) |
         (std::uint32_t{bytes[1]} << 8) | std::uint32_t{bytes[0]};
}

// The log's running checksum: pairs of 32-bit words, in the byte order the magic number names.
struct Checksum {
  std::uint32_t first = 0;
  std::uint32_t second = 0;
  bool bigEndianWords = true;

  void add(const unsigned char* bytes, size_t length) {
    for (size_t offset = 0; offset + 8 <= length; offset += 8) {
      const std::uint32_t a =
          bigEndianWords ? bigEndian(bytes + offset) : littleEndian(bytes + offset);
      const std::uint32_t b =
          bigEndianWords ? bigEndian(bytes + offset + 4) : littleEndian(bytes + offset + 4);
      first += a + second;
      second += b + first;
    }
  }
};

bool readFully(int fd, unsigned char* buffer, size_t length, off_t offset) {
  size_t done = 0;
  while (done < length) {
    const ssize_t got = readAt(fd, buffer + done, length - done, offset + static_cast<off_t>(done));
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

}  // namespace

Result<WriteAheadLogState> checkWriteAheadLog(const std::string& walPath) {
  UniqueFd fd(::open(walPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd.isValid()) {
    if (errno == ENOENT) return WriteAheadLogState::absentOrEmpty;
    return Error::posix(errno, walPath);
  }
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0) return Error::posix(errno, walPath);
  const auto size = static_cast<std::uint64_t>(status.st_size);
  if (size == 0) return WriteAheadLogState::absentOrEmpty;
  // SQLite writes the header in one piece: a shorter log was cut by something else.
  if (size < kHeaderSize) return WriteAheadLogState::damaged;

  std::array<unsigned char, kHeaderSize> header{};
  if (!readFully(fd.get(), header.data(), header.size(), 0))
    return Error::posix(errno == 0 ? EIO : errno, walPath);
  const std::uint32_t magic = bigEndian(header.data());
  if (magic != kMagicLittleEndianSums && magic != kMagicBigEndianSums)
    return WriteAheadLogState::damaged;
  Checksum sum;
  sum.bigEndianWords = magic == kMagicBigEndianSums;
  sum.add(header.data(), 24);
  if (sum.first != bigEndian(header.data() + 24) || sum.second != bigEndian(header.data() + 28)) {
    return WriteAheadLogState::damaged;
  }
  std::uint32_t pageSize = bigEndian(header.data() + 8);
  if (pageSize == 1) pageSize = 65536;
  if (pageSize < 512 || pageSize > 65536 || (pageSize & (pageSize - 1)) != 0)
    return WriteAheadLogState::damaged;
  const std::uint32_t salt1 = bigEndian(header.data() + 16);
  const std::uint32_t salt2 = bigEndian(header.data() + 20);

  // SQLite stops at the first frame that is not intact. That is harmless when nothing committed
  // follows it (a transaction cut off, or frames of an older round of the log, which carry
  // other salts); a commit behind it is a write that would be lost.
  std::vector<unsigned char> frame(kFrameHeaderSize + pageSize);
  bool brokenSeen = false;
  for (std::uint64_t offset = kHeaderSize; offset + frame.size() <= size; offset += frame.size()) {
    if (!readFully(fd.get(), frame.data(), frame.size(), static_cast<off_t>(offset))) {
      return Error::posix(errno == 0 ? EIO : errno, walPath);
    }
    const bool saltsMatch =
        bigEndian(frame.data() + 8) == salt1 && bigEndian(frame.data() + 12) == salt2;
    const bool commits = bigEndian(frame.data() + 4) != 0;
    if (brokenSeen) {
      if (saltsMatch && commits) return WriteAheadLogState::damaged;
      continue;
    }
    Checksum next = sum;
    next.add(frame.data(), 8);
    next.add(frame.data() + kFrameHeaderSize, pageSize);
    const bool intact = saltsMatch && bigEndian(frame.data()) != 0 &&
                        next.first == bigEndian(frame.data() + 16) &&
                        next.second == bigEndian(frame.data() + 20);
    if (intact) {
      sum = next;
    } else {
      brokenSeen = true;
    }
  }
  return WriteAheadLogState::intact;
}

}  // namespace zarnik
