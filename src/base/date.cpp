#include "base/date.h"

#include <fmt/format.h>

#include <ctime>

namespace zarnik {

Date dateNow() {
  return std::chrono::time_point_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now());
}

double secondsSince1970(Date date) {
  return std::chrono::duration<double>(date.time_since_epoch()).count();
}

Date dateFromSecondsSince1970(double seconds) {
  // Nanoseconds in 64 bits reach 292 years either side of 1970: "the distant past" of stored
  // settings (the year 1) and the far future are taken as the earliest and latest dates.
  constexpr double kReach = 9.2e9;
  if (!(seconds > -kReach)) return Date::min();
  if (seconds >= kReach) return Date::max();
  return Date(std::chrono::duration_cast<std::chrono::nanoseconds>(Seconds(seconds)));
}

namespace {
std::string formatTm(const std::tm& tm, bool utc) {
  return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}{}", tm.tm_year + 1900, tm.tm_mon + 1,
                     tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, utc ? "Z" : "");
}
std::time_t toTimeT(Date date) {
  return static_cast<std::time_t>(
      std::chrono::duration_cast<std::chrono::seconds>(date.time_since_epoch()).count());
}
}  // namespace

std::string iso8601(Date date) {
  const std::time_t t = toTimeT(date);
  std::tm tm{};
  gmtime_r(&t, &tm);
  return formatTm(tm, true);
}

std::string localIso8601(Date date) {
  const std::time_t t = toTimeT(date);
  std::tm tm{};
  localtime_r(&t, &tm);
  return formatTm(tm, false);
}

}  // namespace zarnik
