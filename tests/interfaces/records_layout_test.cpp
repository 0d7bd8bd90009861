// Properties of the shared records that the headers' own layout assertions
// do not cover; all checked at compile time.
#include <cstddef>
#include <type_traits>

#include "interfaces/IBitTorrent.h"
#include "interfaces/IBtTask.h"
#include "interfaces/ITask.h"

namespace {

// The records are zero-filled, copied and freed as raw memory on both sides
// of the interfaces, and offsetof is only meaningful on standard-layout types.
template <class... R>
constexpr bool plain_records = ((std::is_standard_layout_v<R> && std::is_trivial_v<R>) && ...);
static_assert(plain_records<tagSTRING, tagSTRING_ARRAY, SEED_FILE_INFO, SEED_FILE_ITEM, SEED_TRACKER_ITEM,
                            DATA_FILE_LIST, DATA_FILE_ITEM, PEER_INFO_LIST, tagTASK_INFO, tagTASK_INFO2,
                            tagFILE_INFO_PAIR, tagRESOURCE_INFO, tagRESOURCE_STATISTIC>);
static_assert(sizeof(tagQV_NAT_TYPE) == 4 && sizeof(tagQV_SUB_TASK_TYPE) == 4);

// On a 64-bit target the pointer fields are 8 bytes wide and naturally
// aligned; everything before the first pointer keeps its 32-bit offset.
static_assert(sizeof(void*) != 8 ||
              (offsetof(SEED_FILE_INFO, files) == 1056 && offsetof(SEED_FILE_INFO, tracker_count) == 1064 &&
               offsetof(SEED_FILE_INFO, trackers) == 1072 && offsetof(SEED_FILE_INFO, publisher_len) == 1080 &&
               offsetof(SEED_FILE_INFO, publisher_url) == 9280 && sizeof(SEED_FILE_INFO) == 10304));
static_assert(sizeof(void*) != 8 || (offsetof(DATA_FILE_LIST, items) == 8 && sizeof(DATA_FILE_LIST) == 16));
static_assert(sizeof(void*) != 8 || (offsetof(PEER_INFO_LIST, items) == 8 && sizeof(PEER_INFO_LIST) == 16));

}  // namespace
