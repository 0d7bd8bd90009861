// A bencoded integer: "i" digits "e", one signed 64-bit value.
#pragma once

#include "bencode/CQBCObj.h"

class CQBCInt : public CQBCObj {
 public:
  CQBCInt() = default;
  explicit CQBCInt(std::int64_t value) : value_(value) {}

  std::uint32_t type() const override { return BC_INT; }
  using CQBCObj::parse;
  // Accepts leading zeros, "-0" and a lone "-" (0). Digits accumulate with
  // 64-bit wrap-around; there is no overflow check.
  int parse(const char* buf, int len) override;
  void encode_to(CQBCSink& out) const override;

  std::int64_t value() const { return value_; }
  void set_value(std::int64_t value) { value_ = value; }

 private:
  std::int64_t value_ = 0;
};
