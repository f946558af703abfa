#include "platform/type_identifier.h"

#include <mutex>
#include <shared_mutex>
#include <unordered_set>

namespace zarnik {

TypeIdentifier TypeIdentifier::named(std::string_view name) {
  if (name.empty()) return {};
  // Names are never freed: the set of MIME types is small and fixed for a process.
  // Every listed file asks; nearly every name is already known, so lookups share the lock.
  static std::shared_mutex mutex;
  static std::unordered_set<std::string>* pool = new std::unordered_set<std::string>();
  const std::string key(name);
  {
    std::shared_lock lock(mutex);
    if (auto it = pool->find(key); it != pool->end()) return TypeIdentifier(&*it);
  }
  std::unique_lock lock(mutex);
  auto [it, inserted] = pool->insert(key);
  return TypeIdentifier(&*it);
}

std::string_view TypeIdentifier::mediaType() const {
  const std::string_view full = name();
  const size_t slash = full.find('/');
  return slash == std::string_view::npos ? full : full.substr(0, slash);
}

}  // namespace zarnik
