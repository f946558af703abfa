// Giving memory the program freed back to the system. Allocators keep freed blocks for reuse;
// after a phase that freed far more than the next one will take (a scan's waiting files), the
// kept blocks are only resident memory nobody uses.
#pragma once

namespace zarnik {

// With tcmalloc linked in, releases its free pages; otherwise trims the C library's heap.
void returnFreeMemoryToSystem();

}  // namespace zarnik
