#include "bt_shell/ComModule.h"

#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>

#include <atomic>
#include <mutex>

#include "bt_shell/DownloadLibPlugin.h"
#include "bt_shell/module_boundary.h"
#include "com_utility/module_location.h"
#include "interfaces/IDownloadLibPlugin.h"
#include "platform/module.h"
#include "platform/registry.h"

namespace {

log4cplus::Logger& logger() {
  static log4cplus::Logger instance = log4cplus::Logger::getInstance("CDownloadLibPlugin(bt_shell)");
  return instance;
}

const char kClassDescription[] = "DownloadLibPlugin Class";
const char kProgId[] = "bt_shell.DownloadLibPlugin.1";

// The class factory. Its own references do not hold the module: only
// LockServer does, as with any in-process server.
class plugin_factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    return query_single_interface<IClassFactory>(this, IID_IClassFactory, riid, ppv);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_ref; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG count = --m_ref;
    if (count == 0) delete this;
    return count;
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    return module_boundary(this, "CreateInstance", [&] {
      if (!ppv) return E_POINTER;
      *ppv = nullptr;
      if (outer) return CLASS_E_NOAGGREGATION;
      // The creation reference goes on every path: the query's remains, if any.
      const auto plugin = com_ptr<CDownloadLibPlugin>::adopt(new CDownloadLibPlugin);
      return plugin->QueryInterface(riid, ppv);
    });
  }

  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    return module_boundary(this, "LockServer", [&] {
      if (lock)
        platform::module_lock();
      else
        platform::module_unlock();
      return S_OK;
    });
  }

 private:
  std::atomic<ULONG> m_ref{1};
};

std::mutex g_module_mutex;
plugin_factory* g_factory = nullptr;  // the module's own reference

std::string class_key() { return "CLSID\\" + platform::guid_to_string(CLSID_DownloadLibPlugin); }

// Runs one change of the class keys, which the store takes whole or not at
// all: S_OK, or SELFREG_E_CLASS with an ERROR line naming the cause.
template <class Change>
HRESULT change_class_keys(const char* entry_point, Change change) {
  std::string error;
  try {
    if (change(error)) return S_OK;
  } catch (const std::exception& e) {
    error = e.what();
  }
  LOG4CPLUS_ERROR(logger(), entry_point << ": the class keys were not written: " << error);
  return SELFREG_E_CLASS;
}

}  // namespace

HRESULT module_get_class_object(REFCLSID clsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (!IsEqualGUID(clsid, CLSID_DownloadLibPlugin)) return CLASS_E_CLASSNOTAVAILABLE;
  std::lock_guard<std::mutex> lock(g_module_mutex);
  if (!g_factory) g_factory = new plugin_factory;
  return g_factory->QueryInterface(riid, ppv);
}

HRESULT module_can_unload_now() { return platform::module_lock_count() == 0 ? S_OK : S_FALSE; }

HRESULT module_register_server() {
  return change_class_keys("DllRegisterServer", [](std::string& error) {
    const std::string path = get_module_path();
    if (path.empty()) {
      error = "the module's own path is unknown";
      return false;
    }
    const std::string key = class_key();
    return platform::registry_update(
        [&](platform::registry_keys& keys) {
          keys[key][""] = kClassDescription;
          keys[key + "\\InprocServer32"][""] = path;
          keys[key + "\\InprocServer32"]["ThreadingModel"] = "Both";
          keys[key + "\\ProgID"][""] = kProgId;
          keys[kProgId][""] = kClassDescription;
          keys[std::string(kProgId) + "\\CLSID"][""] = platform::guid_to_string(CLSID_DownloadLibPlugin);
        },
        error);
  });
}

HRESULT module_unregister_server() {
  return change_class_keys("DllUnregisterServer", [](std::string& error) {
    const std::string key = class_key();
    return platform::registry_update(
        [&](platform::registry_keys& keys) {
          platform::registry_delete_tree(keys, key);
          platform::registry_delete_tree(keys, kProgId);
        },
        error);
  });
}

void module_terminate() {
  std::lock_guard<std::mutex> lock(g_module_mutex);
  if (g_factory) g_factory->Release();
  g_factory = nullptr;
}
