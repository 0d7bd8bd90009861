#include "bencode/bc_scan.h"

#include <climits>
#include <cstring>

namespace bencode_detail {

namespace {

bool is_stream_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads an int from [p, end) as formatted stream extraction would: false when
// no digits can be read or the number does not fit.
bool extract_int(const char* p, const char* end, int& out) {
  while (p != end && is_stream_space(*p)) ++p;
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  if (p == end || !is_digit(*p)) return false;
  const std::uint64_t limit = negative ? static_cast<std::uint64_t>(INT_MAX) + 1 : INT_MAX;
  std::uint64_t value = 0;
  for (; p != end && is_digit(*p); ++p) {
    value = value * 10 + static_cast<unsigned>(*p - '0');
    if (value > limit) return false;
  }
  out = negative ? static_cast<int>(0 - static_cast<std::int64_t>(value)) : static_cast<int>(value);
  return true;
}

}  // namespace

int scan_string_header(const char* buf, int len, const char*& data, int& size, bool& canonical) {
  // Find the colon and read what stands before it the way a stream would.
  const char* colon = static_cast<const char*>(std::memchr(buf, ':', static_cast<std::size_t>(len)));
  if (colon == nullptr) return -1;
  int length = 0;
  if (!extract_int(buf, colon, length) || length < 0) return -1;
  const std::int64_t colon_index = colon - buf;
  if (colon_index + length >= len) return -1;
  // Canonical: plain digits without a leading zero.
  bool plain = colon_index >= 1 && (buf[0] != '0' || colon_index == 1);
  for (const char* p = buf; plain && p != colon; ++p) plain = is_digit(*p);
  if (!plain) canonical = false;
  data = colon + 1;
  size = length;
  return static_cast<int>(colon_index + length + 1);
}

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
