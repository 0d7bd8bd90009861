// The host runtime: a small real implementation of the host library that the
// plugin module relies on. It keeps the instance registry and tells attached
// IDownloadLibEvents sinks of every registration and withdrawal, creates the
// host service, and owns the module downloader and, on request, the P2P hub.
//
// Objects registered here are held by one counted reference each. GetInstance
// answers with the registered object's QueryInterface for the asked IID.
// Sinks are called outside the registry's lock, so a sink may call back into
// the registry.
//
// The runtime ends with shutdown() (or its last Release): every registration
// is withdrawn (newest first, sinks told), then the installed modules are
// unloaded, newest first.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "com_utility/EventsRaiser.h"
#include "com_utility/UnknownBase.h"
#include "interfaces/IDownloadLib.h"
#include "platform/com_ptr.h"
#include "platform/critical_section.h"

class host_service;
class module_downloader;
class p2p_hub;

// GetInstance / UnregisterInstance: nothing is registered under that IID
// (HRESULT_FROM_WIN32(ERROR_NOT_FOUND)).
inline constexpr HRESULT DL_E_NOT_REGISTERED = static_cast<HRESULT>(0x80070490u);
// CreateInstance: the host has no such class (REGDB_E_CLASSNOTREG).
inline constexpr HRESULT DL_E_CLASS_NOT_REGISTERED = static_cast<HRESULT>(0x80040154u);

struct download_lib_options {
  // Folder that holds the installable modules (lib<name>.so).
  std::string modules_dir;
  // Without a module downloader nothing is registered under IID_IModuleDownloader.
  bool module_downloader = true;
  // Without a host service CreateInstance(CLSID_HostService) fails.
  bool host_service = true;
  // Registers the stand-in P2P hub under IID_IP2p at once.
  bool p2p_hub = false;
};

class download_lib : public IDownloadLib, public CUnknownMultiThread {
 public:
  // The caller holds the one reference of the new runtime.
  static com_ptr<download_lib> create(download_lib_options options = {});

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return CUnknownMultiThread::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return CUnknownMultiThread::Release(); }

  HRESULT STDMETHODCALLTYPE AttachEvents(IDownloadLibEvents* sink) override;
  HRESULT STDMETHODCALLTYPE DetachEvents(IDownloadLibEvents* sink) override;
  HRESULT STDMETHODCALLTYPE Reserved5() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved6() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved7() override { return E_NOTIMPL; }
  // E_POINTER for a null object; an earlier registration under the IID is
  // replaced (and released after the sinks were told).
  HRESULT STDMETHODCALLTYPE RegisterInstance(REFIID riid, IUnknown* object) override;
  // DL_E_NOT_REGISTERED when nothing is registered under the IID.
  HRESULT STDMETHODCALLTYPE UnregisterInstance(REFIID riid) override;
  // DL_E_NOT_REGISTERED (and null) when nothing is registered under the IID.
  HRESULT STDMETHODCALLTYPE GetInstance(REFIID riid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE Reserved11() override { return E_NOTIMPL; }
  // CLSID_HostService gives the runtime's one host service.
  HRESULT STDMETHODCALLTYPE CreateInstance(REFCLSID clsid, REFIID riid, void** ppv) override;

  // Host side. Null when the runtime was configured without the object.
  module_downloader* downloader() const { return downloader_.get(); }
  host_service* service() const { return service_.get(); }
  // Null until register_p2p_hub().
  p2p_hub* hub() const { return hub_.get(); }
  // Creates the P2P hub on first use and (re)registers it under IID_IP2p.
  p2p_hub* register_p2p_hub();

  bool is_registered(REFIID riid) const;
  // How often GetInstance was asked for `riid`.
  std::size_t lookup_count(REFIID riid) const;
  std::size_t registered_count() const;
  std::size_t sink_count() const { return events_.sink_count(); }
  const download_lib_options& options() const { return options_; }

  // Withdraws every registration and unloads the installed modules. Later
  // calls do nothing; the registry keeps working for the caller afterwards.
  void shutdown();

 private:
  explicit download_lib(download_lib_options options);
  ~download_lib() override;

  using entry = std::pair<IID, com_ptr<IUnknown>>;

  download_lib_options options_;
  mutable platform::critical_section lock_;
  std::vector<entry> registry_;  // in registration order
  std::map<std::string, std::size_t> lookups_;  // GetInstance calls by IID text
  CEventsRaiser<IDownloadLibEvents, 0xFFFFFFFF> events_;
  com_ptr<module_downloader> downloader_;
  com_ptr<host_service> service_;
  com_ptr<p2p_hub> hub_;
  bool shut_down_ = false;
};
