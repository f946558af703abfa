#include "detection/search_text.h"

#include "base/path_components.h"

#include <utf8proc.h>

#include <cstdlib>

namespace zarnik {

std::string searchKey(std::string_view text) {
  utf8proc_uint8_t* mapped = nullptr;
  const auto options =
      static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE | UTF8PROC_CASEFOLD);
  const auto length = utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(text.data()),
                                   static_cast<utf8proc_ssize_t>(text.size()), &mapped, options);
  if (length < 0) return asciiLowercased(text);
  std::string key(reinterpret_cast<const char*>(mapped), static_cast<size_t>(length));
  std::free(mapped);
  return key;
}

bool matchesSearchKey(std::string_view text, std::string_view key) {
  return key.empty() || searchKey(text).find(key) != std::string::npos;
}

}  // namespace zarnik
