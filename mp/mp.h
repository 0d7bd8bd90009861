/* The memory-pool library the module allocates from.
 *
 * A thin layer over the C allocator: blocks from mp_gt() may be freed with
 * free() and blocks from malloc() may be given back through mp_gv(), because
 * standard-library code outside the module sometimes allocates with one and
 * frees with the other.
 *
 * mp_gz() serves the large zero-filled record arrays the module hands to a
 * host. Its big blocks are mappings of their own, not malloc blocks: they go
 * back through mp_gv() only (never free()), which tells them apart by the
 * table of live mappings this library keeps. */
#ifndef BT_SHELL_MP_H
#define BT_SHELL_MP_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A block of at least size bytes, or NULL when none can be had. */
void* mp_gt(size_t size);
/* Gives back a block obtained from mp_gt or mp_gz (NULL is ignored). */
void mp_gv(void* p);
/* The usable size of a block obtained from mp_gt or mp_gz. */
size_t mp_ms(void* p);
/* A block of at least size bytes that reads as zeros, or NULL when none can
 * be had. From MP_MAPPED_MIN bytes on it is a fresh anonymous mapping,
 * aligned to and advised for 2 MiB pages: the system clears each page once,
 * when it is first touched, and where it offers large pages faults them in
 * 2 MiB at a time. Smaller blocks come from calloc(). Builds with
 * AddressSanitizer or ThreadSanitizer take every block from calloc(), so
 * that the sanitizer watches them. Give it back through mp_gv. */
void* mp_gz(size_t size);

#define MP_MAPPED_MIN ((size_t)4 << 20)

#ifdef __cplusplus
}
#endif

#endif
