#include "host/download_lib/download_lib.h"

#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>

#include <algorithm>

#include "host/download_lib/host_service.h"
#include "host/download_lib/module_downloader.h"
#include "host/download_lib/p2p_hub.h"
#include "interfaces/IHostService.h"
#include "interfaces/IModuleDownloader.h"
#include "interfaces/IP2p.h"

namespace {

log4cplus::Logger& logger() {
  static log4cplus::Logger instance = log4cplus::Logger::getInstance("download_lib");
  return instance;
}

}  // namespace

com_ptr<download_lib> download_lib::create(download_lib_options options) {
  return com_ptr<download_lib>::adopt(new download_lib(std::move(options)));
}

download_lib::download_lib(download_lib_options options)
    : CUnknownMultiThread("download_lib"), options_(std::move(options)), events_(IID_IDownloadLibEvents) {
  if (options_.host_service) service_ = com_ptr<host_service>::adopt(new host_service());
  if (options_.module_downloader) {
    downloader_ = com_ptr<module_downloader>::adopt(new module_downloader(this, options_.modules_dir));
    RegisterInstance(IID_IModuleDownloader, static_cast<IModuleDownloader*>(downloader_.get()));
  }
  if (options_.p2p_hub) register_p2p_hub();
}

download_lib::~download_lib() { shutdown(); }

HRESULT download_lib::QueryInterface(REFIID riid, void** ppv) {
  return query_single_interface<IDownloadLib>(this, IID_IDownloadLib, riid, ppv);
}

HRESULT download_lib::AttachEvents(IDownloadLibEvents* sink) { return events_.AttachEvents(sink); }

HRESULT download_lib::DetachEvents(IDownloadLibEvents* sink) { return events_.DetachEvents(sink); }

HRESULT download_lib::RegisterInstance(REFIID riid, IUnknown* object) {
  if (!object) return E_POINTER;
  const IID iid = riid;  // the caller's identifier may live in memory a sink frees
  com_ptr<IUnknown> held(object);
  com_ptr<IUnknown> replaced;
  {
    platform::critical_section_lock lock(lock_);
    auto it = std::find_if(registry_.begin(), registry_.end(), [&](const entry& e) { return e.first == iid; });
    if (it != registry_.end()) {
      replaced = std::move(it->second);
      it->second = held;
    } else {
      registry_.emplace_back(iid, held);
    }
  }
  LOG4CPLUS_DEBUG(logger(), "RegisterInstance " << platform::guid_to_string(iid) << (replaced ? " (replaced)" : ""));
  events_.broadcast(&IDownloadLibEvents::OnRegisterInstance, iid, object);
  return S_OK;
}

HRESULT download_lib::UnregisterInstance(REFIID riid) {
  const IID iid = riid;
  com_ptr<IUnknown> withdrawn;
  {
    platform::critical_section_lock lock(lock_);
    auto it = std::find_if(registry_.begin(), registry_.end(), [&](const entry& e) { return e.first == iid; });
    if (it == registry_.end()) return DL_E_NOT_REGISTERED;
    withdrawn = std::move(it->second);
    registry_.erase(it);
  }
  LOG4CPLUS_DEBUG(logger(), "UnregisterInstance " << platform::guid_to_string(iid));
  events_.broadcast(&IDownloadLibEvents::OnUnregisterInstance, iid);
  return S_OK;
}

HRESULT download_lib::GetInstance(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  com_ptr<IUnknown> found;
  {
    platform::critical_section_lock lock(lock_);
    ++lookups_[platform::guid_to_string(riid)];
    auto it = std::find_if(registry_.begin(), registry_.end(), [&](const entry& e) { return e.first == riid; });
    if (it == registry_.end()) return DL_E_NOT_REGISTERED;
    found = it->second;
  }
  return found->QueryInterface(riid, ppv);
}

HRESULT download_lib::CreateInstance(REFCLSID clsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (IsEqualGUID(clsid, CLSID_HostService) && service_) return service_->QueryInterface(riid, ppv);
  return DL_E_CLASS_NOT_REGISTERED;
}

p2p_hub* download_lib::register_p2p_hub() {
  if (!hub_) hub_ = com_ptr<p2p_hub>::adopt(new p2p_hub());
  RegisterInstance(IID_IP2p, static_cast<IP2p*>(hub_.get()));
  return hub_.get();
}

std::size_t download_lib::lookup_count(REFIID riid) const {
  platform::critical_section_lock lock(lock_);
  auto it = lookups_.find(platform::guid_to_string(riid));
  return it == lookups_.end() ? 0 : it->second;
}

bool download_lib::is_registered(REFIID riid) const {
  platform::critical_section_lock lock(lock_);
  return std::any_of(registry_.begin(), registry_.end(), [&](const entry& e) { return e.first == riid; });
}

std::size_t download_lib::registered_count() const {
  platform::critical_section_lock lock(lock_);
  return registry_.size();
}

void download_lib::shutdown() {
  {
    platform::critical_section_lock lock(lock_);
    if (shut_down_) return;
    shut_down_ = true;
  }
  // Registrations first, newest first, so that the modules' objects lose the
  // registry's references before their modules are asked to unload.
  for (;;) {
    IID iid;
    {
      platform::critical_section_lock lock(lock_);
      if (registry_.empty()) break;
      iid = registry_.back().first;
    }
    UnregisterInstance(iid);
  }
  if (downloader_) downloader_->shutdown();
  LOG4CPLUS_DEBUG(logger(), "shutdown, " << events_.sink_count() << " sink(s) still attached");
}
