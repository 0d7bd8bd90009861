// A bencoded list: "l" values "e". Owns its elements, kept in file order
// (one array of pointers: one allocation per list, not one per element).
#pragma once

#include <vector>

#include "bencode/CQBCObj.h"

class bc_node;

class CQBCList : public CQBCObj {
 public:
  using container = std::vector<CQBCObj*>;

  CQBCList() = default;
  ~CQBCList() override;

  std::uint32_t type() const override { return BC_LIST; }
  using CQBCObj::parse;
  int parse(const char* buf, int len) override;
  void encode_to(CQBCSink& out) const override;

  // Deletes every element.
  void clear();
  // Takes ownership of `value` (not null).
  void push_back(CQBCObj* value);
  // Replaces the contents with those of a decoded list.
  void assign(const bc_node& list);

  const container& items() const { return items_; }
  container::const_iterator begin() const { return items_.begin(); }
  container::const_iterator end() const { return items_.end(); }
  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }

 private:
  container items_;
};
