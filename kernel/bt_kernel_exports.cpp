// The entry points of libbt_kernel.so, called by the host's module
// downloader (interfaces/module_entry.h). Nothing else is exported.
#include "com_utility/module_registration.h"
#include "interfaces/module_entry.h"
#include "kernel/kernel_call.h"
#include "kernel/kernel_session.h"
#include "kernel/torrent_kernel.h"
#include "platform/module.h"

#define BT_KERNEL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// The settings and the fetcher are there before the kernel, so that a host
// that hears of the kernel can set up the session before any task is made.
module_registration<torrent_kernel, IBitTorrentKernel> g_kernel(IID_IBitTorrentKernel,
                                                                 {IID_IBtKernelSettings, IID_IBtMetadataFetcher});

}  // namespace

BT_KERNEL_EXPORT HRESULT DownloadLibModuleLoad(IDownloadLib* host) {
  return kernel_call("DownloadLibModuleLoad", [&] {
    // The session starts quiet: a host that listens for the settings face
    // sets its own while it is registered, and the session opens its
    // sockets once, with them, after the kernel is registered too.
    torrent_kernel* made = nullptr;
    const HRESULT hr = g_kernel.load(host, [&made] {
      const std::string settings_path = kernel_settings_path();
      LOG4CPLUS_INFO(kernel_logger(), "kernel on libtorrent, settings from " << settings_path);
      com_ptr<torrent_kernel> kernel = torrent_kernel::create(read_kernel_settings(settings_path), true);
      made = kernel.get();
      return kernel;
    });
    if (hr == S_OK) made->go_live();
    return hr;
  });
}

BT_KERNEL_EXPORT HRESULT DownloadLibModuleUnload() {
  return kernel_call("DownloadLibModuleUnload", [&] {
    g_kernel.unload();
    join_ended_kernel_threads();
    return platform::module_lock_count() == 0 ? S_OK : S_FALSE;
  });
}
