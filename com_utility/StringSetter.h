// Setters over a caller's own string or string vector: the caller creates
// one for the length of a call, passes the interface to the callee, and
// releases it; the target outlives the setter and is not owned by it.
#pragma once

#include <string>
#include <vector>

#include "com_utility/UnknownBase.h"
#include "interfaces/IStringSetter.h"

class CStringSetter : public IStringSetter, public CUnknownSingleThread {
 public:
  explicit CStringSetter(std::string* target);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return CUnknownSingleThread::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return CUnknownSingleThread::Release(); }
  HRESULT STDMETHODCALLTYPE SetString(ULONG len, const char* data) override;

 private:
  std::string* m_target;
};

class CStringArraySetter : public IStringArraySetter, public CUnknownSingleThread {
 public:
  explicit CStringArraySetter(std::vector<std::string>* target);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return CUnknownSingleThread::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return CUnknownSingleThread::Release(); }
  HRESULT STDMETHODCALLTYPE SetStringArray(tagSTRING_ARRAY array) override;

 private:
  std::vector<std::string>* m_target;
};
