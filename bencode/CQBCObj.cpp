#include "bencode/CQBCObj.h"

namespace {

thread_local int t_nesting_depth = 0;
thread_local const char* t_parse_origin = nullptr;
thread_local int t_items = 0;
thread_local bool t_canonical = true;

class string_sink final : public CQBCSink {
 public:
  explicit string_sink(std::string& out) : out_(out) {}
  void write(const char* data, std::size_t size) override { out_.append(data, size); }

 private:
  std::string& out_;
};

}  // namespace

int CQBCObj::parse(const std::string& s) {
  if (s.size() > static_cast<std::size_t>(INT32_MAX)) return -1;
  return parse(s.data(), static_cast<int>(s.size()));
}

std::string CQBCObj::encode() const {
  std::string out;
  string_sink sink(out);
  encode_to(sink);
  return out;
}

namespace bencode_detail {

nesting_guard::nesting_guard(const char* buf) : ok_(++t_nesting_depth <= kBencodeMaxNestingDepth) {
  if (t_nesting_depth == 1) {
    t_parse_origin = buf;
    t_items = 0;
  }
}

bool count_items(int n) {
  t_items += n;
  return t_items <= kBencodeMaxItems;
}

std::int64_t offset_in_parse(const char* p) { return p - t_parse_origin; }

bool canonical_so_far() { return t_canonical; }

void set_canonical(bool canonical) { t_canonical = canonical; }

nesting_guard::~nesting_guard() { --t_nesting_depth; }

int format_int64(std::int64_t value, char* buf) {
  std::uint64_t magnitude = static_cast<std::uint64_t>(value);
  const bool negative = value < 0;
  if (negative) magnitude = 0 - magnitude;
  char digits[20];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  int pos = 0;
  if (negative) buf[pos++] = '-';
  while (n > 0) buf[pos++] = digits[--n];
  return pos;
}

}  // namespace bencode_detail
