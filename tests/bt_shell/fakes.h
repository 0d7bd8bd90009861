// What the shell and its proxy tasks talk to in the shell's tests: a small
// recording fake of the host (instance registry, host service, module
// downloader, P2P hub) and the recording kernel (host/recording_kernel),
// made in-process.
//
// Every call the module makes on them becomes a line of one journal: the
// host's as "<object>.<operation>(<arguments>)" (texts as 3:"abc"), the
// kernel's and its tasks' as the recording kernel writes them
// (interfaces/IBtKernelProbe.h), copied in as they are written, so that the
// journal keeps the order of both. The journal is thread-safe, so proxies may
// be released on other threads while the kernel arrives.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include "com_utility/EventsRaiser.h"
#include "com_utility/UnknownBase.h"
#include "host/kernel_probe/kernel_probe.h"
#include "host/recording_kernel/recording_kernel.h"
#include "interfaces/IDownloadLib.h"
#include "interfaces/IHostService.h"
#include "interfaces/IModuleDownloader.h"
#include "interfaces/IP2p.h"
#include "platform/com_ptr.h"

namespace bts_test {

class journal {
 public:
  void add(std::string line) {
    std::lock_guard<std::mutex> hold(lock_);
    lines_.push_back(std::move(line));
  }
  // The lines that begin with `prefix`, in order.
  std::vector<std::string> lines(const std::string& prefix = "") const;
  void clear() {
    std::lock_guard<std::mutex> hold(lock_);
    lines_.clear();
  }

 private:
  mutable std::mutex lock_;
  std::vector<std::string> lines_;
};

// Argument texts of the host's journal lines.
std::string text_of(const tagSTRING& s);
template <class T>
std::string arg_of(const T& value) {
  if constexpr (std::is_same_v<T, tagSTRING>)
    return text_of(value);
  else if constexpr (std::is_same_v<T, std::string>)
    return value;
  else
    return std::to_string(value);
}

struct fake_host_options {
  bool host_service = true;
  bool module_downloader = true;
};

// The host in one object: an instance registry that tells its sinks of
// registrations (journaled as "host."), the host service it creates
// ("service."), the module downloader registered in it ("downloader.") and,
// once registered, the P2P hub. Every operation answers S_OK.
class fake_host final : public IDownloadLib,
                        public IHostService,
                        public IModuleDownloader,
                        public IP2p,
                        public CUnknownMultiThread {
 public:
  fake_host(std::shared_ptr<journal> log, fake_host_options options);
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return CUnknownMultiThread::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return CUnknownMultiThread::Release(); }

  // IDownloadLib
  HRESULT STDMETHODCALLTYPE AttachEvents(IDownloadLibEvents* sink) override {
    return call("host", "AttachEvents"), registry_sinks_.AttachEvents(sink);
  }
  HRESULT STDMETHODCALLTYPE DetachEvents(IDownloadLibEvents* sink) override {
    return call("host", "DetachEvents"), registry_sinks_.DetachEvents(sink);
  }
  HRESULT STDMETHODCALLTYPE RegisterInstance(REFIID riid, IUnknown* object) override;
  HRESULT STDMETHODCALLTYPE UnregisterInstance(REFIID riid) override;
  HRESULT STDMETHODCALLTYPE GetInstance(REFIID riid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE CreateInstance(REFCLSID clsid, REFIID riid, void** ppv) override;
  // IHostService; GetNewConnectInfo writes the values "GetNewConnectInfo.size" and ".result".
  HRESULT STDMETHODCALLTYPE ReportEvent(ULONG kind, ULONG id, LONG param1, LONG param2) override {
    return call("service", "ReportEvent", kind, id, param1, param2);
  }
  HRESULT STDMETHODCALLTYPE GetNewConnectInfo(ULONG_PTR a, ULONG_PTR b, ULONG* size, ULONG* result) override {
    *size = answers.values["GetNewConnectInfo.size"];
    *result = answers.values["GetNewConnectInfo.result"];
    return call("service", "GetNewConnectInfo", a, b);
  }
  // IModuleDownloader
  HRESULT STDMETHODCALLTYPE AttachEvents(IModuleDownloaderEvents* sink) override {
    last_attached = com_ptr<IModuleDownloaderEvents>(sink);
    return call("downloader", "AttachEvents"), downloader_sinks_.AttachEvents(sink);
  }
  HRESULT STDMETHODCALLTYPE DetachEvents(IModuleDownloaderEvents* sink) override {
    return call("downloader", "DetachEvents"), downloader_sinks_.DetachEvents(sink);
  }
  HRESULT STDMETHODCALLTYPE RequestDownload(tagSTRING name, USHORT major, USHORT minor) override {
    return call("downloader", "RequestDownload", name, major, minor);
  }
  // IP2p: each notice is kept, "path" for a deletion, "old -> new" for a move.
  HRESULT STDMETHODCALLTYPE NotifyFileMoved(tagSTRING old_path, tagSTRING new_path) override {
    return notices.push_back(to_std_string(old_path) + " -> " + to_std_string(new_path)), S_OK;
  }
  HRESULT STDMETHODCALLTYPE NotifyFileDeleted(tagSTRING path) override {
    return notices.push_back(to_std_string(path)), S_OK;
  }
#define BTS_UNUSED(name) \
  HRESULT STDMETHODCALLTYPE name() override { return E_NOTIMPL; }
  BTS_UNUSED(Reserved3) BTS_UNUSED(Reserved4) BTS_UNUSED(Reserved5) BTS_UNUSED(Reserved6) BTS_UNUSED(Reserved7)
  BTS_UNUSED(Reserved8) BTS_UNUSED(Reserved9) BTS_UNUSED(Reserved10) BTS_UNUSED(Reserved11)
#undef BTS_UNUSED

  bool is_registered(REFIID riid) const { return registry_.count(name_of(riid)) != 0; }
  // The module downloader reports the end of a request (version 1.2) to its sinks.
  void complete(ULONG code, const std::string& module = "bt_kernel") {
    downloader_sinks_.broadcast(&IModuleDownloaderEvents::OnModuleInstallComplete, code, to_tag_string(module),
                                USHORT{1}, USHORT{2});
  }
  void register_hub() { registry_[name_of(IID_IP2p)] = static_cast<IP2p*>(this); }
  static std::string name_of(REFIID riid);

  struct {
    std::map<std::string, ULONG> values;  // out-values by name, 0 unless set
  } answers;
  // Kept after its detach: a downloader that answers once too often.
  com_ptr<IModuleDownloaderEvents> last_attached;
  std::vector<std::string> notices;

 private:
  // Journals "<object>.<operation>(<arguments>)".
  template <class... A>
  HRESULT call(const char* object, const char* operation, const A&... args) {
    std::string line = std::string(object) + "." + operation + "(";
    ((line += arg_of(args) + ","), ...);
    if (line.back() == ',') line.pop_back();
    journal_->add(line + ")");
    return S_OK;
  }

  std::shared_ptr<journal> journal_;
  const fake_host_options options_;
  std::map<std::string, IUnknown*> registry_;  // the host's own faces, or objects held below
  std::vector<com_ptr<IUnknown>> held_;
  CEventsRaiser<IDownloadLibEvents, unlimited_sinks> registry_sinks_;
  CEventsRaiser<IModuleDownloaderEvents, unlimited_sinks> downloader_sinks_;
};

// Writes what a test assigns, name by name, to one kind of the recording
// kernel's answers: setting[name] = value, or setting = {{name, value}, ...}.
template <class V>
class probe_setting {
 public:
  explicit probe_setting(std::function<void(const std::string& name, V value)> set) : set_(std::move(set)) {}
  struct assignment {
    const probe_setting& setting;
    std::string name;
    void operator=(V value) const { setting.set_(name, value); }
  };
  assignment operator[](const std::string& name) const { return {*this, name}; }
  void operator=(const std::map<std::string, V>& all) const {
    for (const auto& [name, value] : all) set_(name, value);
  }

 private:
  std::function<void(const std::string& name, V value)> set_;
};

// The results (by operation) and out-values of the kernel's or of every
// task's operations. A value's name is "<operation>.<field>" as
// IBtKernelProbe.h lists them, or the operation alone for the one value it
// writes (GetResourceCount, GetFailureDetail, GetReimportProgress).
struct probe_answers {
  probe_answers(const kernel_probe& probe, const std::string& owner);
  probe_setting<HRESULT> results;
  probe_setting<ULONG> values;
};

// A switch of IBtKernelProbe.h: option = on.
struct probe_option {
  const kernel_probe& probe;
  ULONG option;
  void operator=(bool on) const { probe.set_option(option, on); }
};

// A recording kernel made in-process whose journal goes to the test's
// journal; what it answers is set through the fields below (or the probe).
// The kernel itself lives on while the shell or a task holds it.
class fake_kernel {
  com_ptr<recording_kernel> kernel_ = recording_kernel::create();  // first: the members below use it
  std::shared_ptr<journal> journal_;

 public:
  explicit fake_kernel(std::shared_ptr<journal> log);
  fake_kernel(const fake_kernel&) = delete;
  fake_kernel& operator=(const fake_kernel&) = delete;

  // The object a host registers under IID_IBitTorrentKernel.
  IBitTorrentKernel* object() const { return kernel_.get(); }
  ULONG tasks_alive() const { return probe.tasks_alive(); }
  // `hook` runs inside the call that writes a line, once the line is
  // journaled (recording_kernel::observe_journal). Set it before the kernel is used.
  void on_call(std::function<void(const std::string& line)> hook);

  const kernel_probe probe;
  probe_answers answers, task_answers;  // of the kernel's and of every task's operations
  const struct {
    probe_option test_interface, task2, task3, acceleratable;
  } options;
};

}  // namespace bts_test
