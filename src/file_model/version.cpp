#include "file_model/version.h"

#include <fmt/format.h>

namespace zarnik {

std::optional<Version> Version::parse(std::string_view text) {
  std::vector<unsigned long long> parts;
  size_t pos = 0;
  while (pos <= text.size()) {
    const size_t end = std::min(text.find('.', pos), text.size());
    const std::string_view part = text.substr(pos, end - pos);
    unsigned long long value = 0;
    size_t digits = 0;
    while (digits < part.size() && part[digits] >= '0' && part[digits] <= '9' && digits < 18) {
      value = value * 10 + static_cast<unsigned long long>(part[digits] - '0');
      ++digits;
    }
    if (digits == 0) break;
    parts.push_back(value);
    pos = end + 1;
  }
  if (parts.empty()) return std::nullopt;
  return Version(std::move(parts));
}

std::string Version::string() const { return fmt::format("{}", fmt::join(parts_, ".")); }

std::strong_ordering operator<=>(const Version& a, const Version& b) {
  const size_t count = std::max(a.parts_.size(), b.parts_.size());
  for (size_t i = 0; i < count; ++i) {
    const auto x = i < a.parts_.size() ? a.parts_[i] : 0;
    const auto y = i < b.parts_.size() ? b.parts_[i] : 0;
    if (x != y) return x <=> y;
  }
  return std::strong_ordering::equal;
}

}  // namespace zarnik
