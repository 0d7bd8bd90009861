#include "bencode/bc_factory.h"

#include "bencode/CQBCDict.h"
#include "bencode/CQBCInt.h"
#include "bencode/CQBCList.h"
#include "bencode/CQBCString.h"

int bc_create_object(const char* buf, int len, CQBCObj** out) {
  if (buf == nullptr || len < 1 || out == nullptr) return -1;
  CQBCObj* value = nullptr;
  const char first = buf[0];
  if (first == 'i') {
    value = new CQBCInt;
  } else if (first == 'l') {
    value = new CQBCList;
  } else if (first == 'd') {
    value = new CQBCDict;
  } else if (first >= '0' && first <= '9') {
    value = new CQBCString;
  } else {
    return -1;
  }
  const int consumed = value->parse(buf, len);
  if (consumed < 0) {
    delete value;
    return consumed;
  }
  *out = value;
  return consumed;
}
