#include "com_utility/StringSetter.h"

#include <log4cplus/logger.h>

#include "com_utility/com_boundary.h"

namespace {

log4cplus::Logger& logger() {
  static log4cplus::Logger instance = log4cplus::Logger::getInstance("CStringSetter");
  return instance;
}

}  // namespace

CStringSetter::CStringSetter(std::string* target) : CUnknownSingleThread("CStringSetter"), m_target(target) {}

HRESULT CStringSetter::QueryInterface(REFIID riid, void** ppv) {
  return query_single_interface<IStringSetter>(this, IID_IStringSetter, riid, ppv);
}

HRESULT CStringSetter::SetString(ULONG len, const char* data) {
  return com_boundary(logger(), this, "SetString", [&] {
    *m_target = to_std_string(tagSTRING{len, data});
    return S_OK;
  });
}

CStringArraySetter::CStringArraySetter(std::vector<std::string>* target)
    : CUnknownSingleThread("CStringArraySetter"), m_target(target) {}

HRESULT CStringArraySetter::QueryInterface(REFIID riid, void** ppv) {
  return query_single_interface<IStringArraySetter>(this, IID_IStringArraySetter, riid, ppv);
}

HRESULT CStringArraySetter::SetStringArray(tagSTRING_ARRAY array) {
  return com_boundary(logger(), this, "SetStringArray", [&] {
    // Built aside, so that the target is either replaced or left as it was.
    std::vector<std::string> strings;
    if (array.items) {
      strings.reserve(array.count);
      for (ULONG i = 0; i < array.count; ++i) strings.push_back(to_std_string(array.items[i]));
    }
    m_target->swap(strings);
    return S_OK;
  });
}
