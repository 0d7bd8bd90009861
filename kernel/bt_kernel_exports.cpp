// The entry points of libbt_kernel.so, called by the host's module
// downloader (interfaces/module_entry.h). Nothing else is exported.
#include "interfaces/module_entry.h"
#include "kernel/kernel_call.h"
#include "kernel/kernel_session.h"
#include "kernel/torrent_kernel.h"
#include "platform/module.h"

#define BT_KERNEL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// The module's kernel and the host it registered with (not counted: the
// host outlives the modules it loads).
com_ptr<torrent_kernel> g_kernel;
IDownloadLib* g_host = nullptr;

}  // namespace

BT_KERNEL_EXPORT HRESULT DownloadLibModuleLoad(IDownloadLib* host) {
  if (!host) return E_POINTER;
  if (g_kernel) return S_FALSE;  // loaded and registered already
  return kernel_call("DownloadLibModuleLoad", [&] {
    const std::string settings_path = kernel_settings_path();
    LOG4CPLUS_INFO(kernel_logger(), "kernel on libtorrent, settings from " << settings_path);
    com_ptr<torrent_kernel> kernel = torrent_kernel::create(read_kernel_settings(settings_path));
    const HRESULT hr = host->RegisterInstance(IID_IBitTorrentKernel, static_cast<IBitTorrentKernel*>(kernel.get()));
    if (FAILED(hr)) return hr;
    g_kernel = std::move(kernel);
    g_host = host;
    return S_OK;
  });
}

BT_KERNEL_EXPORT HRESULT DownloadLibModuleUnload() {
  return kernel_call("DownloadLibModuleUnload", [&] {
    if (g_kernel) {
      // Withdraw the registration only while it is still ours.
      com_ptr<IUnknown> registered;
      if (SUCCEEDED(g_host->GetInstance(IID_IBitTorrentKernel, registered.put_void())) &&
          registered.get() == static_cast<IUnknown*>(static_cast<IBitTorrentKernel*>(g_kernel.get())))
        g_host->UnregisterInstance(IID_IBitTorrentKernel);
      registered.reset();
      g_kernel->close();
      g_kernel.reset();
      g_host = nullptr;
    }
    join_ended_kernel_threads();
    return platform::module_lock_count() == 0 ? S_OK : S_FALSE;
  });
}
