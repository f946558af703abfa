// Exact byte counts for people, in the file style: decimal units, "0 bytes", "999 bytes", "1 KB",
// "1.5 MB", "2.25 GB". A text that has nothing to count says so in its own words ("nothing").
#pragma once

#include <cstdint>
#include <string>

namespace zarnik {

[[nodiscard]] std::string formatByteCount(std::int64_t bytes);

}  // namespace zarnik
