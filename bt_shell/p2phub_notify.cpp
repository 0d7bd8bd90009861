#include "bt_shell/p2phub_notify.h"

#include "bt_shell/host_instance.h"
#include "common/release_assert.h"

bool p2phub_notify::connect() {
  if (!_IP2p) _IP2p = host_instance<IP2p>(_host, IID_IP2p);
  return static_cast<bool>(_IP2p);
}

void p2phub_notify::file_deleted(const std::string& path) {
  RELEASE_ASSERT_TEXT(_IP2p, "_IP2p != NULL", "");
  _IP2p->NotifyFileDeleted(to_tag_string(path));
}

void p2phub_notify::file_moved(const std::string& old_path, const std::string& new_path) {
  RELEASE_ASSERT_TEXT(_IP2p, "_IP2p != NULL", "");
  _IP2p->NotifyFileMoved(to_tag_string(old_path), to_tag_string(new_path));
}
