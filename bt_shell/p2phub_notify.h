// p2phub_notify: the module's connection to the host's optional P2P hub.
//
// There is at most one instance, made on first use. While the hub is not
// registered with the host every access looks it up again and finds
// nothing; once found, the connection lasts until the plugin's Uninit.
#pragma once

#include <string>

#include "interfaces/IP2p.h"
#include "platform/com_ptr.h"

class p2phub_notify {
 public:
  // The instance, or null when the hub cannot be reached.
  static p2phub_notify* instance();
  // Destroys the instance (releasing the hub), if any.
  static void destroy_instance();

  virtual ~p2phub_notify() = default;

  void file_deleted(const std::string& path);
  void file_moved(const std::string& old_path, const std::string& new_path);

 private:
  p2phub_notify() = default;

  com_ptr<IP2p> _IP2p;
};
