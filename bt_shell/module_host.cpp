#include "bt_shell/module_host.h"

namespace module_host {

com_ptr<IDownloadLib>& download_lib() {
  static com_ptr<IDownloadLib> pointer;
  return pointer;
}

com_ptr<IModuleDownloader>& module_downloader() {
  static com_ptr<IModuleDownloader> pointer;
  return pointer;
}

com_ptr<IHostService>& host_service() {
  static com_ptr<IHostService> pointer;
  return pointer;
}

}  // namespace module_host

IDownloadLib* GetDownloadLib() { return module_host::download_lib().get(); }
IModuleDownloader* GetModuleDownloader() { return module_host::module_downloader().get(); }
IHostService* GetHostService() { return module_host::host_service().get(); }
