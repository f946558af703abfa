// Small value types for quantities that must not be mixed up.
#pragma once

#include <compare>
#include <cstdint>
#include <functional>
#include <string>

namespace zarnik {

// Byte counts are signed 64-bit, as everywhere in the file model.
using ByteCount = std::int64_t;

// The identity of a file on this machine: (st_dev, st_ino). All hard links of a file share it.
struct FileId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;

  // The resource-identifier bytes: device then inode, little-endian, 16 bytes.
  [[nodiscard]] std::string bytes() const;
  static bool fromBytes(const std::string& bytes, FileId* out);

  friend auto operator<=>(const FileId&, const FileId&) = default;
};

struct FileIdHash {
  size_t operator()(const FileId& id) const noexcept {
    return std::hash<std::uint64_t>()(id.inode * 0x9E3779B97F4A7C15ULL ^ id.device);
  }
};

inline std::string FileId::bytes() const {
  std::string out(16, '\0');
  for (int i = 0; i < 8; ++i) {
    out[i] = static_cast<char>((device >> (8 * i)) & 0xFF);
    out[8 + i] = static_cast<char>((inode >> (8 * i)) & 0xFF);
  }
  return out;
}

inline bool FileId::fromBytes(const std::string& bytes, FileId* out) {
  if (bytes.size() != 16) return false;
  FileId id;
  for (int i = 0; i < 8; ++i) {
    id.device |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
    id.inode |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[8 + i])) << (8 * i);
  }
  *out = id;
  return true;
}

}  // namespace zarnik
