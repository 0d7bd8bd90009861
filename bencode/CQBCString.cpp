#include "bencode/CQBCString.h"

#include "bencode/bc_scan.h"

int CQBCString::parse(const char* buf, int len) {
  const char* data = nullptr;
  int size = 0;
  bool canonical = true;
  const int consumed = bencode_detail::scan_string(buf, len, data, size, canonical);
  if (consumed < 0) return -1;
  value_.assign(data, static_cast<std::size_t>(size));
  return consumed;
}

void CQBCString::encode_to(CQBCSink& out) const {
  char text[24];
  int n = bencode_detail::format_int64(static_cast<std::int64_t>(value_.size()), text);
  text[n++] = ':';
  out.write(text, static_cast<std::size_t>(n));
  out.write(value_.data(), value_.size());
}
