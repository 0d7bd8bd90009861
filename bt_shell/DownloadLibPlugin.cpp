#include "bt_shell/DownloadLibPlugin.h"

#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>

#include <utility>

#include "bt_shell/host_misuse.h"
#include "bt_shell/module_boundary.h"

log4cplus::Logger& module_logger() {
  static log4cplus::Logger instance = log4cplus::Logger::getInstance("CDownloadLibPlugin(bt_shell)");
  return instance;
}

#define PLUGIN_PREFIX "[" << static_cast<const void*>(this) << "]"

CDownloadLibPlugin::CDownloadLibPlugin() : CUnknownMultiThread("CDownloadLibPlugin") {}

CDownloadLibPlugin::~CDownloadLibPlugin() {
  if (!m_context) return;
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
    if (m_context) return answer_host_misuse(module_logger(), this, "Init", host_misuse::init_twice);
    if (module_context::module_bound())
      return answer_host_misuse(module_logger(), this, "Init", host_misuse::init_while_held_by_another);

    // Everything that takes memory is made before the host is called, so that
    // a plugin that runs out of it binds nothing and calls nobody.
    auto context = std::make_shared<module_context>();
    auto shell = com_ptr<CBtShell>::adopt(new CBtShell(context));

    if (!context->bind(host))
      return answer_host_misuse(module_logger(), this, "Init", host_misuse::init_while_held_by_another);
    LOG4CPLUS_DEBUG(module_logger(), PLUGIN_PREFIX << "init charset_analyser success");
    m_context = std::move(context);
    m_shell = shell.detach();
    m_shell->init();
    host->RegisterInstance(IID_IBitTorrent, static_cast<IBitTorrent2*>(m_shell));
    LOG4CPLUS_INFO(module_logger(), PLUGIN_PREFIX << "Init OK");
    return S_OK;
  });
}

HRESULT CDownloadLibPlugin::Uninit() {
  return module_boundary(this, "Uninit", [&] {
    LOG4CPLUS_INFO(module_logger(), PLUGIN_PREFIX << "Uninit");
    if (!m_context) return answer_host_misuse(module_logger(), this, "Uninit", host_misuse::uninit_without_init);
    m_context->download_lib()->UnregisterInstance(IID_IBitTorrent);
    m_shell->uninit();
    static_cast<IBitTorrent2*>(std::exchange(m_shell, nullptr))->Release();
    // The host, its services, the hub and the charset analyser go with the
    // binding, the last obtained first.
    std::exchange(m_context, nullptr)->unbind();
    LOG4CPLUS_INFO(module_logger(), PLUGIN_PREFIX << "charset_analyser::uninit()");
    LOG4CPLUS_INFO(module_logger(), PLUGIN_PREFIX << "Uninit OK");
    return S_OK;
  });
}
