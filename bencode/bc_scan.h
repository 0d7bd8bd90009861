// The two leaf forms of bencode, read and written: integers ("i" digits "e")
// and the length header of byte strings (digits ":"). Every decoder of the
// module reads them through these functions, so that they all accept the
// same input. The usual forms are read inline.
#pragma once

#include <cstdint>

namespace bencode_detail {

inline bool is_digit(char c) { return static_cast<unsigned>(static_cast<unsigned char>(c)) - '0' <= 9; }

// Reads the integer at `buf` ("i", an optional "-", digits, "e"; a lone "-"
// is 0, leading zeros and "-0" are accepted, digits accumulate with 64-bit
// wrap-around). Returns the bytes consumed, or -1. `canonical` is cleared
// when the text is not the form format_int64 writes.
inline int scan_int(const char* buf, int len, std::int64_t& value, bool& canonical) {
  if (buf == nullptr || len < 3 || buf[0] != 'i') return -1;
  const char* const end = buf + len;
  const char* p = buf + 1;
  const bool negative = *p == '-';
  if (negative) ++p;
  const char* const digits = p;
  std::uint64_t accumulated = 0;
  while (p != end && is_digit(*p)) accumulated = accumulated * 10 + static_cast<unsigned>(*p++ - '0');
  // The first "e" must follow at once: any other byte before it is refused,
  // and so is "ie".
  if (p == end || *p != 'e' || p == buf + 1) return -1;
  // Canonical: at least one digit, no leading zero, no "-0", and a magnitude
  // that needs no wrap-around (19 digits at most, then the signed range).
  const auto count = p - digits;
  if (!(count >= 1 && count <= 19 && (*digits != '0' || (count == 1 && !negative)) &&
        accumulated <= static_cast<std::uint64_t>(INT64_MAX) + (negative ? 1 : 0))) {
    canonical = false;
  }
  value = static_cast<std::int64_t>(negative ? 0 - accumulated : accumulated);
  return static_cast<int>(p - buf) + 1;
}

// scan_string for a header that is not up to nine digits and a colon.
int scan_string_header(const char* buf, int len, const char*& data, int& size, bool& canonical);

// Reads the string at `buf`: its length the way a stream extracts an int
// (leading white space, optional sign, digits up to the first other byte;
// anything between that byte and the first colon is skipped), then that many
// bytes, which must lie inside the buffer. Returns the bytes consumed and
// sets `data`/`size` to the string's bytes, or returns -1. `canonical` is
// cleared when the header is not plain digits without a leading zero.
inline int scan_string(const char* buf, int len, const char*& data, int& size, bool& canonical) {
  if (buf == nullptr || len < 3) return -1;
  int value = 0;
  int i = 0;
  while (i < 9 && i < len && is_digit(buf[i])) value = value * 10 + (buf[i++] - '0');
  if (i == 0 || i == len || buf[i] != ':') return scan_string_header(buf, len, data, size, canonical);
  if (static_cast<std::int64_t>(i) + value >= len) return -1;
  if (buf[0] == '0' && i > 1) canonical = false;
  data = buf + i + 1;
  size = value;
  return i + value + 1;
}

// Decimal text of a 64-bit value into `buf` (at least 21 bytes); returns the
// length. The most negative value is written with its full magnitude.
int format_int64(std::int64_t value, char* buf);

}  // namespace bencode_detail
