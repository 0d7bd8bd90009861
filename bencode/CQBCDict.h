// A bencoded dictionary: "d" (string key, value)... "e". Owns its values;
// keys are unique and ordered byte-wise (a prefix sorts first).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bencode/CQBCObj.h"

class CQBCDict : public CQBCObj {
 public:
  // Entries sorted by key: one allocation per dictionary, not one per entry.
  using entry = std::pair<std::string, CQBCObj*>;
  using container = std::vector<entry, bencode_detail::bc_allocator<entry>>;

  CQBCDict() = default;
  ~CQBCDict() override;

  std::uint32_t type() const override { return BC_DICT; }
  using CQBCObj::parse;
  // Keys may come in any order; a repeated key keeps its last value.
  int parse(const char* buf, int len) override;
  void encode_to(CQBCSink& out) const override;

  // Deletes every value.
  void clear();
  // Stores `value` (not null, now owned) under `key`, deleting a value the
  // key held before.
  void set(std::string key, CQBCObj* value);
  // The value stored under `key` (still owned by the dictionary), or null.
  CQBCObj* lookup(std::string_view key) const;

  // Set by the last successful parse: whether the parsed bytes were already
  // in canonical form (then they equal encode()), and where they stood,
  // counted from the start of the outermost container of that parse.
  bool parsed_canonical() const { return canonical_; }
  std::int64_t parsed_offset() const { return parsed_offset_; }
  int parsed_size() const { return parsed_size_; }

  const container& items() const { return items_; }
  container::const_iterator begin() const { return items_.begin(); }
  container::const_iterator end() const { return items_.end(); }
  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }

 private:
  // Parses the entries after "d"; the offset past the closing "e", or -1.
  int parse_entries(const char* buf, int len, bool& sorted);
  // Sorts entries appended out of order and keeps the last of equal keys.
  void normalise();

  container items_;
  bool canonical_ = false;
  std::int64_t parsed_offset_ = -1;
  int parsed_size_ = 0;
};
