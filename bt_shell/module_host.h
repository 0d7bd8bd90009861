// The module-wide pointers to the host, set by the plugin's Init and cleared
// by its Uninit. The accessors return the stored pointer without adding a
// reference; each may be null.
#pragma once

#include "interfaces/IDownloadLib.h"
#include "interfaces/IHostService.h"
#include "interfaces/IModuleDownloader.h"
#include "platform/com_ptr.h"

IDownloadLib* GetDownloadLib();
IModuleDownloader* GetModuleDownloader();
IHostService* GetHostService();

// The plugin's side: the stored pointers themselves.
namespace module_host {
com_ptr<IDownloadLib>& download_lib();
com_ptr<IModuleDownloader>& module_downloader();
com_ptr<IHostService>& host_service();
}  // namespace module_host
