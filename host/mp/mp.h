/* The memory-pool library the module allocates from.
 *
 * A thin layer over the C allocator: blocks from mp_gt() may be freed with
 * free() and blocks from malloc() may be given back through mp_gv(), because
 * standard-library code outside the module sometimes allocates with one and
 * frees with the other. */
#ifndef BT_SHELL_MP_H
#define BT_SHELL_MP_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A block of at least size bytes, or NULL when none can be had. */
void* mp_gt(size_t size);
/* Gives back a block obtained from mp_gt (NULL is ignored). */
void mp_gv(void* p);
/* The usable size of a block obtained from mp_gt. */
size_t mp_ms(void* p);

#ifdef __cplusplus
}
#endif

#endif
