// Routing of the module's allocations to the memory-pool library.
//
// The module's global allocation operators (defined only in the shared
// module, never in the test binaries) call these functions. Each argument
// check raises the allocation assertion:
//   expression + " not ture, file: " + source file + ", line: " + line
// as the non-continuable structured exception 0xE0008001.
#pragma once

#include <cstddef>
#include <string>

// A block of at least `size` bytes from the pool, or null when the pool is
// exhausted. A size of 0 raises "size > 0".
void* qv_allocate(std::size_t size);
// Gives a block back to the pool. A null pointer raises "p != NULL".
void qv_deallocate(void* p);
// Always raises "_msize calls must debug"; the usable size would follow.
std::size_t qv_msize(void* p);

std::string allocation_assert_text(const char* expression, const char* file, int line);
