#include "bencode/CQBCString.h"

#include <climits>
#include <cstring>

#include "bencode/large_buffer.h"

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
  if (p == end || static_cast<unsigned>(static_cast<unsigned char>(*p) - '0') > 9) return false;
  const std::uint64_t limit = negative ? static_cast<std::uint64_t>(INT_MAX) + 1 : INT_MAX;
  std::uint64_t value = 0;
  bool overflow = false;
  for (; p != end; ++p) {
    const unsigned digit = static_cast<unsigned char>(*p) - static_cast<unsigned>('0');
    if (digit > 9) break;
    if (!overflow) {
      value = value * 10 + digit;
      if (value > limit) overflow = true;
    }
  }
  if (overflow) return false;
  out = negative ? static_cast<int>(0 - static_cast<std::int64_t>(value)) : static_cast<int>(value);
  return true;
}

}  // namespace

int CQBCString::scan(const char* buf, int len, const char*& data, int& size) {
  if (buf == nullptr || len < 3) return -1;
  // The usual form: up to nine digits, then the colon. One pass reads the
  // length and proves it canonical.
  {
    int value = 0;
    int i = 0;
    while (i < 9 && i < len && static_cast<unsigned>(static_cast<unsigned char>(buf[i]) - '0') <= 9) {
      value = value * 10 + (buf[i] - '0');
      ++i;
    }
    if (i > 0 && i < len && buf[i] == ':') {
      if (static_cast<std::int64_t>(i) + value >= len) return -1;
      if (buf[0] == '0' && i > 1) bencode_detail::mark_noncanonical();
      data = buf + i + 1;
      size = value;
      return i + value + 1;
    }
  }
  // Anything else: find the colon and read what stands before it the way a
  // stream would.
  const char* colon = static_cast<const char*>(std::memchr(buf, ':', static_cast<std::size_t>(len)));
  if (colon == nullptr) return -1;
  int length = 0;
  if (!extract_int(buf, colon, length) || length < 0) return -1;
  const std::int64_t colon_index = colon - buf;
  if (colon_index + length >= len) return -1;
  // Canonical: the length is plain digits without a leading zero.
  const std::int64_t digits = colon_index;
  bool canonical = digits >= 1 && (buf[0] != '0' || digits == 1);
  for (const char* p = buf; canonical && p != colon; ++p) canonical = *p >= '0' && *p <= '9';
  if (!canonical) bencode_detail::mark_noncanonical();
  data = colon + 1;
  size = length;
  return static_cast<int>(colon_index + length + 1);
}

int CQBCString::parse(const char* buf, int len) {
  const char* data = nullptr;
  int size = 0;
  const int consumed = scan(buf, len, data, size);
  if (consumed < 0) return -1;
  if (size >= kLargeBufferSize) {
    // A multi-megabyte value (the "pieces" of a big torrent): let the kernel
    // back it with large pages before the copy touches it.
    value_.clear();
    value_.reserve(static_cast<std::size_t>(size));
    advise_large_buffer(&value_[0], static_cast<std::size_t>(size));
  }
  value_.assign(data, static_cast<std::size_t>(size));
  return consumed;
}

void CQBCString::encode_to(CQBCSink& out) const {
  char text[24];
  int n = bencode_detail::format_int64(static_cast<std::int64_t>(value_.size()), text);
  text[n++] = ':';
  out.write(text, static_cast<std::size_t>(n));
  out.write(value_.data(), value_.size());
}
