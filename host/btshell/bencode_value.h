// Bencoded values on btshell's side: what `btshell create` writes into a
// seed, and a decoder for what `btshell verify` needs besides the module's
// ParseSeedFile (which has checked the seed first): the piece length and
// hashes, and the files through the naming rule (common/seed_naming.h,
// read_seed_layout) over the view below.
//
// Plain values; the decoded ones point into the bytes they were read from,
// which must outlive them. Callable from any thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/seed_naming.h"

namespace btshell {

// A value to encode: a dictionary's keys are written in byte order, as
// canonical bencoding has them.
struct bencode_out {
  enum class kind { integer, string, list, dict, raw } type = kind::string;  // raw: `text` is encoded already
  std::int64_t integer = 0;
  std::string text;
  std::vector<bencode_out> list;
  std::map<std::string, bencode_out> dict;

  static bencode_out of(std::int64_t n);
  static bencode_out of(std::string s);
  static bencode_out list_of(std::vector<bencode_out> items);
  static bencode_out dict_of() { bencode_out d; d.type = kind::dict; return d; }
};

// Appends the encoding of `value` to `out`.
void encode(const bencode_out& value, std::string& out);

// A decoded value.
struct bencode_in {
  seed_node_kind kind = seed_node_kind::none;
  std::int64_t integer = 0;
  std::string_view text;
  std::vector<bencode_in> items;                                  // a list's
  std::vector<std::pair<std::string_view, bencode_in>> entries;  // a dictionary's, in their order
  bool canonical = true;  // sorted keys, canonical integers, all the way down
};

// Decodes the one value that `bytes` holds; false when it is not valid
// bencode (or nests deeper than kSeedMaxDepth).
bool decode(std::string_view bytes, bencode_in& out);

// The naming rule's view of a decoded value (see common/seed_naming.h).
class bencode_node {
 public:
  bencode_node() = default;
  explicit bencode_node(const bencode_in* value) : value_(value) {}

  seed_node_kind kind() const { return value_ ? value_->kind : seed_node_kind::none; }
  std::int64_t integer() const { return value_->integer; }
  std::string_view text() const { return value_->text; }
  std::size_t count() const { return value_->items.size(); }
  template <class F>
  void each(F f) const {
    for (const bencode_in& item : value_->items)
      if (!f(bencode_node(&item))) return;
  }
  seed_lookup lookup(std::string_view key, bencode_node& out) const;
  bool canonical() const { return value_->canonical; }

 private:
  const bencode_in* value_ = nullptr;
};

}  // namespace btshell
