// Routing of the module's allocations to the memory-pool library.
//
// The module's global allocation operators (defined only in the shared
// module, never in the test binaries) call these functions. Each argument
// check raises the allocation assertion:
//   expression + " not ture, file: " + source file + ", line: " + line
// as the non-continuable structured exception 0xE0008001.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <string>
#include <type_traits>

// A block of at least `size` bytes from the pool, or null when the pool is
// exhausted. A size of 0 raises "size > 0".
void* qv_allocate(std::size_t size);
// Gives a block back to the pool. A null pointer raises "p != NULL".
void qv_deallocate(void* p);
// Always raises "_msize calls must debug"; the usable size would follow.
std::size_t qv_msize(void* p);
// A zero-filled block of at least `size` bytes from the pool, or null; large
// blocks are fresh mappings that nothing clears twice (mp_gz). Give it back
// with qv_deallocate. A size of 0 raises "size > 0".
void* qv_allocate_zeroed(std::size_t size);

// An array of `count` (> 0) plain records for a host, every byte zero;
// throws std::bad_alloc when the pool has no room. Only qv_delete_records
// frees it.
template <class T>
T* qv_new_records(std::size_t count) {
  static_assert(std::is_trivial_v<T>, "records are plain data, valid when all zero");
  if (count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
  T* records = static_cast<T*>(qv_allocate_zeroed(count * sizeof(T)));
  if (!records) throw std::bad_alloc();
  // Begins the records' lifetime; writes nothing.
  std::uninitialized_default_construct_n(records, count);
  return records;
}
// Frees an array from qv_new_records; null is ignored.
template <class T>
void qv_delete_records(T* records) {
  if (records) qv_deallocate(records);
}

std::string allocation_assert_text(const char* expression, const char* file, int line);
