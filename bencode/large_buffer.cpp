#include "bencode/large_buffer.h"

#include <sys/mman.h>

#include <cstdint>

void advise_large_buffer(void* p, std::size_t size) {
#ifdef MADV_HUGEPAGE
  constexpr std::uintptr_t kBlock = 2u << 20;
  const auto begin = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t first = (begin + kBlock - 1) & ~(kBlock - 1);
  const std::uintptr_t last = (begin + size) & ~(kBlock - 1);
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)p;
  (void)size;
#endif
}
