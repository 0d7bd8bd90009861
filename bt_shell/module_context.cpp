#include "bt_shell/module_context.h"

#include <atomic>

#include "bt_shell/host_instance.h"
#include "com_utility/module_location.h"
#include "common/charset_analyser.h"

namespace {

std::atomic<bool> g_module_bound{false};

std::time_t system_time() { return std::time(nullptr); }

com_ptr<IHostService> create_host_service(IDownloadLib* host) {
  com_ptr<IHostService> service;
  if (FAILED(host->CreateInstance(CLSID_HostService, IID_IHostService, service.put_void()))) service.reset();
  return service;
}

}  // namespace

module_context::charset_user::charset_user(com_ptr<IMultiLanguage2> mlang) { charset_analyser::init(mlang.get()); }

module_context::charset_user::~charset_user() { charset_analyser::uninit(); }

module_context::binding::binding(IDownloadLib* host, IMultiLanguage2* builtin_mlang)
    : host(host),
      charset([&] {
        com_ptr<IMultiLanguage2> mlang = host_instance<IMultiLanguage2>(host, IID_IMultiLanguage2);
        return mlang ? mlang : com_ptr<IMultiLanguage2>(builtin_mlang);
      }()),
      host_service(create_host_service(host)),
      module_downloader(host_instance<IModuleDownloader>(host, IID_IModuleDownloader)),
      hub(host) {}

module_context::module_context() : module_context(get_module_dir(), &system_time) {}

module_context::module_context(std::string settings_dir, time_source clock)
    : m_settings_dir(std::move(settings_dir)),
      m_clock(clock),
      m_builtin_mlang(com_ptr<IMultiLanguage2>::adopt(platform::create_builtin_mlang())) {}

module_context::~module_context() { unbind(); }

bool module_context::module_bound() { return g_module_bound.load(); }

bool module_context::bind(IDownloadLib* host) {
  if (m_binding || module_bound()) return false;
  // Made here, not with the context, so that a context never bound leaves
  // no analyser behind; the host is not called before it is made.
  charset_analyser::instance();
  if (g_module_bound.exchange(true)) return false;
  try {
    m_binding.emplace(host, m_builtin_mlang.get());
  } catch (...) {
    g_module_bound = false;
    throw;
  }
  return true;
}

void module_context::unbind() {
  if (!m_binding) return;
  m_binding.reset();
  g_module_bound = false;
}
