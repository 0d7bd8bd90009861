// A bencoded dictionary: "d" (string key, value)... "e". Owns its values;
// keys are unique and ordered byte-wise (a prefix sorts first).
#pragma once

#include <map>

#include "bencode/CQBCObj.h"

class CQBCDict : public CQBCObj {
 public:
  using container = std::map<std::string, CQBCObj*>;

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
  CQBCObj* lookup(const std::string& key) const;

  const container& items() const { return items_; }
  container::const_iterator begin() const { return items_.begin(); }
  container::const_iterator end() const { return items_.end(); }
  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }

 private:
  container items_;
};
