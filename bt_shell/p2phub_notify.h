// p2phub_notify: the module's link to the host's optional P2P hub.
//
// Part of the module's context (module_context.h): made when the plugin binds
// the module and let go of at its Uninit. While the hub is not registered
// with the host every connect() looks it up again and finds nothing; once
// found, the link lasts until Uninit.
#pragma once

#include <string>

#include "interfaces/IDownloadLib.h"
#include "interfaces/IP2p.h"
#include "platform/com_ptr.h"

class p2phub_notify {
 public:
  // `host` outlives the link (the context holds both).
  explicit p2phub_notify(IDownloadLib* host) : _host(host) {}
  virtual ~p2phub_notify() = default;
  p2phub_notify(const p2phub_notify&) = delete;
  p2phub_notify& operator=(const p2phub_notify&) = delete;

  // Whether the hub is reached, looking it up while it is not.
  bool connect();

  // REQUIRES: connect() answered true.
  void file_deleted(const std::string& path);
  void file_moved(const std::string& old_path, const std::string& new_path);

 private:
  IDownloadLib* _host;
  com_ptr<IP2p> _IP2p;
};
