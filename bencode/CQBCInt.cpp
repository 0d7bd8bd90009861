#include "bencode/CQBCInt.h"

#include "bencode/bc_scan.h"

int CQBCInt::parse(const char* buf, int len) {
  bool canonical = true;
  std::int64_t value = 0;
  const int consumed = bencode_detail::scan_int(buf, len, value, canonical);
  if (consumed > 0) value_ = value;
  return consumed;
}

void CQBCInt::encode_to(CQBCSink& out) const {
  char text[24];
  text[0] = 'i';
  int n = 1 + bencode_detail::format_int64(value_, text + 1);
  text[n++] = 'e';
  out.write(text, static_cast<std::size_t>(n));
}
