// Property lists (XML and binary) read with libplist into JSON values, defensively: size and
// depth are bounded and every failure is an Error naming the origin.
//
// Mapping: dictionary → object, array → array, string → string (bytes kept reversibly),
// boolean, integer, real → number, date → {"$date": seconds since 1970},
// data → {"$data": lower-case hex}.
#pragma once

#include <string>
#include <string_view>

#include "base/json.h"
#include "base/result.h"

namespace zarnik {

inline constexpr size_t kMaximumPropertyListBytes = 256u << 20;
inline constexpr int kMaximumPropertyListDepth = 128;

[[nodiscard]] Result<Json> parsePropertyList(std::string_view bytes, std::string_view origin);
[[nodiscard]] Result<Json> readPropertyListFile(const std::string& path);

}  // namespace zarnik
