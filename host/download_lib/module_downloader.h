// The host's module downloader: a small real implementation of what the
// plugin module relies on. "Installing" a module means loading
// <modules dir>/lib<name>.so and letting it register itself with the host
// (see interfaces/module_entry.h).
//
// RequestDownload only queues the request and returns. The host ends the
// queued requests by pumping complete_pending(), on its own thread and never
// from inside RequestDownload: each request is installed, then every attached
// sink receives OnModuleInstallComplete(code, name, major, minor) with the
// requested version. The module registers itself (and the registry's sinks
// hear of it) before the completion is delivered.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "com_utility/EventsRaiser.h"
#include "com_utility/UnknownBase.h"
#include "interfaces/IDownloadLib.h"
#include "interfaces/IModuleDownloader.h"
#include "platform/critical_section.h"

// Completion codes (Win32 error numbers).
namespace module_install {
inline constexpr ULONG ok = 0;
// No lib<name>.so in the modules folder.
inline constexpr ULONG file_not_found = 2;            // ERROR_FILE_NOT_FOUND
// The runtime has no modules folder.
inline constexpr ULONG path_not_found = 3;            // ERROR_PATH_NOT_FOUND
// Empty name, or one that is not a plain file name.
inline constexpr ULONG invalid_name = 123;            // ERROR_INVALID_NAME
// The file lacks DownloadLibModuleLoad or DownloadLibModuleUnload.
inline constexpr ULONG entry_point_missing = 127;     // ERROR_PROC_NOT_FOUND
// dlopen refused the file.
inline constexpr ULONG bad_format = 193;              // ERROR_BAD_EXE_FORMAT
// DownloadLibModuleLoad returned a failure code.
inline constexpr ULONG load_refused = 1114;           // ERROR_DLL_INIT_FAILED
// The runtime was shut down before the request could be served.
inline constexpr ULONG cancelled = 1223;              // ERROR_CANCELLED
}  // namespace module_install

class module_downloader : public IModuleDownloader, public CUnknownMultiThread {
 public:
  struct request {
    std::string name;
    USHORT major = 0;
    USHORT minor = 0;
  };

  // `host` is not counted: its owner ends this downloader (shutdown) before it goes.
  module_downloader(IDownloadLib* host, std::string modules_dir);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return CUnknownMultiThread::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return CUnknownMultiThread::Release(); }
  HRESULT STDMETHODCALLTYPE AttachEvents(IModuleDownloaderEvents* sink) override;
  HRESULT STDMETHODCALLTYPE DetachEvents(IModuleDownloaderEvents* sink) override;
  // S_OK: queued. E_UNEXPECTED after shutdown.
  HRESULT STDMETHODCALLTYPE RequestDownload(tagSTRING module_name, USHORT major_version,
                                            USHORT minor_version) override;

  // Ends the requests queued when the call starts, in order; requests made
  // from inside a completion wait for the next call. Returns how many ended.
  std::size_t complete_pending();
  std::size_t pending_count() const;
  // Every request received, in order.
  std::vector<request> requests() const;
  // Later requests for `name` end with `code` without loading anything; code 0
  // clears the setting.
  void fail_module(const std::string& name, ULONG code);
  bool is_loaded(const std::string& name) const;
  std::size_t sink_count() const { return events_.sink_count(); }

  // Drops the queued requests, unloads the loaded modules newest first and
  // forgets the host. A module still in use stays open until
  // close_lingering_modules() finds it unused (the destructor tries last).
  void shutdown();
  // Asks the modules left open by shutdown() again; returns how many stay open.
  std::size_t close_lingering_modules();

 private:
  struct loaded_module {
    std::string name;
    void* handle = nullptr;
    HRESULT (*unload)() = nullptr;
  };

  ~module_downloader() override;
  ULONG install(const std::string& name);
  // False when the module is still in use and stays open.
  static bool close_module(const loaded_module& module);

  mutable platform::critical_section lock_;
  IDownloadLib* host_;
  std::string modules_dir_;
  std::deque<request> pending_;
  std::vector<request> history_;
  std::map<std::string, ULONG> forced_failures_;
  std::vector<loaded_module> loaded_;    // in load order
  std::vector<loaded_module> lingering_;  // unloaded but still in use
  CEventsRaiser<IModuleDownloaderEvents, 0xFFFFFFFF> events_;
  bool shut_down_ = false;
};
