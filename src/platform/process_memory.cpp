#include "platform/process_memory.h"

#include <malloc.h>

// Declared weak: the program links tcmalloc in, tests and sanitized builds do not.
extern "C" void MallocExtension_ReleaseFreeMemory() __attribute__((weak));
extern "C" int MallocExtension_SetNumericProperty(const char* property, size_t value) __attribute__((weak));

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

}  // namespace zarnik
