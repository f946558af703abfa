#include "platform/type_identifier.h"

#include <mutex>
#include <unordered_set>

namespace zarnik {

TypeIdentifier TypeIdentifier::named(std::string_view name) {
  if (name.empty()) return {};
  // Names are never freed: the set of MIME types is small and fixed for a process.
  static std::mutex mutex;
  static std::unordered_set<std::string>* pool = new std::unordered_set<std::string>();
  std::lock_guard lock(mutex);
  auto [it, inserted] = pool->emplace(name);
  return TypeIdentifier(&*it);
}

std::string_view TypeIdentifier::mediaType() const {
  const std::string_view full = name();
  const size_t slash = full.find('/');
  return slash == std::string_view::npos ? full : full.substr(0, slash);
}

}  // namespace zarnik
