#include "platform/process_memory.h"

#include <malloc.h>

// Declared weak: the program links tcmalloc in, tests and sanitized builds do not.
extern "C" void MallocExtension_ReleaseFreeMemory() __attribute__((weak));

namespace zarnik {

void returnFreeMemoryToSystem() {
  if (MallocExtension_ReleaseFreeMemory != nullptr) {
    MallocExtension_ReleaseFreeMemory();
  } else {
    ::malloc_trim(0);
  }
}

}  // namespace zarnik
