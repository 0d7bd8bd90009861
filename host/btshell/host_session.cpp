#include "host/btshell/host_session.h"

#include <utility>

namespace btshell {

host_session::host_session(session_settings settings) : settings_(std::move(settings)) {}

host_session::~host_session() { close(); }

bool host_session::open(std::string& error) {
  loaded_module_ = settings_.module;
  if (settings_.version) {
    if (!staged_.create(settings_.module, "bt_shell.ini", shell_ini_text(*settings_.version), error)) return false;
    loaded_module_ = staged_.path();
  }
  download_lib_options options;
  options.modules_dir = settings_.modules_dir;
  options.p2p_hub = settings_.p2p_hub;
  host_ = download_lib::create(options);
  loader_ = std::make_unique<plugin_host>(host_.get());
  const HRESULT hr = loader_->load(loaded_module_);
  if (hr != S_OK) {
    error = "cannot load the plugin module: " + loader_->last_error();
    close();
    return false;
  }
  return true;
}

void host_session::close() {
  if (loader_) loader_->unload();
  if (host_) host_->shutdown();
  // The loader keeps a module still in use open; it goes with the process.
  loader_.reset();
  host_.reset();
}

kernel_probe host_session::kernel() const {
  com_ptr<IUnknown> registered;
  if (host_) host_->GetInstance(IID_IBitTorrentKernel, registered.put_void());
  return kernel_probe(registered.get());
}

}  // namespace btshell
