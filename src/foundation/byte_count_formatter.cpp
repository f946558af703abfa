#include "foundation/byte_count_formatter.h"

#include <fmt/format.h>

namespace zarnik {

std::string formatByteCount(std::int64_t bytes) {
  if (bytes == 1) return "1 byte";
  if (bytes < 1000 && bytes > -1000) return fmt::format("{} bytes", bytes);
  static constexpr const char* kUnits[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
  static constexpr int kDecimals[] = {0, 1, 2, 2, 2, 2};
  double value = static_cast<double>(bytes) / 1000.0;
  size_t unit = 0;
  while ((value >= 999.5 || value <= -999.5) && unit + 1 < std::size(kUnits)) {
    value /= 1000.0;
    ++unit;
  }
  std::string number = fmt::format("{:.{}f}", value, kDecimals[unit]);
  if (number.find('.') != std::string::npos) {
    while (number.back() == '0') number.pop_back();
    if (number.back() == '.') number.pop_back();
  }
  return fmt::format("{} {}", number, kUnits[unit]);
}

}  // namespace zarnik
