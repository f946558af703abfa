// Reads JSON from a file that may be damaged: a document cut off part way keeps every member
// that was read whole before the cut (an object begun but not ended keeps its whole members; an
// array begun but not ended is dropped, since a shortened list would be read as a different
// one). Nesting deeper than a limit is refused outright, so that hostile input cannot exhaust
// the stack of whatever walks the value later.
#pragma once

#include "base/json.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace zarnik {

struct TolerantJsonReading {
  Json value;             // what could be read; null when nothing could
  bool complete = false;  // the whole text was one valid document within the nesting limit
  std::string problem;    // why it is not complete: the parser's message
};

inline constexpr size_t kMaximumJsonNesting = 64;

[[nodiscard]] TolerantJsonReading readJsonTolerantly(std::string_view text,
                                                     size_t maximumNesting = kMaximumJsonNesting);

}  // namespace zarnik
