// GlobFilter: the literal text a name must hold to match a shell glob, read off the glob once, so
// that most names are turned away without the full match. It never turns away a name the glob
// matches (compared without regard to case, as file type globs are); a name it lets through may
// still not match. Names with characters beyond ASCII are always let through.
#pragma once

#include <bitset>
#include <string>
#include <string_view>
#include <vector>

namespace zarnik {

class GlobFilter {
 public:
  explicit GlobFilter(std::string_view glob);

  // `lowerName`: the name in ASCII lower case.
  [[nodiscard]] bool admits(std::string_view lowerName) const;

 private:
  GlobFilter() = default;

  std::string prefix_;              // literal text before the first wildcard
  std::string suffix_;              // literal text after the last wildcard
  std::vector<std::string> inner_;  // literal runs between wildcards, in order
  std::size_t shortest_ = 0;        // characters any match has at least
  // When the glob ends with a bracket expression: the characters a match can end with.
  std::bitset<256> lastCharacters_;
  bool endsWithClass_ = false;
};

}  // namespace zarnik
