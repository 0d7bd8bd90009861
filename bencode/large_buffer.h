// Buffers of many megabytes (a whole seed file, the "pieces" string of a
// big torrent) are filled right after they are allocated; touching them page
// by page costs more than the copy itself. Advising the kernel to back them
// with large pages saves most of that.
#pragma once

#include <cstddef>

// Sizes from which the advice is given.
constexpr int kLargeBufferSize = 4 << 20;

// Advises large pages for the whole 2 MiB blocks inside [p, p + size).
// Only advice: nothing changes where the system does not support it.
void advise_large_buffer(void* p, std::size_t size);
