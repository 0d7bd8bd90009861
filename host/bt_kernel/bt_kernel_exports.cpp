// The entry points of libbt_kernel.so, called by the host's module downloader
// (interfaces/module_entry.h). Nothing else is exported.
#include "host/bt_kernel/bt_kernel.h"
#include "interfaces/module_entry.h"
#include "platform/module.h"

#define BT_KERNEL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// The module's kernel and the host it registered with (not counted: the
// host outlives the modules it loads).
com_ptr<bt_kernel> g_kernel;
IDownloadLib* g_host = nullptr;

}  // namespace

BT_KERNEL_EXPORT HRESULT DownloadLibModuleLoad(IDownloadLib* host) {
  if (!host) return E_POINTER;
  if (g_kernel) return S_FALSE;  // loaded and registered already
  com_ptr<bt_kernel> kernel = bt_kernel::create();
  const HRESULT hr = host->RegisterInstance(IID_IBitTorrentKernel, static_cast<IBitTorrentKernel*>(kernel.get()));
  if (FAILED(hr)) return hr;
  g_kernel = std::move(kernel);
  g_host = host;
  return S_OK;
}

BT_KERNEL_EXPORT HRESULT DownloadLibModuleUnload() {
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
  return platform::module_lock_count() == 0 ? S_OK : S_FALSE;
}
