#include "matching/internal/digest_cache_codec.h"

#include "base/json.h"

#include <cstring>

namespace zarnik::digest_cache {
namespace {

constexpr size_t kDigestBytes = sizeof(ExactFileHash::data);

void appendLittleEndian(std::string& out, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::uint64_t readLittleEndian(std::string_view bytes) {
  std::uint64_t value = 0;
  for (int i = 0; i < 8; ++i)
    value |= std::uint64_t{static_cast<unsigned char>(bytes[i])} << (8 * i);
  return value;
}

}  // namespace

std::string encodeDigest(const ExactFileHash& digest) {
  std::string out(reinterpret_cast<const char*>(digest.data.data()), kDigestBytes);
  appendLittleEndian(out, static_cast<std::uint64_t>(digest.size));
  return out;
}

std::optional<ExactFileHash> decodeDigest(std::string_view bytes) {
  if (bytes.size() != kDigestBytes + 8) return std::nullopt;
  ExactFileHash digest;
  std::memcpy(digest.data.data(), bytes.data(), kDigestBytes);
  digest.size = static_cast<ByteCount>(readLittleEndian(bytes.substr(kDigestBytes)));
  if (digest.size < 0) return std::nullopt;
  return digest;
}

std::string encodePerceptualHashes(const std::vector<std::uint64_t>& hashes) {
  std::string out;
  out.reserve(hashes.size() * 8);
  for (const std::uint64_t hash : hashes) appendLittleEndian(out, hash);
  return out;
}

std::optional<std::vector<std::uint64_t>> decodePerceptualHashes(std::string_view bytes) {
  if (bytes.size() % 8 != 0) return std::nullopt;
  std::vector<std::uint64_t> hashes;
  hashes.reserve(bytes.size() / 8);
  for (size_t at = 0; at < bytes.size(); at += 8)
    hashes.push_back(readLittleEndian(bytes.substr(at)));
  return hashes;
}

std::string encodePictureInfo(const std::optional<ImageInfo>& info) {
  return info ? dumpJson(info->encode()) : std::string();
}

std::optional<std::optional<ImageInfo>> decodePictureInfo(std::string_view bytes) {
  if (bytes.empty()) return std::optional<ImageInfo>();
  auto json = parseJson(bytes);
  if (json.hasError() || !json.value().is_object()) return std::nullopt;
  auto info = ImageInfo::decode(json.value());
  if (info.hasError()) return std::nullopt;
  return std::optional<ImageInfo>(std::move(info).value());
}

}  // namespace zarnik::digest_cache
