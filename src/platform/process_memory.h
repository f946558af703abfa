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

// Huge pages behind the whole 2 MiB pages of [data, data + size) while an array there is first
// filled: it then costs a page fault per 2 MiB instead of one per 4 KiB, which in a virtual
// machine was most of the time a table of a million records took to load. Afterwards the range
// asks for ordinary pages again, so that what the allocator later puts at those addresses, once
// the array is freed, is not gathered into huge pages behind its back. A hint only: where huge
// pages are off, nothing changes.
class HugePagesWhileFilling {
 public:
  HugePagesWhileFilling(void* data, size_t size);
  ~HugePagesWhileFilling();
  HugePagesWhileFilling(const HugePagesWhileFilling&) = delete;
  HugePagesWhileFilling& operator=(const HugePagesWhileFilling&) = delete;

 private:
  void* first_ = nullptr;  // the whole huge pages inside the range, if any
  size_t size_ = 0;
};

}  // namespace zarnik
