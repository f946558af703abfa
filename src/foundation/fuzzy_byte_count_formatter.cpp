#include "foundation/fuzzy_byte_count_formatter.h"

#include <cassert>
#include <cstdlib>

namespace zarnik {
namespace {

constexpr const char* kNoBreakSpace = "\u00A0";
constexpr const char* kDecimalUnits[] = {"B", "kB", "MB", "GB", "TB", "PB", "EB", "ZB", "YB"};
constexpr const char* kBinaryUnits[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB", "ZiB", "YiB"};

bool styleIsBinary(ByteCountStyle style) {
  return style == ByteCountStyle::memory || style == ByteCountStyle::binary;
}

}  // namespace

bool FuzzyByteCountFormatter::isBinary() const { return styleIsBinary(countStyle_); }

void FuzzyByteCountFormatter::setBinary(bool binary) {
  if (binary == isBinary()) return;
  countStyle_ = binary ? ByteCountStyle::binary : ByteCountStyle::decimal;
}

std::string FuzzyByteCountFormatter::string(std::int64_t byteCount) const {
  return string(byteCount, countStyle_);
}

std::string FuzzyByteCountFormatter::string(std::int64_t byteCount, ByteCountStyle style) {
  if (byteCount < 1) return "Empty";
  const bool binary = styleIsBinary(style);
  // Integer steps instead of logarithms: floor(log10(n)) / 3 is the number of times n can be
  // divided by 1000 while staying at least 1, and likewise for 1024.
  const std::uint64_t base = binary ? 1024 : 1000;
  auto scaled = static_cast<std::uint64_t>(byteCount);
  size_t unit = 0;
  while (scaled >= base) {
    scaled /= base;
    ++unit;
  }
  const char* word = nullptr;
  if (scaled >= 1 && scaled <= 11) {
    word = "few";
  } else if (scaled <= 99) {
    word = "dozens\u00A0of";
  } else if (scaled <= 1023) {
    word = "hundreds\u00A0of";
  } else {
    assert(false && "Unreachable Condition");
    std::abort();
  }
  return std::string(word) + kNoBreakSpace + (binary ? kBinaryUnits : kDecimalUnits)[unit];
}

std::optional<std::string> FuzzyByteCountFormatter::stringFor(const Json& object) const {
  if (!object.is_number()) return std::nullopt;
  return string(object.is_number_float() ? static_cast<std::int64_t>(object.get<double>())
                                         : object.get<std::int64_t>());
}

FuzzyByteCountFormatter FuzzyByteCountFormatter::decode(const Json& archive) {
  const auto style = jsonInt(archive, "countStyle").value_or(0);
  return FuzzyByteCountFormatter(style >= 0 && style <= 3 ? static_cast<ByteCountStyle>(style)
                                                          : ByteCountStyle::file);
}

}  // namespace zarnik
