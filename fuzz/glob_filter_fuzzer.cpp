// File type globs come from the system's shared-mime-info database. Whatever a glob is, the filter
// read off it must let through every name the full match accepts: the first byte gives the
// glob's length, the glob follows, the rest is the name.
#include "platform/glob_filter.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fnmatch.h>
#include <string>

namespace {

std::string withoutNul(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  for (char& c : text) c = c == '\0' ? 'x' : c;
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t globLength = data[0] < size - 1 ? data[0] : size - 1;
  const std::string glob = withoutNul(data + 1, globLength);
  const std::string name = withoutNul(data + 1 + globLength, size - 1 - globLength);
  std::string lower = name;
  for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  const bool matches = ::fnmatch(glob.c_str(), name.c_str(), FNM_CASEFOLD) == 0;
  if (matches && !zarnik::GlobFilter(glob).admits(lower)) std::abort();
  return 0;
}
