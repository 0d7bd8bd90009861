// The module's one creatable class and the interface the host drives it by.
#pragma once

#include "interfaces/IDownloadLib.h"
#include "platform/unknwn.h"

// {DD208EAA-E9AD-4BFC-A68C-5DFC57B12BAB}
inline constexpr CLSID CLSID_DownloadLibPlugin = {0xDD208EAA, 0xE9AD, 0x4BFC, {0xA6, 0x8C, 0x5D, 0xFC, 0x57, 0xB1, 0x2B, 0xAB}};
// {D2D3CA33-E582-49E9-83D8-A7CBAC3BB187}
inline constexpr IID IID_IDownloadLibPlugin = {0xD2D3CA33, 0xE582, 0x49E9, {0x83, 0xD8, 0xA7, 0xCB, 0xAC, 0x3B, 0xB1, 0x87}};
// Type library id handed to the COM module at load.
// {6D5CA886-4D17-4551-A9A3-7D45A63A9051}
inline constexpr GUID LIBID_bt_shell = {0x6D5CA886, 0x4D17, 0x4551, {0xA9, 0xA3, 0x7D, 0x45, 0xA6, 0x3A, 0x90, 0x51}};

// Implemented by CDownloadLibPlugin; called by the host library, which
// creates the class through the module's class factory, calls Init once,
// later Uninit once, then releases it.
struct IDownloadLibPlugin : IUnknown {
  // slot 3: writes 0.
  virtual HRESULT STDMETHODCALLTYPE GetPluginValue(ULONG* value) = 0;
  // slot 4: binds the module to its host and publishes the shell.
  virtual HRESULT STDMETHODCALLTYPE Init(IDownloadLib* host) = 0;
  // slot 5
  virtual HRESULT STDMETHODCALLTYPE Uninit() = 0;
  // slot 6: S_FALSE.
  virtual HRESULT STDMETHODCALLTYPE QueryPluginStatus() = 0;
};
