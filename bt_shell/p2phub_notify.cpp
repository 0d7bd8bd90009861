#include "bt_shell/p2phub_notify.h"

#include <memory>

#include "bt_shell/module_host.h"
#include "common/release_assert.h"

namespace {

std::unique_ptr<p2phub_notify>& the_instance() {
  static std::unique_ptr<p2phub_notify> instance;
  return instance;
}

}  // namespace

p2phub_notify* p2phub_notify::instance() {
  std::unique_ptr<p2phub_notify>& instance = the_instance();
  if (!instance) {
    instance.reset(new p2phub_notify);
    IDownloadLib* host = GetDownloadLib();
    if (!host || FAILED(host->GetInstance(IID_IP2p, instance->_IP2p.put_void()))) instance->_IP2p.reset();
  }
  if (!instance->_IP2p) {
    instance.reset();
    return nullptr;
  }
  return instance.get();
}

void p2phub_notify::destroy_instance() { the_instance().reset(); }

void p2phub_notify::file_deleted(const std::string& path) {
  RELEASE_ASSERT_TEXT(_IP2p, "_IP2p != NULL", "");
  _IP2p->NotifyFileDeleted(to_tag_string(path));
}

void p2phub_notify::file_moved(const std::string& old_path, const std::string& new_path) {
  RELEASE_ASSERT_TEXT(_IP2p, "_IP2p != NULL", "");
  _IP2p->NotifyFileMoved(to_tag_string(old_path), to_tag_string(new_path));
}
