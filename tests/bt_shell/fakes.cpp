#include "tests/bt_shell/fakes.h"

#include <sstream>

#include "interfaces/IVirtualTask.h"
#include "platform/guid.h"
#include "platform/mlang.h"

namespace bts_test {

void journal::add(std::string line) {
  std::lock_guard<std::mutex> lock(lock_);
  lines_.push_back(std::move(line));
}

std::vector<std::string> journal::lines(const std::string& prefix) const {
  std::lock_guard<std::mutex> lock(lock_);
  std::vector<std::string> found;
  for (const std::string& line : lines_)
    if (line.compare(0, prefix.size(), prefix) == 0) found.push_back(line);
  return found;
}

void journal::clear() {
  std::lock_guard<std::mutex> lock(lock_);
  lines_.clear();
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

HRESULT fake_answers::result(const std::string& operation) const {
  auto it = results.find(operation);
  return it == results.end() ? S_OK : it->second;
}

ULONG fake_answers::value(const std::string& operation) const {
  auto it = values.find(operation);
  return it == values.end() ? 0 : it->second;
}

namespace {

// QueryInterface of a fake: `self` for every identifier that `answers` accepts.
template <class Face>
HRESULT answer(Face* self, bool answers, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = answers ? self : nullptr;
  if (!answers) return E_NOINTERFACE;
  self->AddRef();
  return S_OK;
}

template <class Sink>
void attach(std::vector<com_ptr<Sink>>& sinks, Sink* sink) {
  sinks.emplace_back(sink);
}

template <class Sink>
HRESULT detach(std::vector<com_ptr<Sink>>& sinks, Sink* sink) {
  for (auto it = sinks.begin(); it != sinks.end(); ++it) {
    if (it->get() != sink) continue;
    sinks.erase(it);
    return S_OK;
  }
  return E_UNEXPECTED;
}

}  // namespace

HRESULT fake_host_service::QueryInterface(REFIID riid, void** ppv) {
  return answer(static_cast<IHostService*>(this), IsEqualIID(riid, IID_IHostService) || IsEqualIID(riid, IID_IUnknown),
                ppv);
}

HRESULT fake_host_service::GetNewConnectInfo(ULONG_PTR value1, ULONG_PTR value2, ULONG* size, ULONG* result) {
  *size = value("GetNewConnectInfo.size");
  *result = value("GetNewConnectInfo.result");
  return call("GetNewConnectInfo", value1, value2);
}

HRESULT fake_module_downloader::QueryInterface(REFIID riid, void** ppv) {
  return answer(static_cast<IModuleDownloader*>(this),
                IsEqualIID(riid, IID_IModuleDownloader) || IsEqualIID(riid, IID_IUnknown), ppv);
}

HRESULT fake_module_downloader::AttachEvents(IModuleDownloaderEvents* sink) {
  attach(sinks_, sink);
  return call("AttachEvents");
}

HRESULT fake_module_downloader::DetachEvents(IModuleDownloaderEvents* sink) {
  call("DetachEvents");
  return detach(sinks_, sink);
}

void fake_module_downloader::complete(ULONG code, const std::string& module) {
  const auto sinks = sinks_;
  for (const auto& sink : sinks) sink->OnModuleInstallComplete(code, to_tag_string(module), 1, 2);
}

HRESULT fake_p2p_hub::QueryInterface(REFIID riid, void** ppv) {
  return answer(static_cast<IP2p*>(this), IsEqualIID(riid, IID_IP2p) || IsEqualIID(riid, IID_IUnknown), ppv);
}

HRESULT fake_p2p_hub::NotifyFileMoved(tagSTRING old_path, tagSTRING new_path) {
  notices.push_back(to_std_string(old_path) + " -> " + to_std_string(new_path));
  return S_OK;
}

HRESULT fake_p2p_hub::NotifyFileDeleted(tagSTRING path) {
  notices.push_back(to_std_string(path));
  return S_OK;
}

fake_host::fake_host(std::shared_ptr<journal> log, fake_host_options options)
    : fake_object("host", log),
      service(options.host_service ? com_ptr<fake_host_service>::adopt(new fake_host_service("service", log))
                                   : nullptr),
      downloader(com_ptr<fake_module_downloader>::adopt(new fake_module_downloader("downloader", log))) {
  if (options.module_downloader) registry_[name_of(IID_IModuleDownloader)] = com_ptr<IUnknown>(downloader.get());
}

HRESULT fake_host::QueryInterface(REFIID riid, void** ppv) {
  return answer(static_cast<IDownloadLib*>(this), IsEqualIID(riid, IID_IDownloadLib) || IsEqualIID(riid, IID_IUnknown),
                ppv);
}

HRESULT fake_host::AttachEvents(IDownloadLibEvents* sink) {
  attach(sinks_, sink);
  return call("AttachEvents");
}

HRESULT fake_host::DetachEvents(IDownloadLibEvents* sink) {
  call("DetachEvents");
  return detach(sinks_, sink);
}

HRESULT fake_host::RegisterInstance(REFIID riid, IUnknown* object) {
  registry_[name_of(riid)] = com_ptr<IUnknown>(object);
  const HRESULT hr = call("RegisterInstance", name_of(riid));
  for (const auto& sink : std::vector<com_ptr<IDownloadLibEvents>>(sinks_)) sink->OnRegisterInstance(riid, object);
  return hr;
}

HRESULT fake_host::UnregisterInstance(REFIID riid) {
  registry_.erase(name_of(riid));
  const HRESULT hr = call("UnregisterInstance", name_of(riid));
  for (const auto& sink : std::vector<com_ptr<IDownloadLibEvents>>(sinks_)) sink->OnUnregisterInstance(riid);
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
  if (!IsEqualIID(clsid, CLSID_HostService) || !service) return E_FAIL;
  return service->QueryInterface(riid, ppv);
}

fake_p2p_hub* fake_host::register_hub() {
  auto hub = com_ptr<fake_p2p_hub>::adopt(new fake_p2p_hub("hub", journal_));
  RegisterInstance(IID_IP2p, static_cast<IP2p*>(hub.get()));
  return hub.get();  // held by the registry
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
    : fake_object("task" + std::to_string(id), kernel.journal_), kernel_(kernel), id_(id), events_(IID_IBtTaskEvents) {
  kernel_.AddRef();
  std::lock_guard<std::mutex> lock(kernel_.tasks_lock_);
  kernel_.tasks_[id_] = this;
  ++kernel_.alive_;
}

fake_task::~fake_task() {
  {
    std::lock_guard<std::mutex> lock(kernel_.tasks_lock_);
    kernel_.tasks_.erase(id_);
    --kernel_.alive_;
  }
  kernel_.Release();
}

HRESULT fake_task::QueryInterface(REFIID riid, void** ppv) {
  const fake_kernel_options& o = kernel_.options;
  if (IsEqualIID(riid, IID_IAcceleratable))
    return answer(static_cast<IAcceleratable*>(this), o.acceleratable, ppv);
  const bool task = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ITask) || IsEqualIID(riid, IID_IBtTask) ||
                    (IsEqualIID(riid, IID_IBtTask2) && o.task2) || (IsEqualIID(riid, IID_IBtTask3) && o.task3);
  return answer(static_cast<IBtTask3*>(this), task, ppv);
}

void fake_task::raise(int event, ULONG_PTR value) {
  using event_method = HRESULT (STDMETHODCALLTYPE IBtTaskEvents::*)(ULONG_PTR);
  const event_method methods[] = {&IBtTaskEvents::OnBtTaskEvent1, &IBtTaskEvents::OnBtTaskEvent2,
                                  &IBtTaskEvents::OnBtTaskEvent3, &IBtTaskEvents::OnBtTaskEvent4};
  events_.broadcast(methods[event - 1], value);
}

HRESULT fake_task::GetStopFlag(BOOL* flag) {
  *flag = 0;
  return task_call("GetStopFlag");
}

HRESULT fake_task::GetResourceCount(ULONG* count) {
  *count = kernel_.task_answers.value("GetResourceCount");
  return task_call("GetResourceCount");
}

HRESULT fake_task::GetFailureDetail(LONG* code) {
  *code = static_cast<LONG>(kernel_.task_answers.value("GetFailureDetail"));
  return task_call("GetFailureDetail");
}

HRESULT fake_task::AttachEvents(IBtTaskEvents* sink) {
  task_call("AttachEvents");
  return events_.AttachEvents(sink);
}

HRESULT fake_task::DetachEvents(IBtTaskEvents* sink) {
  task_call("DetachEvents");
  return events_.DetachEvents(sink);
}

HRESULT fake_kernel::QueryInterface(REFIID riid, void** ppv) {
  if (IsEqualIID(riid, IID_IBitTorrentTest))
    return answer(static_cast<IBitTorrentTest*>(this), options.test_interface, ppv);
  return answer(static_cast<IBitTorrentKernel*>(this),
                IsEqualIID(riid, IID_IBitTorrentKernel) || IsEqualIID(riid, IID_IUnknown), ppv);
}

com_ptr<fake_task> fake_kernel::task(ULONG id) const {
  std::lock_guard<std::mutex> lock(tasks_lock_);
  auto it = tasks_.find(id);
  return it == tasks_.end() ? nullptr : com_ptr<fake_task>(it->second);
}

HRESULT fake_kernel::AttachEvents(IBitTorrentEvents* sink) {
  call("AttachEvents");
  return events_.AttachEvents(sink);
}

HRESULT fake_kernel::DetachEvents(IBitTorrentEvents* sink) {
  call("DetachEvents");
  return events_.DetachEvents(sink);
}

HRESULT fake_kernel::GetReimportProgress(BYTE* progress) {
  *progress = static_cast<BYTE>(value("GetReimportProgress"));
  return call("GetReimportProgress");
}

HRESULT fake_kernel::create(const char* operation, tagSTRING seed, tagSTRING data, ULONG n1, const ULONG* l1,
                            ULONG n2, const SEED_TRACKER_ITEM* l2, IBtTask** task) {
  std::string trackers = "[";
  for (ULONG i = 0; i < n2; ++i)
    trackers += (i ? "," : "") + text_of(tagSTRING{l2[i].url_len, l2[i].url});
  const HRESULT hr = call(operation, seed, data, list_of(n1, l1), trackers + "]");
  if (FAILED(hr)) return hr;
  *task = static_cast<IBtTask3*>(new fake_task(*this, ++created_));
  return hr;
}

}  // namespace bts_test
