#include "platform/audio_data_locator.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstring>

#include "platform/file_descriptor.h"

namespace zarnik {
namespace {

using Bytes = std::array<std::uint8_t, 64>;

bool readExactly(const ByteReader& read, std::int64_t offset, void* buffer, std::int64_t length) {
  return offset >= 0 && read(offset, buffer, length) == length;
}

std::uint32_t bigEndian32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}
std::uint32_t littleEndian32(const std::uint8_t* p) {
  return (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
}
std::uint64_t bigEndian64(const std::uint8_t* p) {
  return (std::uint64_t{bigEndian32(p)} << 32) | bigEndian32(p + 4);
}
std::uint32_t syncsafe(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 21) | (std::uint32_t{p[1]} << 14) | (std::uint32_t{p[2]} << 7) | p[3];
}

std::optional<AudioDataRange> rangeOf(std::int64_t begin, std::int64_t end, std::int64_t fileSize) {
  if (begin < 0 || end > fileSize || end <= begin) return std::nullopt;
  return AudioDataRange{begin, end - begin};
}

// The end of the audio before trailing tags: an ID3v1 tag (the last 128 bytes begin "TAG") and
// an APEv2 tag before it (its 32-byte footer begins "APETAGEX").
std::int64_t endBeforeTrailingTags(const ByteReader& read, std::int64_t begin, std::int64_t end) {
  Bytes bytes{};
  if (end - begin >= 128 && readExactly(read, end - 128, bytes.data(), 3) && std::memcmp(bytes.data(), "TAG", 3) == 0) {
    end -= 128;
  }
  if (end - begin >= 32 && readExactly(read, end - 32, bytes.data(), 32) && std::memcmp(bytes.data(), "APETAGEX", 8) == 0) {
    const std::int64_t tagSize = littleEndian32(bytes.data() + 12);  // items and footer
    const bool hasHeader = (littleEndian32(bytes.data() + 20) & 0x80000000U) != 0;
    const std::int64_t whole = tagSize + (hasHeader ? 32 : 0);
    if (whole >= 32 && whole <= end - begin) end -= whole;
  }
  return end;
}

std::optional<AudioDataRange> locateMpeg(const ByteReader& read, std::int64_t fileSize) {
  Bytes header{};
  std::int64_t begin = 0;
  // Tags may be stacked; each ID3v2 tag is skipped.
  while (readExactly(read, begin, header.data(), 10) && std::memcmp(header.data(), "ID3", 3) == 0) {
    if ((header[6] | header[7] | header[8] | header[9]) & 0x80) return std::nullopt;  // not syncsafe
    const bool hasFooter = (header[5] & 0x10) != 0;
    begin += 10 + syncsafe(header.data() + 6) + (hasFooter ? 10 : 0);
    if (begin > fileSize) return std::nullopt;
  }
  // MPEG audio starts with a frame sync: 11 set bits.
  if (!readExactly(read, begin, header.data(), 2) || header[0] != 0xFF || (header[1] & 0xE0) != 0xE0) return std::nullopt;
  return rangeOf(begin, endBeforeTrailingTags(read, begin, fileSize), fileSize);
}

std::optional<AudioDataRange> locateFlac(const ByteReader& read, std::int64_t fileSize) {
  Bytes block{};
  std::int64_t at = 4;
  for (bool last = false; !last;) {
    if (!readExactly(read, at, block.data(), 4)) return std::nullopt;
    last = (block[0] & 0x80) != 0;
    at += 4 + ((std::int64_t{block[1]} << 16) | (std::int64_t{block[2]} << 8) | block[3]);
    if (at > fileSize) return std::nullopt;
  }
  return rangeOf(at, endBeforeTrailingTags(read, at, fileSize), fileSize);
}

// RIFF (little-endian sizes) or FORM (big-endian): the chunk named `wanted` after the 12-byte
// header; chunks are padded to even sizes.
std::optional<AudioDataRange> locateChunk(const ByteReader& read, std::int64_t fileSize, bool bigEndian,
                                          const char* wanted, std::int64_t skipInChunk) {
  Bytes chunk{};
  for (std::int64_t at = 12; at + 8 <= fileSize;) {
    if (!readExactly(read, at, chunk.data(), 8)) return std::nullopt;
    const std::int64_t size = bigEndian ? bigEndian32(chunk.data() + 4) : littleEndian32(chunk.data() + 4);
    if (std::memcmp(chunk.data(), wanted, 4) == 0) {
      return rangeOf(at + 8 + skipInChunk, std::min(fileSize, at + 8 + size), fileSize);
    }
    at += 8 + size + (size & 1);
  }
  return std::nullopt;
}

std::optional<AudioDataRange> locateMp4(const ByteReader& read, std::int64_t fileSize) {
  Bytes box{};
  std::optional<AudioDataRange> largest;
  for (std::int64_t at = 0; at + 8 <= fileSize;) {
    if (!readExactly(read, at, box.data(), 8)) return std::nullopt;
    std::int64_t size = bigEndian32(box.data());
    std::int64_t headerSize = 8;
    if (size == 1) {
      if (!readExactly(read, at + 8, box.data() + 8, 8)) return std::nullopt;
      const std::uint64_t large = bigEndian64(box.data() + 8);
      if (large > static_cast<std::uint64_t>(fileSize)) return std::nullopt;
      size = static_cast<std::int64_t>(large);
      headerSize = 16;
    } else if (size == 0) {
      size = fileSize - at;  // to the end
    }
    if (size < headerSize || at + size > fileSize) return std::nullopt;
    if (std::memcmp(box.data() + 4, "mdat", 4) == 0) {
      auto payload = rangeOf(at + headerSize, at + size, fileSize);
      if (payload && (!largest || payload->length > largest->length)) largest = payload;
    }
    at += size;
  }
  return largest;
}

std::optional<AudioDataRange> locateOgg(const ByteReader& read, std::int64_t fileSize) {
  Bytes page{};
  for (std::int64_t at = 0; at + 27 <= fileSize;) {
    if (!readExactly(read, at, page.data(), 27) || std::memcmp(page.data(), "OggS", 4) != 0) return std::nullopt;
    std::uint64_t granule = 0;
    for (int i = 0; i < 8; ++i) granule |= std::uint64_t{page[6 + i]} << (8 * i);
    const int segments = page[26];
    std::array<std::uint8_t, 255> lacing{};
    if (!readExactly(read, at + 27, lacing.data(), segments)) return std::nullopt;
    std::int64_t body = 0;
    for (int i = 0; i < segments; ++i) body += lacing[static_cast<size_t>(i)];
    // Header pages carry granule position 0; audio starts with the first page past them.
    if (granule != 0 && granule != ~std::uint64_t{0}) return rangeOf(at, fileSize, fileSize);
    at += 27 + segments + body;
  }
  return std::nullopt;
}

}  // namespace

std::optional<AudioDataRange> locateAudioData(const ByteReader& read, std::int64_t fileSize) {
  Bytes head{};
  if (fileSize < 12 || !readExactly(read, 0, head.data(), 12)) return std::nullopt;
  if (std::memcmp(head.data(), "fLaC", 4) == 0) return locateFlac(read, fileSize);
  if (std::memcmp(head.data(), "RIFF", 4) == 0 && std::memcmp(head.data() + 8, "WAVE", 4) == 0) {
    return locateChunk(read, fileSize, false, "data", 0);
  }
  if (std::memcmp(head.data(), "FORM", 4) == 0 &&
      (std::memcmp(head.data() + 8, "AIFF", 4) == 0 || std::memcmp(head.data() + 8, "AIFC", 4) == 0)) {
    return locateChunk(read, fileSize, true, "SSND", 8);  // offset and block size come first
  }
  if (std::memcmp(head.data() + 4, "ftyp", 4) == 0) return locateMp4(read, fileSize);
  if (std::memcmp(head.data(), "OggS", 4) == 0) return locateOgg(read, fileSize);
  return locateMpeg(read, fileSize);
}

Result<std::optional<AudioDataRange>> locateAudioDataInFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Error::posix(errno, path);
  UniqueFd file(fd);
  struct stat status {};
  if (::fstat(fd, &status) != 0) return Error::posix(errno, path);
  const ByteReader read = [fd](std::int64_t offset, void* buffer, std::int64_t length) -> std::int64_t {
    return ::pread(fd, buffer, static_cast<size_t>(length), offset);
  };
  return locateAudioData(read, status.st_size);
}

}  // namespace zarnik
