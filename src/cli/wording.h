// Small helpers for the words the program prints: counts with the right singular or plural.
#pragma once

#include <fmt/format.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace zarnik::cli {

// "1 file", "2 files", "0 files".
[[nodiscard]] inline std::string counted(std::int64_t count, std::string_view one,
                                         std::string_view many) {
  return fmt::format("{} {}", count, count == 1 ? one : many);
}

}  // namespace zarnik::cli
