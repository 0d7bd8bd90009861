// The root COM interface and the class factory.
#pragma once

#include "platform/guid.h"
#include "platform/winerror.h"

// {00000000-0000-0000-C000-000000000046}
inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {00000001-0000-0000-C000-000000000046}
inline constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Interfaces are structs of pure virtual functions with no virtual
// destructor: declaration order is slot order.
struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;
};

struct IClassFactory : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) = 0;
  virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) = 0;
};

// QueryInterface of an object that serves one interface: `self` (AddRef'd)
// for IID_IUnknown or `own`, E_NOINTERFACE otherwise.
template <class I>
HRESULT query_single_interface(I* self, REFIID own, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (!IsEqualIID(riid, own) && !IsEqualIID(riid, IID_IUnknown)) return E_NOINTERFACE;
  *ppv = self;
  self->AddRef();
  return S_OK;
}
