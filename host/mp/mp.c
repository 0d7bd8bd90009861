#include "mp.h"

#include <malloc.h>
#include <stdlib.h>

#define MP_EXPORT __attribute__((visibility("default")))

MP_EXPORT void* mp_gt(size_t size) { return malloc(size); }

MP_EXPORT void mp_gv(void* p) { free(p); }

MP_EXPORT size_t mp_ms(void* p) { return p ? malloc_usable_size(p) : 0; }
