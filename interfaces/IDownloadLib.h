// The host library's instance registry and object factory, and the sink
// through which it announces registrations.
#pragma once

#include "platform/unknwn.h"

// The host library does not publish identifiers for these two interfaces (the
// module only ever receives them as pointers); the values below are
// the module's own, so that a host and its test doubles can answer QueryInterface.
// {FF720815-A8D3-4977-AE8E-2C326392C921}
inline constexpr IID IID_IDownloadLib = {0xFF720815, 0xA8D3, 0x4977, {0xAE, 0x8E, 0x2C, 0x32, 0x63, 0x92, 0xC9, 0x21}};
// {368691DC-EC6C-4AF1-8B93-271A1872F5A4}
inline constexpr IID IID_IDownloadLibEvents = {0x368691DC, 0xEC6C, 0x4AF1, {0x8B, 0x93, 0x27, 0x1A, 0x18, 0x72, 0xF5, 0xA4}};

// Registration sink. Implemented by the shell; called by the host library
// whenever an object is published in or withdrawn from its registry.
struct IDownloadLibEvents : IUnknown {
  // slot 3
  virtual HRESULT STDMETHODCALLTYPE OnRegisterInstance(REFIID riid, IUnknown* object) = 0;
  // slot 4
  virtual HRESULT STDMETHODCALLTYPE OnUnregisterInstance(REFIID riid) = 0;
  // slots 5, 6: unused by both sides; answer S_OK.
  virtual HRESULT STDMETHODCALLTYPE OnReserved1() = 0;
  virtual HRESULT STDMETHODCALLTYPE OnReserved2() = 0;
};

// The host library. Implemented by the host; called by the plugin (Init and
// Uninit), the shell and the proxy tasks through the module's context.
// Slots 5 to 7 and 11 belong to the host and are never called by the module;
// the placeholders keep the later slots at their numbers.
struct IDownloadLib : IUnknown {
  // slot 3: registrations are delivered to `sink` from now on.
  virtual HRESULT STDMETHODCALLTYPE AttachEvents(IDownloadLibEvents* sink) = 0;
  // slot 4
  virtual HRESULT STDMETHODCALLTYPE DetachEvents(IDownloadLibEvents* sink) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved5() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved6() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved7() = 0;
  // slot 8: publishes `object` under `riid`.
  virtual HRESULT STDMETHODCALLTYPE RegisterInstance(REFIID riid, IUnknown* object) = 0;
  // slot 9
  virtual HRESULT STDMETHODCALLTYPE UnregisterInstance(REFIID riid) = 0;
  // slot 10: on success stores an AddRef'd pointer to the object registered
  // under `riid`. A failure code, or success with a null pointer, means that
  // nothing is registered there.
  virtual HRESULT STDMETHODCALLTYPE GetInstance(REFIID riid, void** ppv) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved11() = 0;
  // slot 12: creates an object of the host's class `clsid` (the host service).
  virtual HRESULT STDMETHODCALLTYPE CreateInstance(REFCLSID clsid, REFIID riid, void** ppv) = 0;
};
