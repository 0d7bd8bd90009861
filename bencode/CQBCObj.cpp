#include "bencode/CQBCObj.h"

#include <climits>

int CQBCObj::parse(const std::string& s) {
  if (s.size() > static_cast<std::size_t>(INT_MAX)) return -1;
  return parse(s.data(), static_cast<int>(s.size()));
}

std::string CQBCObj::encode() const {
  std::string out;
  CQBCStringSink sink(out);
  encode_to(sink);
  return out;
}
