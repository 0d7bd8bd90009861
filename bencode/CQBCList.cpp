#include "bencode/CQBCList.h"

#include <memory>

#include "bencode/bc_factory.h"
#include "bencode/bc_node.h"

CQBCList::~CQBCList() { clear(); }

void CQBCList::clear() {
  for (CQBCObj* item : items_) delete item;
  items_.clear();
}

void CQBCList::push_back(CQBCObj* value) {
  std::unique_ptr<CQBCObj> owner(value);
  items_.push_back(value);
  owner.release();
}

void CQBCList::assign(const bc_node& list) {
  clear();
  items_.reserve(list.size());
  for (bc_node item : list.elements()) push_back(bc_make_object(item));
}

int CQBCList::parse(const char* buf, int len) {
  if (buf == nullptr || len < 2 || buf[0] != 'l') return -1;
  // A failed or empty parse also drops what an earlier one left, so that
  // the value always reflects the last input.
  clear();
  bc_document doc;
  const int consumed = doc.parse(buf, len);
  if (consumed > 0) assign(doc.root());
  return consumed;
}

void CQBCList::encode_to(CQBCSink& out) const {
  out.put('l');
  for (const CQBCObj* item : items_) item->encode_to(out);
  out.put('e');
}
