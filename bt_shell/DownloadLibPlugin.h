// CDownloadLibPlugin: the module's one creatable class.
//
// The host creates it through the module's class factory and calls Init with
// its own interface pointer: the plugin then binds the module's context to
// the host (module_context.h), creates the shell on that context and
// publishes it under IID_IBitTorrent. Uninit takes all of this down again;
// the shell lives on until the host releases its last reference to it.
#pragma once

#include <memory>

#include "bt_shell/BtShell.h"
#include "bt_shell/module_context.h"
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
  // Both set by Init and cleared by Uninit: the context this plugin bound,
  // and the shell made on it, with its creation reference.
  std::shared_ptr<module_context> m_context;
  CBtShell* m_shell = nullptr;
};
