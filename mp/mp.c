#include "mp/mp.h"

#include <malloc.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/mman.h>

#define MP_EXPORT __attribute__((visibility("default")))

/* Whether mp_gz maps its big blocks: not under a sanitizer, which watches
 * only what the C allocator hands out. */
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define MP_MAPS_BLOCKS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define MP_MAPS_BLOCKS 0
#endif
#endif
#ifndef MP_MAPS_BLOCKS
#define MP_MAPS_BLOCKS 1
#endif

#define MP_LARGE_PAGE ((size_t)2 << 20)

/* The live mappings of mp_gz, by address. mp_gv and mp_ms look a block up
 * only while one is live and the address is aligned like a mapping. */
struct mapping {
  void* base;
  size_t size;
};

static pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
static struct mapping* g_mappings;
static size_t g_count;
static size_t g_capacity;
static atomic_size_t g_live;

static int may_be_mapping(const void* p) {
  return p != NULL && ((uintptr_t)p & (MP_LARGE_PAGE - 1)) == 0 &&
         atomic_load_explicit(&g_live, memory_order_relaxed) != 0;
}

/* Adds a mapping to the table; 0 when the table cannot grow. */
static int remember(void* base, size_t size) {
  int ok = 1;
  pthread_mutex_lock(&g_lock);
  if (g_count == g_capacity) {
    const size_t capacity = g_capacity ? g_capacity * 2 : 16;
    struct mapping* grown = realloc(g_mappings, capacity * sizeof *grown);
    if (grown) {
      g_mappings = grown;
      g_capacity = capacity;
    } else {
      ok = 0;
    }
  }
  if (ok) {
    g_mappings[g_count].base = base;
    g_mappings[g_count].size = size;
    ++g_count;
    atomic_store_explicit(&g_live, g_count, memory_order_relaxed);
  }
  pthread_mutex_unlock(&g_lock);
  return ok;
}

/* The size of the mapping at p, or 0 when p is none; with `forget` the
 * mapping leaves the table. */
static size_t look_up(const void* p, int forget) {
  size_t size = 0;
  pthread_mutex_lock(&g_lock);
  for (size_t i = 0; i < g_count; ++i) {
    if (g_mappings[i].base != p) continue;
    size = g_mappings[i].size;
    if (forget) {
      g_mappings[i] = g_mappings[--g_count];
      atomic_store_explicit(&g_live, g_count, memory_order_relaxed);
    }
    break;
  }
  pthread_mutex_unlock(&g_lock);
  return size;
}

/* A fresh mapping of `size` bytes (a multiple of MP_LARGE_PAGE) that starts
 * on a large-page boundary, or NULL. */
static void* map_aligned(size_t size) {
  const size_t span = size + MP_LARGE_PAGE;
  if (span < size) return NULL;
  char* raw = mmap(NULL, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return NULL;
  char* start = (char*)(((uintptr_t)raw + MP_LARGE_PAGE - 1) & ~(uintptr_t)(MP_LARGE_PAGE - 1));
  if (start != raw) munmap(raw, (size_t)(start - raw));
  char* end = start + size;
  if (end != raw + span) munmap(end, (size_t)(raw + span - end));
#ifdef MADV_HUGEPAGE
  /* Only advice: nothing changes where the system does not support it. */
  madvise(start, size, MADV_HUGEPAGE);
#endif
  return start;
}

MP_EXPORT void* mp_gt(size_t size) { return malloc(size); }

MP_EXPORT void mp_gv(void* p) {
  if (may_be_mapping(p)) {
    const size_t size = look_up(p, 1);
    if (size != 0) {
      munmap(p, size);
      return;
    }
  }
  free(p);
}

MP_EXPORT size_t mp_ms(void* p) {
  if (may_be_mapping(p)) {
    const size_t size = look_up(p, 0);
    if (size != 0) return size;
  }
  return p ? malloc_usable_size(p) : 0;
}

MP_EXPORT void* mp_gz(size_t size) {
  if (MP_MAPS_BLOCKS && size >= MP_MAPPED_MIN) {
    /* Whole large pages, so that the last one qualifies too. */
    const size_t rounded = (size + MP_LARGE_PAGE - 1) & ~(MP_LARGE_PAGE - 1);
    if (rounded < size) return NULL;
    void* p = map_aligned(rounded);
    if (p != NULL && !remember(p, rounded)) {
      munmap(p, rounded);
      p = NULL;
    }
    return p;
  }
  return calloc(1, size);
}
