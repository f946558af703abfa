// Version: a dotted version ("10.15.7") compared number by number; missing parts count as 0.
#pragma once

#include <compare>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zarnik {

class Version {
 public:
  // Leading digits of each dot-separated part; nothing when the text has no number at all.
  static std::optional<Version> parse(std::string_view text);
  explicit Version(std::vector<unsigned long long> parts) : parts_(std::move(parts)) {}

  [[nodiscard]] const std::vector<unsigned long long>& parts() const { return parts_; }
  [[nodiscard]] std::string string() const;

  friend std::strong_ordering operator<=>(const Version& a, const Version& b);
  friend bool operator==(const Version& a, const Version& b) { return (a <=> b) == 0; }

 private:
  std::vector<unsigned long long> parts_;
};

}  // namespace zarnik
