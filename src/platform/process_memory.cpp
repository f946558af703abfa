#include "platform/process_memory.h"

#include <cstdint>
#include <malloc.h>
#include <sys/mman.h>

// Declared weak: the program links tcmalloc in, tests and sanitized builds do not. The names
// are tcmalloc's.
// NOLINTBEGIN(readability-identifier-naming)
extern "C" void MallocExtension_ReleaseFreeMemory() __attribute__((weak));
extern "C" int MallocExtension_SetNumericProperty(const char* property, size_t value)
    __attribute__((weak));
// NOLINTEND(readability-identifier-naming)

namespace zarnik {

void returnFreeMemoryToSystem() {
  if (MallocExtension_ReleaseFreeMemory != nullptr) {
    MallocExtension_ReleaseFreeMemory();
  } else {
    ::malloc_trim(0);
  }
}

void limitThreadCaches(size_t totalBytes) {
  if (MallocExtension_SetNumericProperty != nullptr) {
    MallocExtension_SetNumericProperty("tcmalloc.max_total_thread_cache_bytes", totalBytes);
  }
}

HugePagesWhileFilling::HugePagesWhileFilling(void* data, size_t size) {
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  const auto begin = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t end = (begin + size) & ~(kHugePage - 1);
  if (end <= first) return;
  // From the pointer itself, not from an integer, so that the compiler still knows where it points.
  first_ = static_cast<char*>(data) + (first - begin);
  size_ = end - first;
  if (::madvise(first_, size_, MADV_HUGEPAGE) != 0) first_ = nullptr;
}

HugePagesWhileFilling::~HugePagesWhileFilling() {
  if (first_ != nullptr) (void)::madvise(first_, size_, MADV_NOHUGEPAGE);
}

}  // namespace zarnik
