#include "foundation/byte_count_formatter.h"

#include "base/path_components.h"

#include <fmt/format.h>

#include <charconv>
#include <cmath>

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

namespace {

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// The multiplier a unit stands for; nothing for a word that is no unit.
std::optional<double> unitMultiplier(std::string_view unit) {
  const std::string word = asciiLowercased(unit);
  if (word.empty() || word == "b" || word == "byte" || word == "bytes") return 1.0;
  static constexpr std::string_view kPrefixes = "kmgtpe";
  const size_t power = kPrefixes.find(word.front());
  if (power == std::string_view::npos) return std::nullopt;
  const std::string_view rest = std::string_view(word).substr(1);
  double base = 0;
  if (rest.empty() || rest == "b") {
    base = 1000.0;
  } else if (rest == "ib") {
    base = 1024.0;
  } else {
    return std::nullopt;
  }
  return std::pow(base, static_cast<double>(power + 1));
}

}  // namespace

std::optional<std::int64_t> parseByteCount(std::string_view text) {
  text = trimmed(text);
  const size_t numberEnd = text.find_first_not_of("0123456789.");
  const std::string_view number = text.substr(0, numberEnd);
  if (number.empty() || number.front() == '.' || number.back() == '.') return std::nullopt;
  const auto multiplier = unitMultiplier(
      numberEnd == std::string_view::npos ? std::string_view() : trimmed(text.substr(numberEnd)));
  if (!multiplier) return std::nullopt;
  if (number.find('.') == std::string_view::npos && *multiplier == 1.0) {
    std::int64_t bytes = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), bytes);
    if (error != std::errc() || end != number.data() + number.size()) return std::nullopt;
    return bytes;
  }
  double value = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error != std::errc() || end != number.data() + number.size()) return std::nullopt;
  const double bytes = std::floor(value * *multiplier);
  // 2^63 is the first double past the largest byte count.
  if (!(bytes < 9223372036854775808.0)) return std::nullopt;
  return static_cast<std::int64_t>(bytes);
}

}  // namespace zarnik
