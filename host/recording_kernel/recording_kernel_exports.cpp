// The entry points of libbt_kernel.so, called by the host's module downloader
// (interfaces/module_entry.h). Nothing else is exported.
#include "com_utility/module_registration.h"
#include "host/recording_kernel/recording_kernel.h"
#include "interfaces/module_entry.h"
#include "platform/module.h"

#define BT_KERNEL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

module_registration<recording_kernel, IBitTorrentKernel> g_kernel(IID_IBitTorrentKernel);

}  // namespace

BT_KERNEL_EXPORT HRESULT DownloadLibModuleLoad(IDownloadLib* host) {
  return g_kernel.load(host, [] { return recording_kernel::create(); });
}

BT_KERNEL_EXPORT HRESULT DownloadLibModuleUnload() {
  g_kernel.unload();
  return platform::module_lock_count() == 0 ? S_OK : S_FALSE;
}
