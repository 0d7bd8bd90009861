// A bencoded list: "l" values "e". Owns its elements, kept in file order.
#pragma once

#include <list>

#include "bencode/CQBCObj.h"

class CQBCList : public CQBCObj {
 public:
  using container = std::list<CQBCObj*>;

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

  const container& items() const { return items_; }
  container::const_iterator begin() const { return items_.begin(); }
  container::const_iterator end() const { return items_.end(); }
  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }

 private:
  container items_;
};
