#include "host/btshell/host_session.h"

#include <fstream>
#include <sstream>
#include <utility>

namespace btshell {

host_session::host_session(session_settings settings) : settings_(std::move(settings)) {}

host_session::~host_session() { close(); }

namespace {

// The text of a file; empty when it cannot be read.
std::string text_of_file(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

bool host_session::open(std::string& error) {
  loaded_module_ = settings_.module;
  if (settings_.version) {
    if (!staged_.create(settings_.module, "bt_shell.ini", shell_ini_text(*settings_.version), error)) return false;
    loaded_module_ = staged_.path();
  }
  modules_dir_ = settings_.modules_dir;
  if (!settings_.kernel_listen.empty()) {
    const std::string settings_text = text_of_file(modules_dir_ + "/bt_kernel.ini");
    if (!staged_kernel_.create(modules_dir_ + "/libbt_kernel.so", "bt_kernel.ini",
                               kernel_ini_text(settings_text, settings_.kernel_listen), error))
      return false;
    modules_dir_ = staged_kernel_.folder();
  }
  download_lib_options options;
  options.modules_dir = modules_dir_;
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
