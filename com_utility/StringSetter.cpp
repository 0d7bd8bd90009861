#include "com_utility/StringSetter.h"

CStringSetter::CStringSetter(std::string* target) : CUnknownSingleThread("CStringSetter"), m_target(target) {}

HRESULT CStringSetter::QueryInterface(REFIID riid, void** ppv) {
  return query_single_interface<IStringSetter>(this, IID_IStringSetter, riid, ppv);
}

HRESULT CStringSetter::SetString(ULONG len, const char* data) {
  *m_target = to_std_string(tagSTRING{len, data});
  return S_OK;
}

CStringArraySetter::CStringArraySetter(std::vector<std::string>* target)
    : CUnknownSingleThread("CStringArraySetter"), m_target(target) {}

HRESULT CStringArraySetter::QueryInterface(REFIID riid, void** ppv) {
  return query_single_interface<IStringArraySetter>(this, IID_IStringArraySetter, riid, ppv);
}

HRESULT CStringArraySetter::SetStringArray(tagSTRING_ARRAY array) {
  m_target->clear();
  if (!array.items) return S_OK;
  m_target->reserve(array.count);
  for (ULONG i = 0; i < array.count; ++i) m_target->push_back(to_std_string(array.items[i]));
  return S_OK;
}
