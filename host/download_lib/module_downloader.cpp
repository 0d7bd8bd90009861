#include "host/download_lib/module_downloader.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>

#include <algorithm>

#include "interfaces/string_types.h"
#include "interfaces/module_entry.h"

namespace {

log4cplus::Logger& logger() {
  static log4cplus::Logger instance = log4cplus::Logger::getInstance("module_downloader");
  return instance;
}

// A module name becomes part of a file name: no separators, no "." or "..",
// nothing that would cut the name short.
bool valid_module_name(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

std::string dl_error_text() {
  const char* e = dlerror();
  return e ? e : "unknown error";
}

}  // namespace

module_downloader::module_downloader(IDownloadLib* host, std::string modules_dir)
    : CUnknownMultiThread("module_downloader"),
      host_(host),
      modules_dir_(std::move(modules_dir)),
      events_(IID_IModuleDownloaderEvents) {}

module_downloader::~module_downloader() {
  shutdown();
  close_lingering_modules();
}

HRESULT module_downloader::QueryInterface(REFIID riid, void** ppv) {
  return query_single_interface<IModuleDownloader>(this, IID_IModuleDownloader, riid, ppv);
}

HRESULT module_downloader::AttachEvents(IModuleDownloaderEvents* sink) { return events_.AttachEvents(sink); }

HRESULT module_downloader::DetachEvents(IModuleDownloaderEvents* sink) { return events_.DetachEvents(sink); }

HRESULT module_downloader::RequestDownload(tagSTRING module_name, USHORT major_version, USHORT minor_version) {
  request r{to_std_string(module_name), major_version, minor_version};
  platform::critical_section_lock lock(lock_);
  if (shut_down_) return E_UNEXPECTED;
  LOG4CPLUS_INFO(logger(), "RequestDownload " << r.name << " " << major_version << "." << minor_version);
  history_.push_back(r);
  pending_.push_back(std::move(r));
  return S_OK;
}

std::size_t module_downloader::complete_pending() {
  std::deque<request> batch;
  {
    platform::critical_section_lock lock(lock_);
    batch.swap(pending_);
  }
  for (const request& r : batch) {
    const ULONG code = install(r.name);
    LOG4CPLUS_INFO(logger(), "install " << r.name << " " << r.major << "." << r.minor << ": " << code);
    events_.broadcast(&IModuleDownloaderEvents::OnModuleInstallComplete, code, to_tag_string(r.name), r.major,
                      r.minor);
  }
  return batch.size();
}

std::size_t module_downloader::pending_count() const {
  platform::critical_section_lock lock(lock_);
  return pending_.size();
}

std::vector<module_downloader::request> module_downloader::requests() const {
  platform::critical_section_lock lock(lock_);
  return history_;
}

void module_downloader::fail_module(const std::string& name, ULONG code) {
  platform::critical_section_lock lock(lock_);
  forced_failures_[name] = code;
}

bool module_downloader::is_loaded(const std::string& name) const {
  platform::critical_section_lock lock(lock_);
  return std::any_of(loaded_.begin(), loaded_.end(), [&](const loaded_module& m) { return m.name == name; });
}

ULONG module_downloader::install(const std::string& name) {
  IDownloadLib* host;
  std::string path;
  {
    platform::critical_section_lock lock(lock_);
    auto forced = forced_failures_.find(name);
    if (forced != forced_failures_.end() && forced->second != module_install::ok) return forced->second;
    if (!valid_module_name(name)) return module_install::invalid_name;
    if (!host_ || shut_down_) return module_install::cancelled;
    for (const loaded_module& m : loaded_)
      if (m.name == name) return module_install::ok;  // installed and registered before
    if (modules_dir_.empty()) return module_install::path_not_found;
    host = host_;
    path = modules_dir_;
  }
  if (path.back() != '/') path += '/';
  path += "lib" + name + ".so";

  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return module_install::file_not_found;
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    LOG4CPLUS_WARN(logger(), "cannot open " << path << ": " << dl_error_text());
    return module_install::bad_format;
  }
  auto load = reinterpret_cast<DownloadLibModuleLoadProc>(dlsym(handle, kDownloadLibModuleLoadName));
  auto unload = reinterpret_cast<DownloadLibModuleUnloadProc>(dlsym(handle, kDownloadLibModuleUnloadName));
  if (!load || !unload) {
    LOG4CPLUS_WARN(logger(), path << " lacks its entry points");
    dlclose(handle);
    return module_install::entry_point_missing;
  }
  loaded_module module{name, handle, unload};
  const HRESULT hr = load(host);
  if (FAILED(hr)) {
    LOG4CPLUS_WARN(logger(), path << " refused to load: " << hr);
    close_module(module);
    return module_install::load_refused;
  }
  platform::critical_section_lock lock(lock_);
  loaded_.push_back(module);
  return module_install::ok;
}

bool module_downloader::close_module(const loaded_module& module) {
  if (module.unload() != S_OK) {
    // Objects of the module are still alive: keep its code mapped.
    LOG4CPLUS_WARN(logger(), "module " << module.name << " still in use, left loaded");
    return false;
  }
  dlclose(module.handle);
  return true;
}

void module_downloader::shutdown() {
  std::vector<loaded_module> modules;
  {
    platform::critical_section_lock lock(lock_);
    if (shut_down_) return;
    shut_down_ = true;
    if (!pending_.empty()) LOG4CPLUS_WARN(logger(), pending_.size() << " request(s) dropped at shutdown");
    pending_.clear();
    modules.swap(loaded_);
  }
  std::vector<loaded_module> in_use;
  for (auto it = modules.rbegin(); it != modules.rend(); ++it)
    if (!close_module(*it)) in_use.push_back(*it);
  platform::critical_section_lock lock(lock_);
  lingering_.insert(lingering_.end(), in_use.begin(), in_use.end());
  host_ = nullptr;
}

std::size_t module_downloader::close_lingering_modules() {
  std::vector<loaded_module> modules;
  {
    platform::critical_section_lock lock(lock_);
    modules.swap(lingering_);
  }
  std::vector<loaded_module> in_use;
  for (const loaded_module& m : modules)
    if (!close_module(m)) in_use.push_back(m);
  platform::critical_section_lock lock(lock_);
  lingering_.insert(lingering_.end(), in_use.begin(), in_use.end());
  return lingering_.size();
}
