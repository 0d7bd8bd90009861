#include "host/btshell/bencode_value.h"

namespace btshell {

bencode_out bencode_out::of(std::int64_t n) {
  bencode_out v;
  v.type = kind::integer;
  v.integer = n;
  return v;
}

bencode_out bencode_out::of(std::string s) {
  bencode_out v;
  v.text = std::move(s);
  return v;
}

bencode_out bencode_out::list_of(std::vector<bencode_out> items) {
  bencode_out v;
  v.type = kind::list;
  v.list = std::move(items);
  return v;
}

void encode(const bencode_out& value, std::string& out) {
  switch (value.type) {
    case bencode_out::kind::integer:
      out += 'i' + std::to_string(value.integer) + 'e';
      return;
    case bencode_out::kind::string:
      out += std::to_string(value.text.size()) + ':' + value.text;
      return;
    case bencode_out::kind::raw:
      out += value.text;
      return;
    case bencode_out::kind::list:
      out += 'l';
      for (const bencode_out& item : value.list) encode(item, out);
      out += 'e';
      return;
    case bencode_out::kind::dict:
      out += 'd';
      for (const auto& [key, item] : value.dict) {
        out += std::to_string(key.size()) + ':' + key;
        encode(item, out);
      }
      out += 'e';
      return;
  }
}

namespace {

class decoder {
 public:
  explicit decoder(std::string_view bytes) : bytes_(bytes) {}

  bool value(bencode_in& out, int depth) {
    if (at_ >= bytes_.size() || depth > kSeedMaxDepth) return false;
    const char c = bytes_[at_];
    if (c == 'i') {
      ++at_;
      const std::size_t start = at_;
      if (!number(out.integer, true)) return false;
      const std::string_view digits = bytes_.substr(start, at_ - start);
      out.canonical = digits != "-0" && !(digits.size() > 1 && digits[0] == '0') &&
                      !(digits.size() > 2 && digits[0] == '-' && digits[1] == '0');
      out.kind = seed_node_kind::integer;
      return expect('e');
    }
    if (c == 'l' || c == 'd') {
      ++at_;
      out.kind = c == 'l' ? seed_node_kind::list : seed_node_kind::dict;
      while (at_ < bytes_.size() && bytes_[at_] != 'e') {
        if (out.kind == seed_node_kind::list) {
          out.items.emplace_back();
          if (!value(out.items.back(), depth + 1)) return false;
          out.canonical = out.canonical && out.items.back().canonical;
          continue;
        }
        std::string_view key;
        if (!string(key)) return false;
        if (!out.entries.empty() && !(out.entries.back().first < key)) out.canonical = false;
        out.entries.emplace_back(key, bencode_in());
        if (!value(out.entries.back().second, depth + 1)) return false;
        out.canonical = out.canonical && out.entries.back().second.canonical;
      }
      return expect('e');
    }
    out.kind = seed_node_kind::string;
    return string(out.text);
  }

  bool done() const { return at_ == bytes_.size(); }

 private:
  bool expect(char c) {
    if (at_ >= bytes_.size() || bytes_[at_] != c) return false;
    ++at_;
    return true;
  }

  // Decimal digits (after a '-' when `sign`), at most 18 of them.
  bool number(std::int64_t& n, bool sign) {
    const bool negative = sign && at_ < bytes_.size() && bytes_[at_] == '-';
    if (negative) ++at_;
    const std::size_t start = at_;
    n = 0;
    while (at_ < bytes_.size() && bytes_[at_] >= '0' && bytes_[at_] <= '9' && at_ - start < 18)
      n = n * 10 + (bytes_[at_++] - '0');
    if (at_ == start || (at_ < bytes_.size() && bytes_[at_] >= '0' && bytes_[at_] <= '9')) return false;
    if (negative) n = -n;
    return true;
  }

  bool string(std::string_view& out) {
    std::int64_t length = 0;
    if (!number(length, false) || !expect(':') || length > static_cast<std::int64_t>(bytes_.size() - at_))
      return false;
    out = bytes_.substr(at_, static_cast<std::size_t>(length));
    at_ += static_cast<std::size_t>(length);
    return true;
  }

  std::string_view bytes_;
  std::size_t at_ = 0;
};

}  // namespace

bool decode(std::string_view bytes, bencode_in& out) {
  out = bencode_in();
  decoder d(bytes);
  return d.value(out, 0) && d.done();
}

seed_lookup bencode_node::lookup(std::string_view key, bencode_node& out) const {
  seed_lookup found = seed_lookup::absent;
  if (!value_ || value_->kind != seed_node_kind::dict) return found;
  for (const auto& [name, item] : value_->entries) {
    if (name != key) continue;
    if (found == seed_lookup::found) return seed_lookup::repeated;
    found = seed_lookup::found;
    out = bencode_node(&item);
  }
  return found;
}

}  // namespace btshell
