// Zero-filled blocks from the memory pool (qv_allocate_zeroed, mp_gz): big
// ones are mappings of their own, which the pool's release and size must
// tell apart from malloc blocks while both are alive.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/qvnew.h"
#include "mp/mp.h"

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kMapped = false;  // the sanitizer builds take every block from calloc
#else
constexpr bool kMapped = true;
#endif

const std::size_t kPage = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));

bool all_zero(const unsigned char* p, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i)
    if (p[i] != 0) return false;
  return true;
}

// Pages of [p, p + size) the process has in memory; -1 when some page of it
// is not mapped at all.
long resident_pages(void* p, std::size_t size) {
  std::vector<unsigned char> pages((size + kPage - 1) / kPage);
  if (mincore(p, size, pages.data()) != 0) return -1;
  long n = 0;
  for (unsigned char page : pages) n += page & 1;
  return n;
}

TEST(ZeroedAllocation, SmallAndMappedBlocksLiveSideBySide) {
  const std::size_t big = MP_MAPPED_MIN + 12345;
  auto* mapped = static_cast<unsigned char*>(qv_allocate_zeroed(big));
  auto* small = static_cast<unsigned char*>(qv_allocate_zeroed(1000));
  ASSERT_NE(mapped, nullptr);
  ASSERT_NE(small, nullptr);
  if (kMapped) {
    // Zero without anything having cleared it: no page is in memory yet.
    EXPECT_EQ(resident_pages(mapped, big), 0);
  }
  EXPECT_TRUE(all_zero(mapped, big));
  EXPECT_TRUE(all_zero(small, 1000));
  EXPECT_GE(mp_ms(mapped), big);
  EXPECT_GE(mp_ms(small), 1000u);
  mapped[big - 1] = 0xAB;

  // While the mapping lives, blocks of the C allocator still come and go
  // through the pool, whichever side made them.
  void* from_malloc = std::malloc(3 * 1024 * 1024);
  ASSERT_NE(from_malloc, nullptr);
  EXPECT_GE(mp_ms(from_malloc), 3u * 1024 * 1024);
  mp_gv(from_malloc);
  void* from_pool = mp_gt(100);
  ASSERT_NE(from_pool, nullptr);
  std::free(from_pool);

  EXPECT_EQ(mapped[big - 1], 0xAB);
  qv_deallocate(small);
  qv_deallocate(mapped);
  if (kMapped) {
    // The mapping went back to the system.
    EXPECT_EQ(resident_pages(mapped, big), -1);
  }
}

TEST(ZeroedAllocation, RecordArraysRefuseImpossibleCounts) {
  struct record {
    char bytes[1296];
  };
  EXPECT_THROW(qv_new_records<record>(static_cast<std::size_t>(-1) / 1000), std::bad_alloc);
  record* records = qv_new_records<record>(4000);
  EXPECT_TRUE(all_zero(reinterpret_cast<unsigned char*>(records), 4000 * sizeof(record)));
  qv_delete_records(records);
  qv_delete_records<record>(nullptr);
}

}  // namespace
