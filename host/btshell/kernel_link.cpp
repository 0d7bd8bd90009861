#include "host/btshell/kernel_link.h"

#include "com_utility/StringSetter.h"
#include "interfaces/string_types.h"

namespace btshell {
namespace {

// Later values of a key replace earlier ones.
void merge(setting_values& into, const setting_values& values) {
  for (const auto& [key, value] : values) {
    bool found = false;
    for (auto& kept : into)
      if (kept.first == key) {
        kept.second = value;
        found = true;
      }
    if (!found) into.emplace_back(key, value);
  }
}

}  // namespace

com_ptr<kernel_link> kernel_link::create() { return com_ptr<kernel_link>::adopt(new kernel_link); }

HRESULT kernel_link::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDownloadLibEvents) {
    *ppv = static_cast<IDownloadLibEvents*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

std::string kernel_link::apply(IBtKernelSettings* settings, const std::string* hash, const setting_values& values) {
  std::string refused;
  for (const auto& [key, value] : values) {
    const HRESULT hr = hash ? settings->SetTaskValue(to_tag_string(*hash), to_tag_string(key), to_tag_string(value))
                            : settings->SetValue(to_tag_string(key), to_tag_string(value));
    if (FAILED(hr)) refused += (refused.empty() ? "" : ", ") + key + "=" + value;
  }
  return refused;
}

HRESULT kernel_link::OnRegisterInstance(REFIID riid, IUnknown* object) {
  if (!object) return S_OK;
  if (riid == IID_IBtMetadataFetcher) {
    com_ptr<IBtMetadataFetcher> fetcher;
    if (SUCCEEDED(object->QueryInterface(IID_IBtMetadataFetcher, reinterpret_cast<void**>(fetcher.put())))) {
      std::lock_guard<std::mutex> hold(lock_);
      fetcher_ = std::move(fetcher);
    }
    return S_OK;
  }
  if (riid != IID_IBtKernelSettings) return S_OK;
  com_ptr<IBtKernelSettings> settings;
  if (FAILED(object->QueryInterface(IID_IBtKernelSettings, reinterpret_cast<void**>(settings.put())))) return S_OK;
  setting_values session;
  std::map<std::string, setting_values> tasks;
  {
    std::lock_guard<std::mutex> hold(lock_);
    settings_ = settings;
    session = session_;
    tasks = tasks_;
  }
  apply(settings.get(), nullptr, session);
  for (const auto& [hash, values] : tasks) apply(settings.get(), &hash, values);
  return S_OK;
}

HRESULT kernel_link::OnUnregisterInstance(REFIID riid) {
  std::lock_guard<std::mutex> hold(lock_);
  if (riid == IID_IBtKernelSettings) settings_.reset();
  if (riid == IID_IBtMetadataFetcher) fetcher_.reset();
  return S_OK;
}

std::string kernel_link::set_session(const setting_values& values) {
  com_ptr<IBtKernelSettings> settings;
  {
    std::lock_guard<std::mutex> hold(lock_);
    merge(session_, values);
    settings = settings_;
  }
  return settings ? apply(settings.get(), nullptr, values) : std::string();
}

std::string kernel_link::set_task(const std::string& hash, const setting_values& values) {
  com_ptr<IBtKernelSettings> settings;
  {
    std::lock_guard<std::mutex> hold(lock_);
    merge(tasks_[hash], values);
    settings = settings_;
  }
  return settings ? apply(settings.get(), &hash, values) : std::string();
}

void kernel_link::forget_task(const std::string& hash) {
  std::lock_guard<std::mutex> hold(lock_);
  tasks_.erase(hash);
}

std::string kernel_link::session_value(const std::string& key) const {
  com_ptr<IBtKernelSettings> settings;
  {
    std::lock_guard<std::mutex> hold(lock_);
    settings = settings_;
  }
  std::string value;
  CStringSetter setter(&value);
  if (!settings || FAILED(settings->GetValue(to_tag_string(key), &setter))) return std::string();
  return value;
}

com_ptr<IBtMetadataFetcher> kernel_link::fetcher() const {
  std::lock_guard<std::mutex> hold(lock_);
  return fetcher_;
}

void kernel_link::close() {
  com_ptr<IBtKernelSettings> settings;
  com_ptr<IBtMetadataFetcher> fetcher;
  std::lock_guard<std::mutex> hold(lock_);
  settings = std::move(settings_);
  fetcher = std::move(fetcher_);
}

}  // namespace btshell
