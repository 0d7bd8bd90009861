#include "host/download_lib/plugin_host.h"

#include <dlfcn.h>

#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>

namespace {

log4cplus::Logger& logger() {
  static log4cplus::Logger instance = log4cplus::Logger::getInstance("plugin_host");
  return instance;
}

}  // namespace

plugin_host::plugin_host(IDownloadLib* host) : host_(host) {}

plugin_host::~plugin_host() {
  if (unload() != S_OK && handle_) LOG4CPLUS_WARN(logger(), "plugin module still in use, left loaded");
}

HRESULT plugin_host::fail(HRESULT hr, std::string what) {
  last_error_ = std::move(what);
  LOG4CPLUS_WARN(logger(), last_error_ << " (0x" << std::hex << static_cast<ULONG>(hr) << ")");
  unload();
  return hr;
}

HRESULT plugin_host::load(const std::string& path) {
  if (handle_ || plugin_) return E_UNEXPECTED;
  last_error_.clear();
  if (!host_) return fail(E_POINTER, "no host");
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* e = dlerror();
    return fail(PH_E_MODULE_NOT_FOUND, "cannot open " + path + ": " + (e ? e : "unknown error"));
  }
  get_class_object_ = reinterpret_cast<HRESULT (*)(REFCLSID, REFIID, void**)>(dlsym(handle_, "DllGetClassObject"));
  can_unload_now_ = reinterpret_cast<HRESULT (*)()>(dlsym(handle_, "DllCanUnloadNow"));
  if (!get_class_object_ || !can_unload_now_) return fail(PH_E_ENTRY_POINT_MISSING, path + " lacks its entry points");

  com_ptr<IClassFactory> factory;
  HRESULT hr = get_class_object_(CLSID_DownloadLibPlugin, IID_IClassFactory, factory.put_void());
  if (FAILED(hr) || !factory) return fail(FAILED(hr) ? hr : E_POINTER, "DllGetClassObject failed");
  hr = factory->CreateInstance(nullptr, IID_IDownloadLibPlugin, plugin_.put_void());
  factory.reset();
  if (FAILED(hr) || !plugin_) return fail(FAILED(hr) ? hr : E_POINTER, "CreateInstance failed");
  hr = plugin_->Init(host_.get());
  if (FAILED(hr)) return fail(hr, "Init failed");
  initialised_ = true;

  com_ptr<IUnknown> registered;
  hr = host_->GetInstance(IID_IBitTorrent, registered.put_void());
  if (FAILED(hr) || !registered) return fail(FAILED(hr) ? hr : E_POINTER, "no shell registered after Init");
  hr = registered.query(IID_IBitTorrent2, shell_);
  if (FAILED(hr) || !shell_) return fail(FAILED(hr) ? hr : E_NOINTERFACE, "the shell lacks IBitTorrent2");
  LOG4CPLUS_INFO(logger(), "loaded " << path);
  return S_OK;
}

HRESULT plugin_host::unload() {
  shell_.reset();
  if (plugin_ && initialised_) plugin_->Uninit();
  initialised_ = false;
  plugin_.reset();
  return close_if_unused();
}

HRESULT plugin_host::can_unload_now() const { return can_unload_now_ ? can_unload_now_() : E_UNEXPECTED; }

HRESULT plugin_host::get_class_object(REFCLSID clsid, REFIID riid, void** ppv) const {
  if (!get_class_object_) return E_UNEXPECTED;
  return get_class_object_(clsid, riid, ppv);
}

HRESULT plugin_host::close_if_unused() {
  if (!handle_) return S_OK;
  if (can_unload_now_ && can_unload_now_() != S_OK) return S_FALSE;
  dlclose(handle_);
  handle_ = nullptr;
  get_class_object_ = nullptr;
  can_unload_now_ = nullptr;
  return S_OK;
}
