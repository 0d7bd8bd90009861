#include "tests/bt_shell/fakes.h"

#include <sstream>

#include "platform/guid.h"
#include "platform/mlang.h"

namespace bts_test {

std::vector<std::string> journal::lines(const std::string& prefix) const {
  std::lock_guard<std::mutex> lock(lock_);
  std::vector<std::string> found;
  for (const std::string& line : lines_)
    if (line.compare(0, prefix.size(), prefix) == 0) found.push_back(line);
  return found;
}

std::string text_of(const tagSTRING& s) { return std::to_string(s.len) + ":\"" + to_std_string(s) + "\""; }

std::string list_of(ULONG count, const ULONG* items) {
  std::string text = "[";
  for (ULONG i = 0; i < count; ++i) text += (i ? "," : "") + std::to_string(items[i]);
  return text + "]";
}

std::string pointer_of(const void* p) {
  std::ostringstream s;
  s << p;
  return s.str();
}

namespace {

// QueryInterface's answer: `face` when `served`.
template <class Face>
HRESULT answer(Face* face, bool served, void** ppv) {
  *ppv = served ? face : nullptr;
  if (!served) return E_NOINTERFACE;
  face->AddRef();
  return S_OK;
}

}  // namespace

fake_host::fake_host(std::shared_ptr<journal> log, fake_host_options options)
    : fake_object("host", std::move(log)),
      options_(options),
      registry_sinks_(IID_IDownloadLibEvents),
      downloader_sinks_(IID_IModuleDownloaderEvents) {
  if (options.module_downloader) registry_[name_of(IID_IModuleDownloader)] = static_cast<IModuleDownloader*>(this);
}

HRESULT fake_host::QueryInterface(REFIID riid, void** ppv) {
  if (IsEqualIID(riid, IID_IHostService)) return answer(static_cast<IHostService*>(this), options_.host_service, ppv);
  if (IsEqualIID(riid, IID_IModuleDownloader)) return answer(static_cast<IModuleDownloader*>(this), true, ppv);
  if (IsEqualIID(riid, IID_IP2p)) return answer(static_cast<IP2p*>(this), true, ppv);
  return answer(static_cast<IDownloadLib*>(this), IsEqualIID(riid, IID_IDownloadLib) || IsEqualIID(riid, IID_IUnknown),
                ppv);
}

HRESULT fake_host::RegisterInstance(REFIID riid, IUnknown* object) {
  held_.emplace_back(object);
  registry_[name_of(riid)] = object;
  const HRESULT hr = call("RegisterInstance", name_of(riid));
  registry_sinks_.broadcast(&IDownloadLibEvents::OnRegisterInstance, riid, object);
  return hr;
}

HRESULT fake_host::UnregisterInstance(REFIID riid) {
  registry_.erase(name_of(riid));
  const HRESULT hr = call("UnregisterInstance", name_of(riid));
  registry_sinks_.broadcast(&IDownloadLibEvents::OnUnregisterInstance, riid);
  return hr;
}

HRESULT fake_host::GetInstance(REFIID riid, void** ppv) {
  *ppv = nullptr;
  call("GetInstance", name_of(riid));
  auto it = registry_.find(name_of(riid));
  return it == registry_.end() || !it->second ? E_NOINTERFACE : it->second->QueryInterface(riid, ppv);
}

HRESULT fake_host::CreateInstance(REFCLSID clsid, REFIID riid, void** ppv) {
  *ppv = nullptr;
  call("CreateInstance", name_of(clsid), name_of(riid));
  if (!IsEqualIID(clsid, CLSID_HostService) || !options_.host_service) return E_FAIL;
  return QueryInterface(riid, ppv);
}

std::string fake_host::name_of(REFIID riid) {
  const std::pair<IID, const char*> known[] = {
      {IID_IMultiLanguage2, "IMultiLanguage2"}, {IID_IModuleDownloader, "IModuleDownloader"},
      {IID_IBitTorrent, "IBitTorrent"},         {IID_IBitTorrentKernel, "IBitTorrentKernel"},
      {CLSID_HostService, "HostService"},       {IID_IHostService, "IHostService"},
      {IID_IP2p, "IP2p"},
  };
  for (const auto& [iid, name] : known)
    if (IsEqualIID(riid, iid)) return name;
  return platform::guid_to_string(riid);
}

fake_task::fake_task(fake_kernel& kernel, ULONG id)
    : fake_object("task" + std::to_string(id), kernel.journal_), kernel_(kernel), events_(IID_IBtTaskEvents) {
  kernel_.AddRef();
  kernel_.made_.push_back(this);
  ++kernel_.alive_;
}

fake_task::~fake_task() {
  --kernel_.alive_;
  kernel_.Release();
}

HRESULT fake_task::QueryInterface(REFIID riid, void** ppv) {
  const fake_kernel_options& o = kernel_.options;
  if (IsEqualIID(riid, IID_IAcceleratable)) return answer(static_cast<IAcceleratable*>(this), o.acceleratable, ppv);
  return answer(static_cast<IBtTask3*>(this),
                IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ITask) || IsEqualIID(riid, IID_IBtTask) ||
                    (IsEqualIID(riid, IID_IBtTask2) && o.task2) || (IsEqualIID(riid, IID_IBtTask3) && o.task3),
                ppv);
}

void fake_task::raise(int event, ULONG_PTR value) {
  using event_method = HRESULT (STDMETHODCALLTYPE IBtTaskEvents::*)(ULONG_PTR);
  const event_method methods[] = {&IBtTaskEvents::OnBtTaskEvent1, &IBtTaskEvents::OnBtTaskEvent2,
                                  &IBtTaskEvents::OnBtTaskEvent3, &IBtTaskEvents::OnBtTaskEvent4};
  events_.broadcast(methods[event - 1], value);
}

HRESULT fake_kernel::QueryInterface(REFIID riid, void** ppv) {
  if (IsEqualIID(riid, IID_IBitTorrentTest))
    return answer(static_cast<IBitTorrentTest*>(this), options.test_interface, ppv);
  return answer(static_cast<IBitTorrentKernel*>(this),
                IsEqualIID(riid, IID_IBitTorrentKernel) || IsEqualIID(riid, IID_IUnknown), ppv);
}

HRESULT fake_kernel::create(const char* operation, tagSTRING seed, tagSTRING data, ULONG n1, const ULONG* l1,
                            ULONG n2, const SEED_TRACKER_ITEM* l2, IBtTask** task) {
  std::string trackers = "[";
  for (ULONG i = 0; i < n2; ++i) trackers += (i ? "," : "") + text_of(tagSTRING{l2[i].url_len, l2[i].url});
  const HRESULT hr = call(operation, seed, data, list_of(n1, l1), trackers + "]");
  if (SUCCEEDED(hr)) *task = static_cast<IBtTask3*>(new fake_task(*this, static_cast<ULONG>(made_.size() + 1)));
  return hr;
}

}  // namespace bts_test
