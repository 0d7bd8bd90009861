#include "bencode/CQBCList.h"

#include <memory>

#include "bencode/bc_factory.h"

CQBCList::~CQBCList() { clear(); }

void CQBCList::clear() {
  for (CQBCObj* item : items_) delete item;
  // The storage goes too: it may belong to an arena that is about to go.
  container().swap(items_);
}

void CQBCList::push_back(CQBCObj* value) {
  std::unique_ptr<CQBCObj> owner(value);
  items_.push_back(value);
  owner.release();
}

int CQBCList::parse(const char* buf, int len) {
  if (buf == nullptr || len < 2 || buf[0] != 'l') return -1;
  // Every container counts as one level, an empty one too.
  bencode_detail::nesting_guard level(buf);
  if (!level.ok()) return -1;
  // An empty list also drops what an earlier parse left, so that the value
  // always reflects the last input.
  clear();
  if (buf[1] == 'e') return 2;
  items_.reserve(4);
  int position = 1;
  do {
    CQBCObj* item = nullptr;
    const int consumed =
        bencode_detail::count_items(1) ? bc_create_object(buf + position, len - position, &item) : -1;
    if (consumed < 1 || consumed >= len - position) {
      delete item;
      clear();
      return -1;
    }
    push_back(item);
    position += consumed;
  } while (buf[position] != 'e');
  return position + 1;
}

void CQBCList::encode_to(CQBCSink& out) const {
  out.put('l');
  for (const CQBCObj* item : items_) item->encode_to(out);
  out.put('e');
}
