// A bencoded dictionary: "d" (string key, value)... "e". Owns its values;
// keys are unique and ordered byte-wise (a prefix sorts first).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bencode/CQBCObj.h"

class bc_node;

class CQBCDict : public CQBCObj {
 public:
  // Entries sorted by key: one allocation per dictionary, not one per entry.
  using entry = std::pair<std::string, CQBCObj*>;
  using container = std::vector<entry>;

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
  // Replaces the contents with those of a decoded dictionary.
  void assign(const bc_node& dict);
  // The value stored under `key` (still owned by the dictionary), or null.
  CQBCObj* lookup(std::string_view key) const;

  const container& items() const { return items_; }
  container::const_iterator begin() const { return items_.begin(); }
  container::const_iterator end() const { return items_.end(); }
  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }

 private:
  // Sorts entries appended out of order and keeps the last of equal keys.
  void normalise();

  container items_;
};
