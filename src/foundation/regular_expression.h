// RegularExpression: a compiled case-insensitive Unicode expression (PCRE2), for names and path
// components. Texts that are not valid UTF-8 are still searched: invalid sequences never match
// a character. Safe to use from several threads at once.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/result.h"

namespace zarnik {

class RegularExpression {
 public:
  // The compiler's message and offset as the error when the pattern is not valid.
  static Result<std::shared_ptr<const RegularExpression>> compile(const std::string& pattern);
  // For the system's own patterns, which must compile: a failure stops the program.
  static std::shared_ptr<const RegularExpression> compileOrDie(const std::string& pattern);
  ~RegularExpression();
  RegularExpression(const RegularExpression&) = delete;
  RegularExpression& operator=(const RegularExpression&) = delete;

  [[nodiscard]] bool search(std::string_view text) const { return firstMatch(text).has_value(); }
  // The [start, end) byte range of the first match.
  [[nodiscard]] std::optional<std::pair<size_t, size_t>> firstMatch(std::string_view text) const;

 private:
  struct Code;
  explicit RegularExpression(Code* code) : code_(code) {}
  Code* code_;
};

}  // namespace zarnik
