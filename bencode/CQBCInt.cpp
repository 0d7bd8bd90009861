#include "bencode/CQBCInt.h"

#include <cstring>

int CQBCInt::parse(const char* buf, int len) {
  if (buf == nullptr || len < 3 || buf[0] != 'i') return -1;
  const char* end = static_cast<const char*>(std::memchr(buf + 1, 'e', static_cast<std::size_t>(len - 1)));
  if (end == nullptr) return -1;
  const char* p = buf + 1;
  if (p == end) return -1;
  const bool negative = *p == '-';
  if (negative) ++p;
  const char* digits = p;
  std::uint64_t accumulated = 0;
  for (; p != end; ++p) {
    const unsigned digit = static_cast<unsigned char>(*p) - static_cast<unsigned>('0');
    if (digit > 9) return -1;
    accumulated = accumulated * 10 + digit;
  }
  // Canonical: at least one digit, no leading zero, no "-0", and a magnitude
  // that needs no wrap-around (19 digits at most, then the signed range).
  const std::ptrdiff_t count = end - digits;
  const bool canonical = count >= 1 && count <= 19 && (*digits != '0' || (count == 1 && !negative)) &&
                         accumulated <= static_cast<std::uint64_t>(INT64_MAX) + (negative ? 1 : 0);
  if (!canonical) bencode_detail::mark_noncanonical();
  if (negative) accumulated = 0 - accumulated;
  value_ = static_cast<std::int64_t>(accumulated);
  return static_cast<int>(end - buf) + 1;
}

void CQBCInt::encode_to(CQBCSink& out) const {
  char text[24];
  text[0] = 'i';
  int n = 1 + bencode_detail::format_int64(value_, text + 1);
  text[n++] = 'e';
  out.write(text, static_cast<std::size_t>(n));
}
