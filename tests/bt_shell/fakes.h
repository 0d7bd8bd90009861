// Small recording fakes of what the shell and its proxy tasks talk to: the
// host (instance registry, host service, module downloader, P2P hub) and the
// kernel with its tasks.
//
// Every call the module makes on them becomes a line "<object>.<operation>(
// <arguments>)" of one journal (texts as 3:"abc", lists as [1,2]); results
// and out-values can be set per operation. The journal and the task counts
// are thread-safe, so proxies may be released on other threads while the
// kernel arrives.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include "com_utility/EventsRaiser.h"
#include "com_utility/UnknownBase.h"
#include "interfaces/IAcceleratable.h"
#include "interfaces/IBitTorrent.h"
#include "interfaces/IBtTask.h"
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

// Argument texts of journal lines.
std::string text_of(const tagSTRING& s);
std::string list_of(ULONG count, const ULONG* items);
std::string pointer_of(const void* p);
template <class T>
std::string arg_of(const T& value) {
  if constexpr (std::is_same_v<T, tagSTRING>)
    return text_of(value);
  else if constexpr (std::is_enum_v<T>)
    return std::to_string(static_cast<std::underlying_type_t<T>>(value));
  else if constexpr (std::is_pointer_v<T>)
    return pointer_of(value);
  else if constexpr (std::is_same_v<T, std::string>)
    return value;
  else
    return std::to_string(value);
}
template <class... A>
std::string call_of(const std::string& operation, const A&... args) {
  std::string line = operation + "(";
  ((line += arg_of(args) + ","), ...);
  if (line.back() == ',') line.pop_back();
  return line + ")";
}

// What a fake answers, per operation: S_OK and 0 unless set.
struct fake_answers {
  std::map<std::string, HRESULT> results;
  std::map<std::string, ULONG> values;
  HRESULT result(const std::string& operation) const { return results.count(operation) ? results.at(operation) : S_OK; }
  ULONG value(const std::string& operation) const { return values.count(operation) ? values.at(operation) : 0; }
};

// A counted object that journals its calls as "<name>.<call>" (or under
// another name it stands for).
class fake_object : public CUnknownMultiThread {
 public:
  fake_object(std::string name, std::shared_ptr<journal> log)
      : CUnknownMultiThread("fake"), name_(std::move(name)), journal_(std::move(log)) {}
  fake_answers answers;

 protected:
  template <class... A>
  HRESULT call(const char* operation, const A&... args) {
    return as(name_, operation, args...);
  }
  template <class... A>
  HRESULT as(const std::string& object, const char* operation, const A&... args) {
    journal_->add(object + "." + call_of(operation, args...));
    return answers.result(operation);
  }

  std::string name_;
  std::shared_ptr<journal> journal_;
};

#define BTS_COUNTED                                                                    \
  ULONG STDMETHODCALLTYPE AddRef() override { return CUnknownMultiThread::AddRef(); } \
  ULONG STDMETHODCALLTYPE Release() override { return CUnknownMultiThread::Release(); }
// An operation the module never calls on the fake.
#define BTS_UNUSED(name, params) \
  HRESULT STDMETHODCALLTYPE name params override { return E_NOTIMPL; }
// An operation journaled with the arguments after its parameter list.
#define BTS_JOURNALED(call, name, params, ...) \
  HRESULT STDMETHODCALLTYPE name params override { return call(#name, ##__VA_ARGS__); }
// A journaled query that writes the configured value of its operation.
#define BTS_ANSWERING(call, answers, name, T) \
  HRESULT STDMETHODCALLTYPE name(T* out) override { return *out = static_cast<T>(answers.value(#name)), call(#name); }

struct fake_host_options {
  bool host_service = true;
  bool module_downloader = true;
};

// The host in one object: an instance registry that tells its sinks of
// registrations (journaled as "host."), the host service it creates
// ("service."), the module downloader registered in it ("downloader.") and,
// once registered, the P2P hub.
class fake_host final : public IDownloadLib,
                        public IHostService,
                        public IModuleDownloader,
                        public IP2p,
                        public fake_object {
 public:
  fake_host(std::shared_ptr<journal> log, fake_host_options options);
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  BTS_COUNTED

  // IDownloadLib
  HRESULT STDMETHODCALLTYPE AttachEvents(IDownloadLibEvents* sink) override {
    return call("AttachEvents"), registry_sinks_.AttachEvents(sink);
  }
  HRESULT STDMETHODCALLTYPE DetachEvents(IDownloadLibEvents* sink) override {
    return call("DetachEvents"), registry_sinks_.DetachEvents(sink);
  }
  HRESULT STDMETHODCALLTYPE RegisterInstance(REFIID riid, IUnknown* object) override;
  HRESULT STDMETHODCALLTYPE UnregisterInstance(REFIID riid) override;
  HRESULT STDMETHODCALLTYPE GetInstance(REFIID riid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE CreateInstance(REFCLSID clsid, REFIID riid, void** ppv) override;
  // IHostService; GetNewConnectInfo writes the values "GetNewConnectInfo.size" and ".result".
  HRESULT STDMETHODCALLTYPE ReportEvent(ULONG kind, ULONG id, LONG param1, LONG param2) override {
    return as("service", "ReportEvent", kind, id, param1, param2);
  }
  HRESULT STDMETHODCALLTYPE GetNewConnectInfo(ULONG_PTR a, ULONG_PTR b, ULONG* size, ULONG* result) override {
    *size = answers.value("GetNewConnectInfo.size");
    *result = answers.value("GetNewConnectInfo.result");
    return as("service", "GetNewConnectInfo", a, b);
  }
  // IModuleDownloader
  HRESULT STDMETHODCALLTYPE AttachEvents(IModuleDownloaderEvents* sink) override {
    last_attached = com_ptr<IModuleDownloaderEvents>(sink);
    return as("downloader", "AttachEvents"), downloader_sinks_.AttachEvents(sink);
  }
  HRESULT STDMETHODCALLTYPE DetachEvents(IModuleDownloaderEvents* sink) override {
    return as("downloader", "DetachEvents"), downloader_sinks_.DetachEvents(sink);
  }
  HRESULT STDMETHODCALLTYPE RequestDownload(tagSTRING name, USHORT major, USHORT minor) override {
    return as("downloader", "RequestDownload", name, major, minor);
  }
  // IP2p: each notice is kept, "path" for a deletion, "old -> new" for a move.
  HRESULT STDMETHODCALLTYPE NotifyFileMoved(tagSTRING old_path, tagSTRING new_path) override {
    return notices.push_back(to_std_string(old_path) + " -> " + to_std_string(new_path)), S_OK;
  }
  HRESULT STDMETHODCALLTYPE NotifyFileDeleted(tagSTRING path) override {
    return notices.push_back(to_std_string(path)), S_OK;
  }
  BTS_UNUSED(Reserved3, ()) BTS_UNUSED(Reserved4, ()) BTS_UNUSED(Reserved5, ()) BTS_UNUSED(Reserved6, ())
  BTS_UNUSED(Reserved7, ()) BTS_UNUSED(Reserved8, ()) BTS_UNUSED(Reserved9, ()) BTS_UNUSED(Reserved10, ())
  BTS_UNUSED(Reserved11, ())

  bool is_registered(REFIID riid) const { return registry_.count(name_of(riid)) != 0; }
  // The module downloader reports the end of a request (version 1.2) to its sinks.
  void complete(ULONG code, const std::string& module = "bt_kernel") {
    downloader_sinks_.broadcast(&IModuleDownloaderEvents::OnModuleInstallComplete, code, to_tag_string(module),
                                USHORT{1}, USHORT{2});
  }
  void register_hub() { registry_[name_of(IID_IP2p)] = static_cast<IP2p*>(this); }
  static std::string name_of(REFIID riid);

  // Kept after its detach: a downloader that answers once too often.
  com_ptr<IModuleDownloaderEvents> last_attached;
  std::vector<std::string> notices;

 private:
  const fake_host_options options_;
  std::map<std::string, IUnknown*> registry_;  // the host's own faces, or objects held below
  std::vector<com_ptr<IUnknown>> held_;
  CEventsRaiser<IDownloadLibEvents, unlimited_sinks> registry_sinks_;
  CEventsRaiser<IModuleDownloaderEvents, unlimited_sinks> downloader_sinks_;
};

class fake_kernel;

// A kernel task. The kernel's options decide which task interfaces it
// answers, its task_answers what it answers, and its on_task_call runs inside
// each of its calls.
class fake_task final : public IBtTask3, public IAcceleratable, public fake_object {
 public:
  fake_task(fake_kernel& kernel, ULONG id);
  ~fake_task() override;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  BTS_COUNTED

  // Raises OnBtTaskEvent<event>(value) on the attached sinks.
  void raise(int event, ULONG_PTR value);

  BTS_JOURNALED(task_call, StartTask, ()) BTS_JOURNALED(task_call, StopTask, ())
  BTS_JOURNALED(task_call, SignalStop, ()) BTS_JOURNALED(task_call, IsStopped, ())
  BTS_JOURNALED(task_call, GetConnectInfo, (ULONG_PTR v), v)
  BTS_JOURNALED(task_call, GetDataInput, (ULONG_PTR a, ULONG_PTR b), a, b)
  BTS_JOURNALED(task_call, GetDataOutput, (ULONG_PTR a, ULONG_PTR b), a, b)
  BTS_JOURNALED(task_call, GetResourceInfo, (ULONG index, tagRESOURCE_INFO*), index)
  BTS_JOURNALED(task_call, GetNewConnectInfo, (ULONG_PTR a, ULONG_PTR b, ULONG*, ULONG*), a, b)
  BTS_JOURNALED(task_call, SetDispatchStrategy, (ULONG strategy), strategy)
  BTS_JOURNALED(task_call, SetDownloadSpeedLimit, (tagQV_NAT_TYPE type, ISpeedLimit* limit), type, limit)
  BTS_JOURNALED(task_call, GetResourceStatistic, (tagRESOURCE_STATISTIC*))
  BTS_JOURNALED(task_call, EnableSubTask, (tagQV_SUB_TASK_TYPE type, LONG on), type, on)
  BTS_JOURNALED(task_call, SetStatParam, (tagSTRING a, tagSTRING b, tagSTRING c, LONG v), a, b, c, v)
  BTS_JOURNALED(task_call, ResetNeedDownloadFile, (ULONG n, const ULONG* list), list_of(n, list))
  BTS_JOURNALED(task_call, SetFileDownOrder, (ULONG n, const ULONG* list), list_of(n, list))
  BTS_JOURNALED(task_call, SetDapPriorityList, (ULONG n, const ULONG* list), list_of(n, list))
  BTS_JOURNALED(task_call, GetFileInfo, (ULONG index, tagFILE_INFO_PAIR*, tagFILE_INFO_PAIR*, ULONG*), index)
  BTS_JOURNALED(task_call, GetFileIdInfo, (ULONG index, IStringSetter*, IStringSetter*), index)
  BTS_JOURNALED(task_call, GetTaskInfo, (tagTASK_INFO*)) BTS_JOURNALED(task_call, GetTaskInfo, (tagTASK_INFO2**))
  BTS_JOURNALED(task_call, Accelerate, (tagSTRING certification), certification)
  BTS_ANSWERING(task_call, task_answers(), GetStopFlag, BOOL)
  BTS_ANSWERING(task_call, task_answers(), GetResourceCount, ULONG)
  BTS_ANSWERING(task_call, task_answers(), GetFailureDetail, LONG)
  HRESULT STDMETHODCALLTYPE AttachEvents(IBtTaskEvents* sink) override {
    return task_call("AttachEvents"), events_.AttachEvents(sink);
  }
  HRESULT STDMETHODCALLTYPE DetachEvents(IBtTaskEvents* sink) override {
    return task_call("DetachEvents"), events_.DetachEvents(sink);
  }
  // The proxy answers these itself.
  BTS_UNUSED(SetRetryStrategy, (ULONG_PTR, ULONG_PTR, ULONG_PTR)) BTS_UNUSED(SetProxyInfo, (ULONG_PTR, ULONG_PTR))
  BTS_UNUSED(SetTaskType, (ULONG)) BTS_UNUSED(GetTaskType, (ULONG*)) BTS_UNUSED(IsSupportDispatchStrategy, (ULONG))
  BTS_UNUSED(GetSpeed, (ULONG*, ULONG*)) BTS_UNUSED(SetRecommendInfo, (ULONG_PTR))
  BTS_UNUSED(GetRecommendInfo, (ULONG_PTR)) BTS_UNUSED(IsAccelerated, (IStringSetter*))

 private:
  const fake_answers& task_answers() const;
  template <class... A>
  HRESULT task_call(const char* operation, const A&... args);

  fake_kernel& kernel_;
  CEventsRaiser<IBtTaskEvents, unlimited_sinks> events_;
};

struct fake_kernel_options {
  bool test_interface = true;  // answers IID_IBitTorrentTest
  bool task2 = true;           // its tasks answer IID_IBtTask2
  bool task3 = true;           // ... IID_IBtTask3
  bool acceleratable = true;   // ... IID_IAcceleratable
};

// The kernel: journals every operation of IBitTorrentKernel and
// IBitTorrentTest that the shell forwards; its creation operations make
// fake_task objects ("task1", "task2", ...) unless their result is a failure.
class fake_kernel final : public IBitTorrentKernel, public IBitTorrentTest, public fake_object {
 public:
  explicit fake_kernel(std::shared_ptr<journal> log)
      : fake_object("kernel", std::move(log)), events_(IID_IBitTorrentEvents) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  BTS_COUNTED

  std::size_t sink_count() const { return events_.sink_count(); }
  // Task `id` (from 1). REQUIRES: it lives.
  com_ptr<fake_task> task(ULONG id) const { return com_ptr<fake_task>(made_.at(id - 1)); }
  ULONG tasks_alive() const { return alive_; }

  fake_kernel_options options;
  fake_answers task_answers;
  std::function<void(fake_task& task, const std::string& call)> on_task_call;

  HRESULT STDMETHODCALLTYPE AttachEvents(IBitTorrentEvents* sink) override {
    return call("AttachEvents"), events_.AttachEvents(sink);
  }
  HRESULT STDMETHODCALLTYPE DetachEvents(IBitTorrentEvents* sink) override {
    return call("DetachEvents"), events_.DetachEvents(sink);
  }
#define BTS_CREATES(name)                                                                               \
  HRESULT STDMETHODCALLTYPE name(tagSTRING seed, tagSTRING data, ULONG n1, const ULONG* l1, ULONG n2, \
                                 const SEED_TRACKER_ITEM* l2, IBtTask** task) override {              \
    return create(#name, seed, data, n1, l1, n2, l2, task);                                           \
  }
  BTS_CREATES(CreateNewTask) BTS_CREATES(CreateContinuedTask) BTS_CREATES(CreateUploadTask)
#undef BTS_CREATES
  using U = ULONG_PTR;
  BTS_JOURNALED(call, CreateSubTask, (U v1, U v2, U v3, U v4, U v5, U v6, U v7, U v8, U v9, U v10, U v11, U v12), v1,
                v2, v3, v4, v5, v6, v7, v8, v9, v10, v11, v12)
  BTS_JOURNALED(call, StartReimportTask, (tagSTRING a, tagSTRING b, tagSTRING c), a, b, c)
  BTS_JOURNALED(call, GetReimportTaskTorrentFileName, (ULONG_PTR v), v)
  BTS_JOURNALED(call, CloseReimportTask, ())
  BTS_ANSWERING(call, answers, GetReimportProgress, BYTE)
  BTS_JOURNALED(call, GetReimportRootPath, (ULONG_PTR v), v)
  BTS_JOURNALED(call, DebugP2pPipeQueryInfo, (ULONG_PTR a, ULONG_PTR b), a, b)
  BTS_JOURNALED(call, DebugP2pPipeReleaseInfo, (ULONG_PTR v), v)
  BTS_JOURNALED(call, CreateCfgFile, (U v1, U v2, U v3, U v4, U v5, U v6, U v7, U v8), v1, v2, v3, v4, v5, v6, v7, v8)
  BTS_JOURNALED(call, CreateBtTrackerClient, (ULONG_PTR v), v)
  BTS_JOURNALED(call, CreateBtHubQueryClient, (ULONG_PTR v), v)
  BTS_JOURNALED(call, CreateBtWriterFactory, (ULONG_PTR v), v)
  // The shell serves these itself.
  BTS_UNUSED(ParseSeedFile, (tagSTRING, SEED_FILE_INFO**)) BTS_UNUSED(IsTempFileExist, (tagSTRING, tagSTRING))
  BTS_UNUSED(GetDataFileList, (tagSTRING, tagSTRING, DATA_FILE_LIST**))
  BTS_UNUSED(GetCfgFileList, (tagSTRING, DATA_FILE_LIST**)) BTS_UNUSED(ReleaseSeedFileInfo, (SEED_FILE_INFO*))
  BTS_UNUSED(ReleaseDataFileList, (DATA_FILE_LIST*)) BTS_UNUSED(ReleasePeerInfoList, (PEER_INFO_LIST*))
  BTS_UNUSED(NotifyHubBtDeleted, (tagSTRING, tagSTRING)) BTS_UNUSED(NotifyHubBtMoved, (tagSTRING, tagSTRING, tagSTRING))
  BTS_UNUSED(ReservedOperation, (ULONG_PTR))

 private:
  friend class fake_task;
  HRESULT create(const char* operation, tagSTRING seed, tagSTRING data, ULONG n1, const ULONG* l1, ULONG n2,
                 const SEED_TRACKER_ITEM* l2, IBtTask** task);

  CEventsRaiser<IBitTorrentEvents, unlimited_sinks> events_;
  std::vector<fake_task*> made_;  // made on one thread; released on any
  std::atomic<ULONG> alive_{0};
};

#undef BTS_COUNTED
#undef BTS_UNUSED
#undef BTS_JOURNALED
#undef BTS_ANSWERING

inline const fake_answers& fake_task::task_answers() const { return kernel_.task_answers; }

template <class... A>
HRESULT fake_task::task_call(const char* operation, const A&... args) {
  const std::string line = call_of(operation, args...);
  journal_->add(name_ + "." + line);
  if (kernel_.on_task_call) kernel_.on_task_call(*this, line);
  return task_answers().result(operation);
}

}  // namespace bts_test
