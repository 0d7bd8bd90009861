#include "bencode/bc_factory.h"

#include <memory>
#include <string>

#include "bencode/CQBCDict.h"
#include "bencode/CQBCInt.h"
#include "bencode/CQBCList.h"
#include "bencode/CQBCString.h"
#include "bencode/bc_node.h"

int bc_create_object(const char* buf, int len, CQBCObj** out) {
  if (out == nullptr) return -1;
  bc_document doc;
  const int consumed = doc.parse(buf, len);
  if (consumed < 0) return -1;
  *out = bc_make_object(doc.root());
  return consumed;
}

CQBCObj* bc_make_object(const bc_node& node) {
  switch (node.type()) {
    case bc_node::INT:
      return new CQBCInt(node.int_value());
    case bc_node::STRING:
      return new CQBCString(std::string(node.string_value()));
    case bc_node::LIST: {
      auto list = std::make_unique<CQBCList>();
      list->assign(node);
      return list.release();
    }
    case bc_node::DICT: {
      auto dict = std::make_unique<CQBCDict>();
      dict->assign(node);
      return dict.release();
    }
    case bc_node::NONE:
      break;
  }
  return nullptr;
}
