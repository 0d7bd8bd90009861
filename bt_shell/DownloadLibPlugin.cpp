#include "bt_shell/DownloadLibPlugin.h"

#include <new>

#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>

#include "bt_shell/module_host.h"
#include "bt_shell/p2phub_notify.h"
#include "common/charset_analyser.h"
#include "interfaces/IHostService.h"
#include "interfaces/IModuleDownloader.h"
#include "platform/mlang.h"

namespace {

log4cplus::Logger& logger() {
  static log4cplus::Logger instance = log4cplus::Logger::getInstance("CDownloadLibPlugin(bt_shell)");
  return instance;
}

// The host's MLang object, or the platform's built-in detector when the
// host registers none.
com_ptr<IMultiLanguage2> host_mlang(IDownloadLib* host) {
  com_ptr<IMultiLanguage2> mlang;
  if (FAILED(host->GetInstance(IID_IMultiLanguage2, mlang.put_void()))) mlang.reset();
  if (!mlang) mlang = com_ptr<IMultiLanguage2>::adopt(platform::create_builtin_mlang());
  return mlang;
}

// The plugin that bound the module to its host: the host pointers and the
// published shell are module-wide, so only one plugin binds them at a time
// and only that one unbinds them.
CDownloadLibPlugin* g_bound_plugin = nullptr;

}  // namespace

#define PLUGIN_PREFIX "[" << static_cast<const void*>(this) << "]"

CDownloadLibPlugin::CDownloadLibPlugin() : CUnknownMultiThread("CDownloadLibPlugin") {}

CDownloadLibPlugin::~CDownloadLibPlugin() {
  // A host that releases the plugin without Uninit still unbinds the module.
  if (g_bound_plugin == this) Uninit();
}

HRESULT CDownloadLibPlugin::QueryInterface(REFIID riid, void** ppv) {
  return query_single_interface<IDownloadLibPlugin>(this, IID_IDownloadLibPlugin, riid, ppv);
}

HRESULT CDownloadLibPlugin::GetPluginValue(ULONG* value) {
  if (value) *value = 0;
  return S_OK;
}

HRESULT CDownloadLibPlugin::QueryPluginStatus() { return S_FALSE; }

HRESULT CDownloadLibPlugin::Init(IDownloadLib* host) {
  LOG4CPLUS_INFO(logger(), PLUGIN_PREFIX << "Init");
  if (g_bound_plugin) {
    LOG4CPLUS_ERROR(logger(), PLUGIN_PREFIX << "Init while the module is initialised; ignored");
    return S_OK;
  }
  if (!host) {
    LOG4CPLUS_ERROR(logger(), PLUGIN_PREFIX << "Init without a host; ignored");
    return S_OK;
  }
  module_host::download_lib() = com_ptr<IDownloadLib>(host);

  com_ptr<IMultiLanguage2> mlang = host_mlang(host);
  charset_analyser::init(mlang.get());
  LOG4CPLUS_DEBUG(logger(), PLUGIN_PREFIX << "init charset_analyser success");

  if (FAILED(host->CreateInstance(CLSID_HostService, IID_IHostService, module_host::host_service().put_void())))
    module_host::host_service().reset();
  if (FAILED(host->GetInstance(IID_IModuleDownloader, module_host::module_downloader().put_void())))
    module_host::module_downloader().reset();

  m_shell = new (std::nothrow) CBtShell;
  if (!m_shell) {
    LOG4CPLUS_ERROR(logger(), PLUGIN_PREFIX << "no memory for the shell");
    module_host::download_lib().reset();
    module_host::host_service().reset();
    module_host::module_downloader().reset();
    charset_analyser::uninit();
    return S_OK;
  }
  g_bound_plugin = this;
  m_shell->init();
  host->RegisterInstance(IID_IBitTorrent, static_cast<IBitTorrent2*>(m_shell));
  LOG4CPLUS_INFO(logger(), PLUGIN_PREFIX << "Init OK");
  return S_OK;
}

HRESULT CDownloadLibPlugin::Uninit() {
  LOG4CPLUS_INFO(logger(), PLUGIN_PREFIX << "Uninit");
  if (g_bound_plugin != this) {
    LOG4CPLUS_ERROR(logger(), PLUGIN_PREFIX << "Uninit without Init; ignored");
    return S_OK;
  }
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
  LOG4CPLUS_INFO(logger(), PLUGIN_PREFIX << "charset_analyser::uninit()");
  LOG4CPLUS_INFO(logger(), PLUGIN_PREFIX << "Uninit OK");
  return S_OK;
}
