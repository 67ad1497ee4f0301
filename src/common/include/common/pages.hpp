#pragma once
// Huge-page advice for a fresh array: the hosts' outputs and a kernel's
// large scratch.
#include <cstddef>
#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

// Asks Linux to back the whole 2 MiB pages inside an array of at least
// 4 MiB with huge pages, before anything touches it: the page faults of
// 4 KiB pages cost far more than writing the memory, while a smaller array
// would gain at most a page or two. Advice only: the memory and its
// contents are the same either way, and failure is fine.
inline void adviseHugePages(void* data, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  const uintptr_t huge = uintptr_t(1) << 21;
  if (!data || bytes < (std::size_t(4) << 20)) return;
  const uintptr_t begin = reinterpret_cast<uintptr_t>(data);
  const uintptr_t first = (begin + huge - 1) & ~(huge - 1);
  const uintptr_t end = (begin + bytes) & ~(huge - 1);
  if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#else
  (void)data;
  (void)bytes;
#endif
}
