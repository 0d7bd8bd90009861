// The bencode decoders on raw bytes. Whatever the value factory accepts must
// encode to a canonical form that decodes back to the same value; the token
// document must encode it the same way, and call a container canonical
// exactly when its stored bytes are that encoding.
#include <climits>
#include <cstdint>
#include <memory>
#include <string>

#include "bencode/bc_factory.h"
#include "bencode/bc_node.h"
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
  const decoded objects = decode(bytes, static_cast<int>(size));

  bc_document doc;
  FUZZ_CHECK(doc.parse(bytes, static_cast<int>(size)) == objects.consumed);
  if (objects.consumed < 0) {
    FUZZ_CHECK(doc.empty());
    return 0;
  }
  const bc_node root = doc.root();
  std::string encoding;
  CQBCStringSink sink(encoding);
  root.encode_to(sink);
  FUZZ_CHECK(encoding == objects.encoding);
  if (root.is_list() || root.is_dict()) {
    FUZZ_CHECK(root.raw() == std::string_view(bytes, static_cast<std::size_t>(objects.consumed)));
    FUZZ_CHECK(root.canonical() == (root.raw() == encoding));
  }

  // An empty string alone is too short to decode ("0:" needs a byte after
  // it); every other canonical encoding decodes whole and encodes the same.
  if (objects.encoding == "0:") return 0;
  const decoded again = decode(objects.encoding.data(), static_cast<int>(objects.encoding.size()));
  FUZZ_CHECK(again.consumed == static_cast<int>(objects.encoding.size()));
  FUZZ_CHECK(again.encoding == objects.encoding);
  return 0;
}
