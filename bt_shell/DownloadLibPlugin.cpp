#include "bt_shell/DownloadLibPlugin.h"

#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>

#include "bt_shell/host_misuse.h"
#include "bt_shell/module_boundary.h"
#include "bt_shell/module_host.h"
#include "bt_shell/p2phub_notify.h"
#include "common/charset_analyser.h"
#include "interfaces/IHostService.h"
#include "interfaces/IModuleDownloader.h"
#include "platform/mlang.h"

log4cplus::Logger& module_logger() {
  static log4cplus::Logger instance = log4cplus::Logger::getInstance("CDownloadLibPlugin(bt_shell)");
  return instance;
}

namespace {

// The plugin that bound the module to its host: the host pointers and the
// published shell are module-wide, so only one plugin binds them at a time
// and only that one unbinds them.
CDownloadLibPlugin* g_bound_plugin = nullptr;

}  // namespace

#define PLUGIN_PREFIX "[" << static_cast<const void*>(this) << "]"

CDownloadLibPlugin::CDownloadLibPlugin() : CUnknownMultiThread("CDownloadLibPlugin") {}

CDownloadLibPlugin::~CDownloadLibPlugin() {
  if (g_bound_plugin != this) return;
  answer_host_misuse(module_logger(), this, "~CDownloadLibPlugin", host_misuse::released_without_uninit);
  Uninit();
}

HRESULT CDownloadLibPlugin::QueryInterface(REFIID riid, void** ppv) {
  return query_single_interface<IDownloadLibPlugin>(this, IID_IDownloadLibPlugin, riid, ppv);
}

HRESULT CDownloadLibPlugin::GetPluginValue(ULONG* value) {
  return module_boundary(this, "GetPluginValue", [&] {
    if (!value) return answer_host_misuse(module_logger(), this, "GetPluginValue", host_misuse::null_pointer);
    *value = 0;
    return S_OK;
  });
}

HRESULT CDownloadLibPlugin::QueryPluginStatus() {
  return module_boundary(this, "QueryPluginStatus", [] { return S_FALSE; });
}

HRESULT CDownloadLibPlugin::Init(IDownloadLib* host) {
  return module_boundary(this, "Init", [&] {
    LOG4CPLUS_INFO(module_logger(), PLUGIN_PREFIX << "Init");
    if (!host) return answer_host_misuse(module_logger(), this, "Init", host_misuse::init_without_host);
    if (g_bound_plugin == this) return answer_host_misuse(module_logger(), this, "Init", host_misuse::init_twice);
    if (g_bound_plugin)
      return answer_host_misuse(module_logger(), this, "Init", host_misuse::init_while_held_by_another);

    // Everything that takes memory is made before the host is called, so that
    // a plugin that runs out of it binds nothing and calls nobody.
    auto shell = com_ptr<CBtShell>::adopt(new CBtShell);
    auto builtin_mlang = com_ptr<IMultiLanguage2>::adopt(platform::create_builtin_mlang());
    charset_analyser::instance();

    module_host::download_lib() = com_ptr<IDownloadLib>(host);
    // The host's MLang object, or the platform's built-in detector when the
    // host registers none.
    com_ptr<IMultiLanguage2> mlang;
    if (FAILED(host->GetInstance(IID_IMultiLanguage2, mlang.put_void())) || !mlang) mlang = builtin_mlang;
    charset_analyser::init(mlang.get());
    LOG4CPLUS_DEBUG(module_logger(), PLUGIN_PREFIX << "init charset_analyser success");

    if (FAILED(host->CreateInstance(CLSID_HostService, IID_IHostService, module_host::host_service().put_void())))
      module_host::host_service().reset();
    if (FAILED(host->GetInstance(IID_IModuleDownloader, module_host::module_downloader().put_void())))
      module_host::module_downloader().reset();

    m_shell = shell.detach();
    g_bound_plugin = this;
    m_shell->init();
    host->RegisterInstance(IID_IBitTorrent, static_cast<IBitTorrent2*>(m_shell));
    LOG4CPLUS_INFO(module_logger(), PLUGIN_PREFIX << "Init OK");
    return S_OK;
  });
}

HRESULT CDownloadLibPlugin::Uninit() {
  return module_boundary(this, "Uninit", [&] {
    LOG4CPLUS_INFO(module_logger(), PLUGIN_PREFIX << "Uninit");
    if (g_bound_plugin != this)
      return answer_host_misuse(module_logger(), this, "Uninit", host_misuse::uninit_without_init);
    g_bound_plugin = nullptr;
    GetDownloadLib()->UnregisterInstance(IID_IBitTorrent);
    m_shell->uninit();
    static_cast<IBitTorrent2*>(m_shell)->Release();
    m_shell = nullptr;
    module_host::download_lib().reset();
    module_host::host_service().reset();
    // Let go of the module downloader as well: released later, at the
    // module's unload, it could be a call into a host that is gone.
    module_host::module_downloader().reset();
    p2phub_notify::destroy_instance();
    charset_analyser::uninit();
    LOG4CPLUS_INFO(module_logger(), PLUGIN_PREFIX << "charset_analyser::uninit()");
    LOG4CPLUS_INFO(module_logger(), PLUGIN_PREFIX << "Uninit OK");
    return S_OK;
  });
}
