// ExactFileHash: a content digest (20 bytes of SHA-1) with the size it was taken over.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

#include "base/units.h"

namespace zarnik {

struct ExactFileHash {
  std::array<std::uint8_t, 20> data{};
  ByteCount size = 0;

  [[nodiscard]] std::string dataBytes() const { return std::string(reinterpret_cast<const char*>(data.data()), data.size()); }
  friend bool operator==(const ExactFileHash&, const ExactFileHash&) = default;
};

struct ExactFileHashHasher {
  size_t operator()(const ExactFileHash& hash) const noexcept {
    size_t value = 0;
    std::memcpy(&value, hash.data.data(), sizeof(value));
    return value ^ std::hash<ByteCount>()(hash.size);
  }
};

}  // namespace zarnik
