// Loads a plugin module by path and drives its plugin object the way the
// host library does: DllGetClassObject -> class factory -> CreateInstance of
// CLSID_DownloadLibPlugin -> Init(host); the shell is then taken from the
// host's registry under IID_IBitTorrent. unload() reverses it and closes the
// module once DllCanUnloadNow answers S_OK.
#pragma once

#include <string>

#include "interfaces/IBitTorrent.h"
#include "interfaces/IDownloadLibPlugin.h"
#include "platform/com_ptr.h"

// load(): the file cannot be opened (HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)).
inline constexpr HRESULT PH_E_MODULE_NOT_FOUND = static_cast<HRESULT>(0x8007007Eu);
// load(): DllGetClassObject or DllCanUnloadNow is missing (HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND)).
inline constexpr HRESULT PH_E_ENTRY_POINT_MISSING = static_cast<HRESULT>(0x8007007Fu);

class plugin_host {
 public:
  // Holds one reference on `host` for its whole life.
  explicit plugin_host(IDownloadLib* host);
  ~plugin_host();
  plugin_host(const plugin_host&) = delete;
  plugin_host& operator=(const plugin_host&) = delete;

  // S_OK with plugin() and shell() set. On failure everything done so far is
  // undone and the failing step's code returned (E_UNEXPECTED when a plugin
  // is loaded already); last_error() says what failed.
  HRESULT load(const std::string& path);
  // Uninit, releases the plugin and the shell, asks DllCanUnloadNow: S_OK
  // when the module was closed, S_FALSE when it is still in use (it stays
  // open; a later unload() asks again). S_OK when nothing is loaded.
  HRESULT unload();

  IDownloadLibPlugin* plugin() const { return plugin_.get(); }
  IBitTorrent2* shell() const { return shell_.get(); }
  bool module_open() const { return handle_ != nullptr; }
  // DllCanUnloadNow of the open module; E_UNEXPECTED when none is open.
  HRESULT can_unload_now() const;
  // The module's own DllGetClassObject, for tests of the factory.
  HRESULT get_class_object(REFCLSID clsid, REFIID riid, void** ppv) const;
  const std::string& last_error() const { return last_error_; }

 private:
  HRESULT fail(HRESULT hr, std::string what);
  HRESULT close_if_unused();

  com_ptr<IDownloadLib> host_;
  void* handle_ = nullptr;
  HRESULT (*get_class_object_)(REFCLSID, REFIID, void**) = nullptr;
  HRESULT (*can_unload_now_)() = nullptr;
  com_ptr<IDownloadLibPlugin> plugin_;
  com_ptr<IBitTorrent2> shell_;
  bool initialised_ = false;
  std::string last_error_;
};
