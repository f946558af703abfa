// Digests for tests of what keeps them: distinct for each seed, with no file read.
#pragma once

#include "matching/exact_file_hash.h"

#include <cstdint>

namespace zarnik::testing {

inline ExactFileHash madeUpDigest(std::uint64_t seed, ByteCount size) {
  ExactFileHash digest;
  for (size_t i = 0; i < digest.data.size(); ++i)
    digest.data[i] = static_cast<std::uint8_t>(seed * 31 + i);
  digest.size = size;
  return digest;
}

}  // namespace zarnik::testing
