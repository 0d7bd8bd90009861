#include "host/btshell/kernel_link.h"

#include <algorithm>

#include "com_utility/StringSetter.h"
#include "interfaces/string_types.h"

namespace btshell {
namespace {

// The kernel's value of a task's limit that no host set: none.
constexpr char kTaskDefault[] = "0";

// Later values of a key replace earlier ones; the values that changed what
// `into` held (a key it lacks holding `unset`; nullptr: a key it lacks
// always changes).
setting_values merge(setting_values& into, const setting_values& values, const char* unset = nullptr) {
  setting_values changed;
  for (const auto& [key, value] : values) {
    const auto kept = std::find_if(into.begin(), into.end(), [&](const auto& k) { return k.first == key; });
    if (kept == into.end()) {
      if (!unset || value != unset) changed.emplace_back(key, value);
      into.emplace_back(key, value);
    } else if (kept->second != value) {
      changed.emplace_back(key, value);
      kept->second = value;
    }
  }
  return changed;
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
  if (!refused.empty()) {
    std::lock_guard<std::mutex> hold(lock_);
    refused_ += (refused_.empty() ? "" : ", ") + refused;
  }
  return refused;
}

void kernel_link::keep_own_values(IBtKernelSettings* settings, const std::vector<std::string>& keys) {
  std::map<std::string, std::string> own;
  for (const std::string& key : keys) own.emplace(key, value(settings, key));
  std::lock_guard<std::mutex> hold(lock_);
  own_.insert(own.begin(), own.end());  // a value kept before stays
}

std::string kernel_link::refused() const {
  std::lock_guard<std::mutex> hold(lock_);
  return refused_;
}

std::string kernel_link::value(IBtKernelSettings* settings, const std::string& key) {
  std::string text;
  CStringSetter setter(&text);
  if (!settings || FAILED(settings->GetValue(to_tag_string(key), &setter))) return std::string();
  return text;
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
  std::vector<std::string> keys;
  for (const auto& [key, unused] : session) keys.push_back(key);
  keep_own_values(settings.get(), keys);
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
  std::vector<std::string> first_set;  // keys the kernel holds its own value of still
  {
    std::lock_guard<std::mutex> hold(lock_);
    merge(session_, values);  // all of them go: the kernel's own file may hold others
    settings = settings_;
    if (settings)
      for (const auto& [key, unused] : values)
        if (!own_.count(key)) first_set.push_back(key);
  }
  if (!settings) return std::string();
  keep_own_values(settings.get(), first_set);
  return apply(settings.get(), nullptr, values);
}

std::string kernel_link::set_task(const std::string& hash, const setting_values& values) {
  // Only what changes goes to the kernel: a daemon applies every task's
  // limits as it adds or restores it, most of them none, and each call
  // looks through all of the kernel's tasks.
  com_ptr<IBtKernelSettings> settings;
  setting_values changed;
  {
    std::lock_guard<std::mutex> hold(lock_);
    changed = merge(tasks_[hash], values, kTaskDefault);
    settings = settings_;
  }
  return settings && !changed.empty() ? apply(settings.get(), &hash, changed) : std::string();
}

void kernel_link::forget_task(const std::string& hash) {
  // The kernel keeps a torrent's limits after its task is gone: set back to
  // none, so that the torrent added again starts from what set_task assumes.
  com_ptr<IBtKernelSettings> settings;
  setting_values reset;
  {
    std::lock_guard<std::mutex> hold(lock_);
    const auto held = tasks_.find(hash);
    if (held == tasks_.end()) return;
    for (const auto& [key, value] : held->second)
      if (value != kTaskDefault) reset.emplace_back(key, kTaskDefault);
    tasks_.erase(held);
    settings = settings_;
  }
  if (settings && !reset.empty()) apply(settings.get(), &hash, reset);
}

std::string kernel_link::session_value(const std::string& key) const {
  com_ptr<IBtKernelSettings> settings;
  {
    std::lock_guard<std::mutex> hold(lock_);
    settings = settings_;
  }
  return value(settings.get(), key);
}

std::string kernel_link::own_value(const std::string& key) const {
  {
    std::lock_guard<std::mutex> hold(lock_);
    const auto kept = own_.find(key);
    if (kept != own_.end()) return kept->second;
  }
  return session_value(key);
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
