// FuzzyByteCountFormatter: a size as an order of magnitude ("dozens of MB"), for texts that
// should not show an exact figure. Words and units are joined by no-break spaces.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/json.h"

namespace zarnik {

enum class ByteCountStyle : int { file = 0, memory = 1, decimal = 2, binary = 3 };

class FuzzyByteCountFormatter {
 public:
  FuzzyByteCountFormatter() = default;
  explicit FuzzyByteCountFormatter(ByteCountStyle style) : countStyle_(style) {}

  [[nodiscard]] ByteCountStyle countStyle() const { return countStyle_; }
  void setCountStyle(ByteCountStyle style) { countStyle_ = style; }
  [[nodiscard]] bool isBinary() const;
  // Changes the style only when the binaryness differs: true → binary, false → decimal.
  void setBinary(bool binary);

  [[nodiscard]] std::string string(std::int64_t byteCount) const;
  [[nodiscard]] static std::string string(std::int64_t byteCount, ByteCountStyle style);
  // A number is formatted by its 64-bit value; anything else gives nothing.
  [[nodiscard]] std::optional<std::string> stringFor(const Json& object) const;

  [[nodiscard]] Json encode() const { return Json{{"countStyle", static_cast<int>(countStyle_)}}; }
  static FuzzyByteCountFormatter decode(const Json& archive);

 private:
  ByteCountStyle countStyle_ = ByteCountStyle::file;
};

}  // namespace zarnik
