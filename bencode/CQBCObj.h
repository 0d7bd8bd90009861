// Bencoded values as objects: the abstract base of integers, strings, lists
// and dictionaries.
//
// A value parses itself from a byte buffer and writes itself back in
// canonical bencoded form. Parsing never throws (but std::bad_alloc) and
// never logs: it returns the number of bytes consumed, or -1 for malformed
// input. Lists and dictionaries decode through bc_document, with its limits
// on nesting and items.
#pragma once

#include <cstdint>
#include <string>

#include "bencode/CQBCSink.h"

class CQBCObj {
 public:
  enum : std::uint32_t { BC_INT = 0, BC_STRING = 1, BC_LIST = 2, BC_DICT = 3 };

  virtual ~CQBCObj() = default;
  virtual std::uint32_t type() const = 0;
  // Bytes consumed (> 0) or -1.
  virtual int parse(const char* buf, int len) = 0;
  virtual int parse(const std::string& s);
  // The canonical bencoded form.
  virtual std::string encode() const;
  // The same bytes, written piecewise into `out`.
  virtual void encode_to(CQBCSink& out) const = 0;

 protected:
  CQBCObj() = default;
  CQBCObj(const CQBCObj&) = delete;
  CQBCObj& operator=(const CQBCObj&) = delete;
};
