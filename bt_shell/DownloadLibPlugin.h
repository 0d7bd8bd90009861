// CDownloadLibPlugin: the module's one creatable class.
//
// The host creates it through the module's class factory and calls Init with
// its own interface pointer: the plugin then holds the module-wide host
// pointers (module_host.h), creates the shell and publishes it under
// IID_IBitTorrent. Uninit takes all of this down again; the shell lives on
// until the host releases its last reference to it.
#pragma once

#include "bt_shell/BtShell.h"
#include "com_utility/UnknownBase.h"
#include "interfaces/IDownloadLibPlugin.h"

class CDownloadLibPlugin : public CUnknownMultiThread, public IDownloadLibPlugin {
 public:
  CDownloadLibPlugin();
  ~CDownloadLibPlugin() override;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return CUnknownMultiThread::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return CUnknownMultiThread::Release(); }

  HRESULT STDMETHODCALLTYPE GetPluginValue(ULONG* value) override;
  // Binds the module to `host`. Init while the module is bound (by this or
  // another plugin object) does nothing.
  HRESULT STDMETHODCALLTYPE Init(IDownloadLib* host) override;
  // Unbinds; a plugin that did not bind the module does nothing.
  HRESULT STDMETHODCALLTYPE Uninit() override;
  HRESULT STDMETHODCALLTYPE QueryPluginStatus() override;

  CBtShell* shell() const { return m_shell; }

 private:
  // The shell made by Init, with its creation reference.
  CBtShell* m_shell = nullptr;
};
