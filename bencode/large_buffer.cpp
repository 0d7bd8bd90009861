#include "bencode/large_buffer.h"

#include <sys/mman.h>

namespace {

constexpr std::size_t kLargePage = 2 << 20;

std::size_t whole_pages(std::size_t size) { return (size + kLargePage - 1) & ~(kLargePage - 1); }

}  // namespace

void* large_buffer_allocate(std::size_t size) {
  if (size < kLargeBufferSize) return ::operator new(size);
  if (size > static_cast<std::size_t>(-1) / 2) throw std::bad_alloc();
  // Whole large pages, so that the last one qualifies too.
  const std::size_t rounded = whole_pages(size);
  void* p = ::operator new(rounded, std::align_val_t(kLargePage));
#ifdef MADV_HUGEPAGE
  // Only advice: nothing changes where the system does not support it.
  madvise(p, rounded, MADV_HUGEPAGE);
#endif
  return p;
}

void large_buffer_release(void* p, std::size_t size) noexcept {
  if (size < kLargeBufferSize) {
    ::operator delete(p);
  } else {
    ::operator delete(p, std::align_val_t(kLargePage));
  }
}
