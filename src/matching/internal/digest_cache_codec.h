// How the digest cache's values are kept in its columns. Digests are their 20 bytes followed by
// the size they cover (8 bytes, little-endian); perceptual hashes are 8 little-endian bytes each;
// a picture's facts are the JSON of ImageInfo, or no bytes for a file that was no readable
// picture. Decoding trusts nothing: bytes of the wrong shape decode to nothing.
#pragma once

#include "file_model/media_info.h"
#include "matching/exact_file_hash.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zarnik::digest_cache {

[[nodiscard]] std::string encodeDigest(const ExactFileHash& digest);
[[nodiscard]] std::optional<ExactFileHash> decodeDigest(std::string_view bytes);

[[nodiscard]] std::string encodePerceptualHashes(const std::vector<std::uint64_t>& hashes);
[[nodiscard]] std::optional<std::vector<std::uint64_t>> decodePerceptualHashes(
    std::string_view bytes);

[[nodiscard]] std::string encodePictureInfo(const std::optional<ImageInfo>& info);
// The outer absence: bytes that are not a picture's facts; the inner: no readable picture.
[[nodiscard]] std::optional<std::optional<ImageInfo>> decodePictureInfo(std::string_view bytes);

}  // namespace zarnik::digest_cache
