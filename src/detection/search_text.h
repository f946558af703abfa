// Texts compared as a person reads them: canonically equivalent forms (a precomposed "é" and an
// "e" followed by a combining accent) and letter case do not matter. Bytes that are not UTF-8,
// which file names may hold, are compared as they are, ASCII letters lowered.
#pragma once

#include <string>
#include <string_view>

namespace zarnik {

// The composed, case-folded form of `text`.
[[nodiscard]] std::string searchKey(std::string_view text);
// Whether `text` contains `key` (a searchKey) when read so.
[[nodiscard]] bool matchesSearchKey(std::string_view text, std::string_view key);

}  // namespace zarnik
