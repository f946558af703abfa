// Dates are absolute points in time with nanosecond resolution (statx gives nanoseconds).
#pragma once

#include <chrono>
#include <string>

namespace zarnik {

using Date = std::chrono::sys_time<std::chrono::nanoseconds>;
using Seconds = std::chrono::duration<double>;

[[nodiscard]] Date dateNow();
[[nodiscard]] double secondsSince1970(Date date);
[[nodiscard]] Date dateFromSecondsSince1970(double seconds);
// "2026-12-05T15:27:23Z" (UTC, whole seconds).
[[nodiscard]] std::string iso8601(Date date);
// Local time without zone, "2026-12-05T16:27:23", as the trash info files want it.
[[nodiscard]] std::string localIso8601(Date date);

}  // namespace zarnik
