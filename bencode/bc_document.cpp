#include "bencode/bc_document.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "bencode/bc_node.h"
#include "bencode/bc_scan.h"

namespace {

// A list or dictionary being decoded.
struct open_container {
  std::uint32_t token;
  bool dict;
  bool canonical;
  std::string_view last_key;  // dictionaries: the key before, for the order check
};

// Tokens reserved before decoding: real seeds need one for every 6 to 10
// bytes; a seed made mostly of one long string needs a handful. Beyond the
// reservation the storage grows by what the rest of the input should need.
constexpr std::size_t kBytesPerToken = 6;
constexpr std::size_t kMaxReserved = 1 << 20;
constexpr std::size_t kMinReserved = 64;

bool key_less(std::string_view a, std::string_view b) {
  // Most keys differ in their first byte.
  if (!a.empty() && !b.empty() && a[0] != b[0]) return static_cast<unsigned char>(a[0]) < static_cast<unsigned char>(b[0]);
  return a < b;
}

}  // namespace

void bc_document::clear() {
  buf_ = nullptr;
  count_ = 0;
  failure_ = no_failure;
  storage_.reset();
}

bc_node bc_document::root() const { return count_ == 0 ? bc_node() : bc_node(this, 0); }

void bc_document::grow(std::size_t decoded, std::size_t len, std::size_t most) {
  // The input decoded so far tells how many tokens the rest will take: room
  // for that (and a little more), but at least half as much again, and never
  // more than the input may hold.
  const double rate = static_cast<double>(count_) / static_cast<double>(std::max<std::size_t>(decoded, 1));
  const std::size_t expected = static_cast<std::size_t>(std::min(rate * static_cast<double>(len), static_cast<double>(most)));
  const std::size_t tokens =
      std::min(std::max({expected + expected / 16, capacity() + capacity() / 2, kMinReserved}), std::max(most, count_ + 1));
  large_buffer larger(tokens * sizeof(bc_token));
  if (count_ != 0) std::memcpy(larger.data(), storage_.data(), count_ * sizeof(bc_token));
  storage_ = std::move(larger);
}

int bc_document::parse(const char* buf, int len, int depth_limit, int item_limit) {
  count_ = 0;
  buf_ = buf;
  failure_ = malformed;
  int consumed = -1;
  try {
    consumed = decode(buf, len, depth_limit, item_limit);
  } catch (...) {
    count_ = 0;
    throw;
  }
  if (consumed < 0) count_ = 0;
  else failure_ = no_failure;
  return consumed;
}

int bc_document::decode(const char* buf, int len, int depth_limit, int item_limit) {
  if (buf == nullptr || len < 1) return -1;
  const std::size_t wanted = std::min(static_cast<std::size_t>(len) / kBytesPerToken + kMinReserved, kMaxReserved);
  if (capacity() < wanted) storage_ = large_buffer(wanted * sizeof(bc_token));
  const char* const end = buf + len;
  const char* p = buf;
  std::vector<open_container> open;
  open.reserve(16);
  int items = 0;

  // Every item adds at most two tokens (an empty list as an element: the
  // list and its end); the outermost value two more.
  const std::size_t most_tokens = 2 * static_cast<std::size_t>(std::max(item_limit, 0)) + 2;
  const auto push = [&](const char* at, std::size_t extent, bc_token::kind_t kind) {
    if (count_ == capacity()) grow(static_cast<std::size_t>(at - buf), static_cast<std::size_t>(len), most_tokens);
    new (slots() + count_++) bc_token{static_cast<std::uint32_t>(at - buf_), static_cast<std::uint32_t>(extent), kind, true};
  };
  const auto mark_noncanonical = [&open] {
    if (!open.empty()) open.back().canonical = false;
  };

  for (;;) {
    // At the start of the input, or of an element of the innermost container
    // (of an entry, in a dictionary: its key, then its value).
    if (!open.empty()) {
      // Every element is followed by a byte: the next element or the "e".
      if (p == end) return -1;
      open_container& c = open.back();
      if (*p == 'e') {
        push(p, 1, bc_token::END);
        ++p;
        bc_token& t = slots()[c.token];
        t.extent = static_cast<std::uint32_t>(count_ - c.token);
        t.canonical = c.canonical;
        const bool canonical = c.canonical;
        open.pop_back();
        if (!canonical) mark_noncanonical();
        if (open.empty()) return static_cast<int>(p - buf);
        continue;
      }
      if (!c.dict) {
        if (++items > item_limit) {
          failure_ = too_many_items;
          return -1;
        }
      } else {
        // A key must be a string; refuse any other value at its first byte.
        items += 2;
        if (items > item_limit) {
          failure_ = too_many_items;
          return -1;
        }
        if (!bencode_detail::is_digit(*p)) return -1;
        const char* data = nullptr;
        int size = 0;
        bool canonical = true;
        const int n = bencode_detail::scan_string(p, static_cast<int>(end - p), data, size, canonical);
        if (n < 0) return -1;
        const std::string_view key(data, static_cast<std::size_t>(size));
        if (!canonical || (c.last_key.data() != nullptr && !key_less(c.last_key, key))) c.canonical = false;
        c.last_key = key;
        push(data, static_cast<std::size_t>(size), bc_token::STRING);
        p += n;
        // The key's value follows.
        if (p == end) return -1;
      }
    }

    // A value starts at p.
    const int rest = static_cast<int>(end - p);
    const char first = *p;
    if (first == 'l' || first == 'd') {
      if (rest < 2) return -1;
      if (static_cast<int>(open.size()) >= depth_limit) {
        failure_ = too_deep;
        return -1;
      }
      open.push_back(open_container{static_cast<std::uint32_t>(count_), first == 'd', true, {}});
      push(p, 0, first == 'd' ? bc_token::DICT : bc_token::LIST);
      ++p;
      continue;
    }
    if (first == 'i') {
      std::int64_t value = 0;
      bool canonical = true;
      const int n = bencode_detail::scan_int(p, rest, value, canonical);
      if (n < 0) return -1;
      if (!canonical) mark_noncanonical();
      push(p, static_cast<std::size_t>(n), bc_token::INT);
      p += n;
    } else if (bencode_detail::is_digit(first)) {
      const char* data = nullptr;
      int size = 0;
      bool canonical = true;
      const int n = bencode_detail::scan_string(p, rest, data, size, canonical);
      if (n < 0) return -1;
      if (!canonical) mark_noncanonical();
      push(data, static_cast<std::size_t>(size), bc_token::STRING);
      p += n;
    } else {
      return -1;
    }
    // A leaf ended: the whole input when it is not inside a container.
    if (open.empty()) return static_cast<int>(p - buf);
  }
}
