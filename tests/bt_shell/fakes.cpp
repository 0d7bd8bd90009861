#include "tests/bt_shell/fakes.h"

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
    : CUnknownMultiThread("fake_host"),
      journal_(std::move(log)),
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
  const HRESULT hr = call("host", "RegisterInstance", name_of(riid));
  registry_sinks_.broadcast(&IDownloadLibEvents::OnRegisterInstance, riid, object);
  return hr;
}

HRESULT fake_host::UnregisterInstance(REFIID riid) {
  registry_.erase(name_of(riid));
  const HRESULT hr = call("host", "UnregisterInstance", name_of(riid));
  registry_sinks_.broadcast(&IDownloadLibEvents::OnUnregisterInstance, riid);
  return hr;
}

HRESULT fake_host::GetInstance(REFIID riid, void** ppv) {
  *ppv = nullptr;
  call("host", "GetInstance", name_of(riid));
  auto it = registry_.find(name_of(riid));
  return it == registry_.end() || !it->second ? E_NOINTERFACE : it->second->QueryInterface(riid, ppv);
}

HRESULT fake_host::CreateInstance(REFCLSID clsid, REFIID riid, void** ppv) {
  *ppv = nullptr;
  call("host", "CreateInstance", name_of(clsid), name_of(riid));
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

probe_answers::probe_answers(const kernel_probe& probe, const std::string& owner)
    : results([&probe, owner](const std::string& operation, HRESULT hr) { probe.set_result(owner + "." + operation, hr); }),
      values([&probe, owner](const std::string& name, ULONG value) {
        // The field of the one value an operation writes.
        static const std::map<std::string, std::string> fields = {
            {"GetResourceCount", ".count"}, {"GetFailureDetail", ".code"}, {"GetReimportProgress", ".progress"}};
        const auto field = fields.find(name);
        probe.set_value(owner + "." + name + (field == fields.end() ? "" : field->second), value);
      }) {}

fake_kernel::fake_kernel(std::shared_ptr<journal> log)
    : journal_(std::move(log)),
      probe(static_cast<IBitTorrentKernel*>(kernel_.get())),
      answers(probe, "kernel"),
      task_answers(probe, "task"),
      options{{probe, BT_KERNEL_TEST_INTERFACE},
              {probe, BT_KERNEL_TASK_BTTASK2},
              {probe, BT_KERNEL_TASK_BTTASK3},
              {probe, BT_KERNEL_TASK_ACCELERATABLE}} {
  on_call(nullptr);
}

void fake_kernel::on_call(std::function<void(const std::string& line)> hook) {
  kernel_->observe_journal([log = journal_, hook = std::move(hook)](const std::string& line) {
    log->add(line);
    if (hook) hook(line);
  });
}

}  // namespace bts_test
