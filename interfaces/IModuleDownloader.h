// The host's module downloader: fetches, installs and loads named modules on
// request, and reports each request's end to its sinks.
#pragma once

#include "interfaces/string_types.h"
#include "platform/unknwn.h"

// {94609D51-A3A5-4400-BC47-C7B0ACA40DA9}
inline constexpr IID IID_IModuleDownloader = {0x94609D51, 0xA3A5, 0x4400, {0xBC, 0x47, 0xC7, 0xB0, 0xAC, 0xA4, 0x0D, 0xA9}};
// The host publishes no identifier for the sink interface; this value is
// the module's own.
// {849604F5-FD3F-4E27-926D-850E56E15936}
inline constexpr IID IID_IModuleDownloaderEvents = {0x849604F5, 0xFD3F, 0x4E27, {0x92, 0x6D, 0x85, 0x0E, 0x56, 0xE1, 0x59, 0x36}};

// Completion sink. Implemented by the shell (attached while it waits for the
// kernel module); called by the module downloader once per ended request,
// for every module it handles, after RequestDownload has returned.
struct IModuleDownloaderEvents : IUnknown {
  // slot 3: `error_code` 0 = installed and loaded; `module_name` is not
  // NUL-terminated.
  virtual HRESULT STDMETHODCALLTYPE OnModuleInstallComplete(ULONG error_code, tagSTRING module_name,
                                                            USHORT major_version, USHORT minor_version) = 0;
};

// Implemented by the host; obtained by the plugin's Init under
// IID_IModuleDownloader and called by the shell through the module's context.
// The name under which the shell (and a host that needs a kernel service
// before any task) asks for the BitTorrent kernel module.
inline constexpr char kBtKernelModuleName[] = "bt_kernel";

struct IModuleDownloader : IUnknown {
  // slot 3
  virtual HRESULT STDMETHODCALLTYPE AttachEvents(IModuleDownloaderEvents* sink) = 0;
  // slot 4
  virtual HRESULT STDMETHODCALLTYPE DetachEvents(IModuleDownloaderEvents* sink) = 0;
  // slot 5: starts fetching the named module at that version and returns at
  // once; the end is reported through the sinks.
  virtual HRESULT STDMETHODCALLTYPE RequestDownload(tagSTRING module_name, USHORT major_version,
                                                    USHORT minor_version) = 0;
};
