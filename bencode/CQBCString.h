// A bencoded byte string: decimal length ":" bytes.
#pragma once

#include "bencode/CQBCObj.h"

class CQBCString : public CQBCObj {
 public:
  CQBCString() = default;
  explicit CQBCString(std::string value) : value_(std::move(value)) {}

  std::uint32_t type() const override { return BC_STRING; }
  using CQBCObj::parse;
  // The length is read the way a stream extracts an int (leading white space,
  // optional sign, digits up to the first other byte; anything between that
  // byte and the colon is ignored). The bytes must lie inside the buffer.
  int parse(const char* buf, int len) override;
  void encode_to(CQBCSink& out) const override;

  const std::string& value() const { return value_; }
  std::string& value() { return value_; }

 private:
  std::string value_;
};
