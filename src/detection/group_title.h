// What a group of copies is called where it is listed ("Exact duplicates", "Similar images", ...),
// by the command line and by the window alike.
#pragma once

#include "matching/match_kind.h"

#include <string_view>

namespace zarnik {

[[nodiscard]] std::string_view groupTitle(EquivalenceKind kind);

}  // namespace zarnik
