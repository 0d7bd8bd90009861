// One run of the host: the host runtime (instance registry, module
// downloader, host service, optionally the P2P hub) with the plugin module
// loaded and initialised in it, and the shell the plugin registered. The
// kernel module is installed only when the shell asks for it and the
// runtime's module downloader is pumped (host().downloader()).
// Everything is undone, in order, by close() or the destructor.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "host/btshell/command_line.h"
#include "host/btshell/staged_module.h"
#include "host/download_lib/download_lib.h"
#include "host/download_lib/plugin_host.h"
#include "host/kernel_probe/kernel_probe.h"
#include "interfaces/IBitTorrent.h"
#include "platform/com_ptr.h"

namespace btshell {

struct session_settings {
  std::string module;       // the plugin module to load
  std::string modules_dir;  // where the module downloader installs modules from
  std::optional<kernel_version> version;  // load a private copy with this bt_shell.ini
  bool p2p_hub = false;     // register the host's stand-in P2P hub first
};

class host_session {
 public:
  explicit host_session(session_settings settings);
  ~host_session();
  host_session(const host_session&) = delete;
  host_session& operator=(const host_session&) = delete;

  // Creates the runtime and loads the module. False with `error` set.
  bool open(std::string& error);
  // Unloads the plugin and ends the runtime; later calls do nothing.
  void close();

  IBitTorrent2* shell() const { return loader_ ? loader_->shell() : nullptr; }
  download_lib& host() const { return *host_.get(); }
  // The module actually loaded (the private copy when a version was given).
  const std::string& loaded_module() const { return loaded_module_; }
  // The folder the kernel module is installed from.
  const std::string& modules_dir() const { return settings_.modules_dir; }
  // The probe of the kernel registered with the host; invalid when there is none.
  kernel_probe kernel() const;

 private:
  session_settings settings_;
  staged_module staged_;
  std::string loaded_module_;
  com_ptr<download_lib> host_;
  std::unique_ptr<plugin_host> loader_;
};

}  // namespace btshell
