// The bencode value factory on raw bytes. Whatever it accepts must encode to
// a canonical form that decodes back to the same value, and decoding from
// the arena must give what decoding from the heap gives.
#include <climits>
#include <cstdint>
#include <memory>
#include <string>

#include "bencode/bc_arena.h"
#include "bencode/bc_factory.h"
#include "fuzz/fuzz_support.h"

namespace {

// The value's encoding, or nothing when the factory refuses the bytes.
struct decoded {
  int consumed = -1;
  std::string encoding;
};

decoded decode(const char* data, int size) {
  CQBCObj* made = nullptr;
  decoded result;
  result.consumed = bc_create_object(data, size, &made);
  std::unique_ptr<CQBCObj> value(made);
  if (result.consumed < 0) {
    FUZZ_CHECK(made == nullptr);
    return result;
  }
  FUZZ_CHECK(made != nullptr && result.consumed > 0 && result.consumed <= size);
  result.encoding = value->encode();
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::init_logging(log4cplus::OFF_LOG_LEVEL);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > INT_MAX) return 0;
  const auto* bytes = reinterpret_cast<const char*>(data);
  const decoded heap = decode(bytes, static_cast<int>(size));

  decoded pooled;
  {
    bencode_detail::bc_arena arena;
    bencode_detail::bc_arena_scope scope(arena);
    pooled = decode(bytes, static_cast<int>(size));
  }
  FUZZ_CHECK(pooled.consumed == heap.consumed && pooled.encoding == heap.encoding);
  if (heap.consumed < 0) return 0;

  // An empty string alone is too short to decode ("0:" needs a byte after
  // it); every other canonical encoding decodes whole and encodes the same.
  if (heap.encoding == "0:") return 0;
  const decoded again = decode(heap.encoding.data(), static_cast<int>(heap.encoding.size()));
  FUZZ_CHECK(again.consumed == static_cast<int>(heap.encoding.size()));
  FUZZ_CHECK(again.encoding == heap.encoding);
  return 0;
}
