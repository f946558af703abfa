// Exact byte counts for people, in the file style: decimal units, "0 bytes", "999 bytes", "1 KB",
// "1.5 MB", "2.25 GB". A text that has nothing to count says so in its own words ("nothing").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zarnik {

[[nodiscard]] std::string formatByteCount(std::int64_t bytes);

// A size a person typed: a whole number of bytes ("1000000"), or a number with a unit, decimal as
// the sizes shown ("500KB", "1.5 MB", "2G": powers of 1000) or binary ("4KiB", "2 GiB": powers of
// 1024), letters in either case. Nothing for anything else, a negative size, or one too large.
[[nodiscard]] std::optional<std::int64_t> parseByteCount(std::string_view text);

}  // namespace zarnik
