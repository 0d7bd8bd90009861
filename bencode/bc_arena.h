// Where bencode values and their containers' storage come from.
//
// A seed file decodes into hundreds of thousands of small values that all
// die together with the root. While a bc_arena_scope is active on a thread,
// the values made there (and the storage of their lists and dictionaries)
// are carved from that scope's arena, which lets them all go at once;
// elsewhere they come from the heap as usual. Each block carries a tag, so a
// value is released correctly whichever way it was made.
#pragma once

#include <cstddef>
#include <new>

namespace bencode_detail {

class bc_arena {
 public:
  bc_arena() = default;
  ~bc_arena() { release(); }
  bc_arena(const bc_arena&) = delete;
  bc_arena& operator=(const bc_arena&) = delete;

  // 8-aligned room for `size` bytes, valid until release().
  void* allocate(std::size_t size);
  // Lets every block go at once. Nothing carved from the arena may be used
  // afterwards.
  void release();

 private:
  struct chunk {
    chunk* next;
    std::size_t size;  // usable bytes after the header
  };
  chunk* chunks_ = nullptr;
  char* cursor_ = nullptr;
  char* limit_ = nullptr;
};

// Makes `arena` the source of this thread's bencode allocations while it lives.
class bc_arena_scope {
 public:
  explicit bc_arena_scope(bc_arena& arena);
  ~bc_arena_scope();
  bc_arena_scope(const bc_arena_scope&) = delete;
  bc_arena_scope& operator=(const bc_arena_scope&) = delete;

 private:
  bc_arena* previous_;
};

// From the active arena, else from the heap; aligned for any type of
// alignment 8 or less.
void* bc_allocate(std::size_t size);
// Returns heap blocks to the heap; arena blocks go with their arena.
void bc_deallocate(void* p) noexcept;

// Bytes of arena chunks kept for reuse by later arenas (at most
// kArenaCacheLimit), so that successive loads work in memory that is already
// mapped instead of faulting fresh pages in every time.
constexpr std::size_t kArenaChunk = 256 << 10;
constexpr std::size_t kArenaCacheLimit = 32 << 20;
std::size_t bc_arena_cached_bytes();

// Standard allocator over bc_allocate, for the containers of lists and
// dictionaries.
template <class T>
struct bc_allocator {
  using value_type = T;
  bc_allocator() = default;
  template <class U>
  bc_allocator(const bc_allocator<U>&) noexcept {}
  static_assert(alignof(T) <= 8, "bc_allocate aligns to 8 bytes");
  T* allocate(std::size_t n) {
    if (n > static_cast<std::size_t>(-1) / 2 / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(bc_allocate(n * sizeof(T)));
  }
  void deallocate(T* p, std::size_t) noexcept { bc_deallocate(p); }
  template <class U>
  bool operator==(const bc_allocator<U>&) const noexcept {
    return true;
  }
  template <class U>
  bool operator!=(const bc_allocator<U>&) const noexcept {
    return false;
  }
};

}  // namespace bencode_detail
