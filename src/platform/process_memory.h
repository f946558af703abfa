// Giving memory the program freed back to the system. Allocators keep freed blocks for reuse;
// after a phase that freed far more than the next one will take (a scan's waiting files), the
// kept blocks are only resident memory nobody uses.
#pragma once

#include <cstddef>

namespace zarnik {

// With tcmalloc linked in, releases its free pages; otherwise trims the C library's heap.
void returnFreeMemoryToSystem();

// Bounds what tcmalloc keeps in its per-thread caches, all threads together (it has no effect
// without tcmalloc). Blocks freed on one thread and kept in its cache hold whole pages that
// other threads and other block sizes cannot use: a scan's dozen threads kept 4 to 8 MB so.
void limitThreadCaches(size_t totalBytes);

// Asks for huge pages behind the whole 2 MiB pages of [data, data + size), before they are
// first touched: an array filled at once then costs a page fault per 2 MiB instead of one per
// 4 KiB, which in a virtual machine was most of the time a table of a million records took to
// load. A hint only: where huge pages are off, nothing changes.
void preferHugePages(void* data, size_t size);

}  // namespace zarnik
