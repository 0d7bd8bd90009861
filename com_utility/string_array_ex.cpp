#include "com_utility/string_array_ex.h"

#include <cstring>

STRING_ARRAY_EX::STRING_ARRAY_EX(const std::vector<std::string>& strings, bool copy)
    : tagSTRING_ARRAY{0, nullptr}, owns(copy) {
  if (strings.empty()) return;
  items = new tagSTRING[strings.size()];
  count = static_cast<ULONG>(strings.size());
  for (std::size_t i = 0; i < strings.size(); ++i) {
    const std::string& s = strings[i];
    tagSTRING& item = items[i];
    item.len = static_cast<ULONG>(s.size());
    if (!copy) {
      item.ptr = s.c_str();
    } else if (s.empty()) {
      item.ptr = nullptr;
    } else {
      char* buffer = new char[s.size() + 1];
      std::memcpy(buffer, s.data(), s.size());
      buffer[s.size()] = '\0';
      item.ptr = buffer;
    }
  }
}

STRING_ARRAY_EX::~STRING_ARRAY_EX() {
  if (count == 0) return;
  if (owns) {
    for (ULONG i = 0; i < count; ++i)
      if (items[i].len != 0 && items[i].ptr) delete[] items[i].ptr;
  }
  delete[] items;
  count = 0;
  items = nullptr;
}
