#include "platform/glob_filter.h"

#include <algorithm>
#include <optional>

namespace zarnik {
namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool isPlainRange(char first, char last) {
  auto within = [](char c, char low, char high) { return c >= low && c <= high; };
  return (within(first, '0', '9') && within(last, '0', '9')) ||
         (within(first, 'a', 'z') && within(last, 'a', 'z')) ||
         (within(first, 'A', 'Z') && within(last, 'A', 'Z'));
}

// The characters of the bracket expression opening at `open`, and where it ends; nothing for an
// expression this reader does not follow (negated, classes like [:alpha:], or unclosed), which
// then constrains nothing.
struct BracketExpression {
  std::bitset<256> characters;
  size_t close = 0;
};
std::optional<BracketExpression> bracketAt(std::string_view glob, size_t open) {
  BracketExpression expression;
  size_t at = open + 1;
  if (at < glob.size() && (glob[at] == '!' || glob[at] == '^')) return std::nullopt;
  for (bool first = true; at < glob.size(); first = false) {
    const char c = glob[at];
    if (c == ']' && !first) {
      expression.close = at;
      return expression;
    }
    if (c == '[' || c == '\\') return std::nullopt;
    char last = c;
    if (at + 2 < glob.size() && glob[at + 1] == '-' && glob[at + 2] != ']') {
      last = glob[at + 2];
      // Folding case, the full match folds a range's ends too: only ranges that folding leaves
      // as they are (digits, letters of one case) are followed.
      if (!isPlainRange(c, last)) return std::nullopt;
      at += 3;
    } else {
      at += 1;
    }
    for (int v = static_cast<unsigned char>(c); v <= static_cast<unsigned char>(last); ++v) {
      expression.characters.set(static_cast<unsigned char>(lower(static_cast<char>(v))));
      expression.characters.set(static_cast<unsigned char>(upper(static_cast<char>(v))));
    }
  }
  return std::nullopt;
}

bool endsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

}  // namespace

GlobFilter::GlobFilter(std::string_view glob) {
  // Literal runs split by wildcards. A glob this reader does not follow (escapes, character
  // classes, letters beyond ASCII, whose case the full match may fold) is left unfiltered.
  GlobFilter filter;
  std::vector<std::string> runs(1);
  bool startsWithWildcard = false;
  bool endsWithWildcard = false;
  for (size_t at = 0; at < glob.size(); ++at) {
    const char c = glob[at];
    if (c == '\\' || static_cast<unsigned char>(c) >= 0x80) return;
    filter.endsWithClass_ = false;
    if (c != '*' && c != '?' && c != '[') {
      endsWithWildcard = false;
      runs.back() += lower(c);
      ++filter.shortest_;
      continue;
    }
    if (at == 0) startsWithWildcard = true;
    endsWithWildcard = true;
    if (c != '*') ++filter.shortest_;
    if (c == '[') {
      const auto expression = bracketAt(glob, at);
      if (!expression) return;
      at = expression->close;
      filter.endsWithClass_ = at + 1 == glob.size();
      if (filter.endsWithClass_) filter.lastCharacters_ = expression->characters;
    }
    if (!runs.back().empty()) runs.emplace_back();
  }
  if (runs.back().empty()) runs.pop_back();
  if (!startsWithWildcard && !runs.empty()) {
    filter.prefix_ = std::move(runs.front());
    runs.erase(runs.begin());
  }
  if (!endsWithWildcard && !runs.empty()) {
    filter.suffix_ = std::move(runs.back());
    runs.pop_back();
  }
  filter.inner_ = std::move(runs);
  *this = std::move(filter);
}

bool GlobFilter::admits(std::string_view lowerName) const {
  // In a multibyte locale (the window runs in the desktop's) the full match folds letters beyond
  // ASCII too, some onto ASCII ones (KELVIN SIGN onto k): such names are left to it.
  if (std::any_of(lowerName.begin(), lowerName.end(),
                  [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
    return true;
  }
  if (lowerName.size() < shortest_) return false;
  if (lowerName.substr(0, prefix_.size()) != prefix_ || !endsWith(lowerName, suffix_)) {
    return false;
  }
  if (endsWithClass_ && !lastCharacters_.test(static_cast<unsigned char>(lowerName.back()))) {
    return false;
  }
  // Each inner run in order, after the prefix and before the suffix.
  size_t from = prefix_.size();
  const size_t end = lowerName.size() - suffix_.size();
  for (const auto& run : inner_) {
    const size_t found = lowerName.substr(0, end).find(run, from);
    if (found == std::string_view::npos) return false;
    from = found + run.size();
  }
  return true;
}

}  // namespace zarnik
