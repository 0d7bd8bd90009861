// Small recording fakes of what the shell and its proxy tasks talk to: the
// host (instance registry, host service, module downloader, P2P hub) and the
// kernel with its tasks.
//
// Every call the module makes on them becomes a line "<object>.<operation>(
// <arguments>)" of one journal (texts as 3:"abc", lists as [1,2]); results
// and out-values can be set per operation. The journal and the counts are
// thread-safe, so proxies may be released on other threads while the kernel
// arrives.
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
  void add(std::string line);
  // The lines that begin with `prefix`, in order.
  std::vector<std::string> lines(const std::string& prefix = "") const;
  void clear();

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

// What a fake answers: S_OK and 0 unless set.
struct fake_answers {
  std::map<std::string, HRESULT> results;
  std::map<std::string, ULONG> values;
  HRESULT result(const std::string& operation) const;
  ULONG value(const std::string& operation) const;
};

// The common part of the fakes: a counted object that journals its calls.
class fake_object : public CUnknownMultiThread {
 public:
  fake_object(std::string name, std::shared_ptr<journal> log)
      : CUnknownMultiThread("fake"), name_(std::move(name)), journal_(std::move(log)) {}
  fake_answers answers;

 protected:
  // Journals the call and answers its configured result.
  template <class... A>
  HRESULT call(const char* operation, const A&... args) {
    journal_->add(name_ + "." + call_of(operation, args...));
    return answers.result(operation);
  }
  ULONG value(const char* operation) const { return answers.value(operation); }

  std::string name_;
  std::shared_ptr<journal> journal_;
};

#define BTS_FAKE_IUNKNOWN                                                              \
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;         \
  ULONG STDMETHODCALLTYPE AddRef() override { return CUnknownMultiThread::AddRef(); } \
  ULONG STDMETHODCALLTYPE Release() override { return CUnknownMultiThread::Release(); }

class fake_host_service final : public IHostService, public fake_object {
 public:
  using fake_object::fake_object;
  BTS_FAKE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE Reserved3() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ReportEvent(ULONG kind, ULONG event_id, LONG param1, LONG param2) override {
    return call("ReportEvent", kind, event_id, param1, param2);
  }
  HRESULT STDMETHODCALLTYPE Reserved5() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved6() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved7() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved8() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved9() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved10() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved11() override { return E_NOTIMPL; }
  // Answers the values "GetNewConnectInfo.size" and "GetNewConnectInfo.result".
  HRESULT STDMETHODCALLTYPE GetNewConnectInfo(ULONG_PTR value1, ULONG_PTR value2, ULONG* size,
                                              ULONG* result) override;
};

class fake_module_downloader final : public IModuleDownloader, public fake_object {
 public:
  using fake_object::fake_object;
  BTS_FAKE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE AttachEvents(IModuleDownloaderEvents* sink) override;
  HRESULT STDMETHODCALLTYPE DetachEvents(IModuleDownloaderEvents* sink) override;
  HRESULT STDMETHODCALLTYPE RequestDownload(tagSTRING name, USHORT major, USHORT minor) override {
    return call("RequestDownload", name, major, minor);
  }
  // Reports the end of a request (version 1.2) to every attached sink.
  void complete(ULONG code, const std::string& module = "bt_kernel");
  std::size_t sink_count() const { return sinks_.size(); }
  com_ptr<IModuleDownloaderEvents> sink(std::size_t i) const { return sinks_.at(i); }

 private:
  std::vector<com_ptr<IModuleDownloaderEvents>> sinks_;
};

class fake_p2p_hub final : public IP2p, public fake_object {
 public:
  using fake_object::fake_object;
  BTS_FAKE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE Reserved3() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved4() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved5() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved6() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved7() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved8() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved9() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NotifyFileMoved(tagSTRING old_path, tagSTRING new_path) override;
  HRESULT STDMETHODCALLTYPE NotifyFileDeleted(tagSTRING path) override;
  // The paths of each notice, in order: "path" for a deletion, "old -> new"
  // for a move.
  std::vector<std::string> notices;
};

struct fake_host_options {
  bool host_service = true;
  bool module_downloader = true;
};

// The host: an instance registry that tells its sinks of registrations, and
// the host service it creates.
class fake_host final : public IDownloadLib, public fake_object {
 public:
  fake_host(std::shared_ptr<journal> log, fake_host_options options);
  BTS_FAKE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE AttachEvents(IDownloadLibEvents* sink) override;
  HRESULT STDMETHODCALLTYPE DetachEvents(IDownloadLibEvents* sink) override;
  HRESULT STDMETHODCALLTYPE Reserved5() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved6() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved7() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RegisterInstance(REFIID riid, IUnknown* object) override;
  HRESULT STDMETHODCALLTYPE UnregisterInstance(REFIID riid) override;
  HRESULT STDMETHODCALLTYPE GetInstance(REFIID riid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE Reserved11() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CreateInstance(REFCLSID clsid, REFIID riid, void** ppv) override;

  bool is_registered(REFIID riid) const { return registry_.count(name_of(riid)) != 0; }
  std::size_t sink_count() const { return sinks_.size(); }
  // Registers a P2P hub; it lives as long as the host.
  fake_p2p_hub* register_hub();

  const com_ptr<fake_host_service> service;
  const com_ptr<fake_module_downloader> downloader;

  static std::string name_of(REFIID riid);

 private:
  std::map<std::string, com_ptr<IUnknown>> registry_;
  std::vector<com_ptr<IDownloadLibEvents>> sinks_;
};

class fake_kernel;

// A kernel task. The kernel's options decide which task interfaces it
// answers; the kernel's on_task_call runs inside each of its calls.
class fake_task final : public IBtTask3, public IAcceleratable, public fake_object {
 public:
  fake_task(fake_kernel& kernel, ULONG id);
  ~fake_task() override;
  BTS_FAKE_IUNKNOWN

  // Raises OnBtTaskEvent<event>(value) on the attached sinks.
  void raise(int event, ULONG_PTR value);
  std::size_t sink_count() const { return events_.sink_count(); }

  HRESULT STDMETHODCALLTYPE StartTask() override { return task_call("StartTask"); }
  HRESULT STDMETHODCALLTYPE StopTask() override { return task_call("StopTask"); }
  HRESULT STDMETHODCALLTYPE SignalStop() override { return task_call("SignalStop"); }
  HRESULT STDMETHODCALLTYPE GetStopFlag(BOOL* flag) override;
  HRESULT STDMETHODCALLTYPE IsStopped() override { return task_call("IsStopped"); }
  HRESULT STDMETHODCALLTYPE GetConnectInfo(ULONG_PTR v) override { return task_call("GetConnectInfo", v); }
  HRESULT STDMETHODCALLTYPE GetDataInput(ULONG_PTR a, ULONG_PTR b) override { return task_call("GetDataInput", a, b); }
  HRESULT STDMETHODCALLTYPE GetDataOutput(ULONG_PTR a, ULONG_PTR b) override { return task_call("GetDataOutput", a, b); }
  HRESULT STDMETHODCALLTYPE GetResourceCount(ULONG* count) override;
  HRESULT STDMETHODCALLTYPE GetResourceInfo(ULONG index, tagRESOURCE_INFO*) override {
    return task_call("GetResourceInfo", index);
  }
  HRESULT STDMETHODCALLTYPE GetNewConnectInfo(ULONG_PTR a, ULONG_PTR b, ULONG*, ULONG*) override {
    return task_call("GetNewConnectInfo", a, b);
  }
  HRESULT STDMETHODCALLTYPE SetRetryStrategy(ULONG_PTR a, ULONG_PTR b, ULONG_PTR c) override {
    return task_call("SetRetryStrategy", a, b, c);
  }
  HRESULT STDMETHODCALLTYPE SetProxyInfo(ULONG_PTR a, ULONG_PTR b) override { return task_call("SetProxyInfo", a, b); }
  HRESULT STDMETHODCALLTYPE SetTaskType(ULONG type) override { return task_call("SetTaskType", type); }
  HRESULT STDMETHODCALLTYPE GetTaskType(ULONG*) override { return task_call("GetTaskType"); }
  HRESULT STDMETHODCALLTYPE SetDispatchStrategy(ULONG s) override { return task_call("SetDispatchStrategy", s); }
  HRESULT STDMETHODCALLTYPE IsSupportDispatchStrategy(ULONG s) override {
    return task_call("IsSupportDispatchStrategy", s);
  }
  HRESULT STDMETHODCALLTYPE GetSpeed(ULONG*, ULONG*) override { return task_call("GetSpeed"); }
  HRESULT STDMETHODCALLTYPE SetRecommendInfo(ULONG_PTR v) override { return task_call("SetRecommendInfo", v); }
  HRESULT STDMETHODCALLTYPE GetRecommendInfo(ULONG_PTR v) override { return task_call("GetRecommendInfo", v); }
  HRESULT STDMETHODCALLTYPE SetDownloadSpeedLimit(tagQV_NAT_TYPE type, ISpeedLimit* limit) override {
    return task_call("SetDownloadSpeedLimit", type, limit);
  }
  HRESULT STDMETHODCALLTYPE GetResourceStatistic(tagRESOURCE_STATISTIC*) override {
    return task_call("GetResourceStatistic");
  }
  HRESULT STDMETHODCALLTYPE EnableSubTask(tagQV_SUB_TASK_TYPE type, LONG on) override {
    return task_call("EnableSubTask", type, on);
  }
  HRESULT STDMETHODCALLTYPE AttachEvents(IBtTaskEvents* sink) override;
  HRESULT STDMETHODCALLTYPE DetachEvents(IBtTaskEvents* sink) override;
  HRESULT STDMETHODCALLTYPE SetStatParam(tagSTRING a, tagSTRING b, tagSTRING c, LONG v) override {
    return task_call("SetStatParam", a, b, c, v);
  }
  HRESULT STDMETHODCALLTYPE ResetNeedDownloadFile(ULONG count, const ULONG* list) override {
    return task_call("ResetNeedDownloadFile", list_of(count, list));
  }
  HRESULT STDMETHODCALLTYPE SetFileDownOrder(ULONG count, const ULONG* list) override {
    return task_call("SetFileDownOrder", list_of(count, list));
  }
  HRESULT STDMETHODCALLTYPE GetFileInfo(ULONG index, tagFILE_INFO_PAIR*, tagFILE_INFO_PAIR*, ULONG*) override {
    return task_call("GetFileInfo", index);
  }
  HRESULT STDMETHODCALLTYPE GetFileIdInfo(ULONG index, IStringSetter*, IStringSetter*) override {
    return task_call("GetFileIdInfo", index);
  }
  HRESULT STDMETHODCALLTYPE GetTaskInfo(tagTASK_INFO*) override { return task_call("GetTaskInfo"); }
  HRESULT STDMETHODCALLTYPE GetTaskInfo(tagTASK_INFO2**) override { return task_call("GetTaskInfo2"); }
  HRESULT STDMETHODCALLTYPE SetDapPriorityList(ULONG count, const ULONG* list) override {
    return task_call("SetDapPriorityList", list_of(count, list));
  }
  HRESULT STDMETHODCALLTYPE GetFailureDetail(LONG* code) override;
  HRESULT STDMETHODCALLTYPE Accelerate(tagSTRING certification) override {
    return task_call("Accelerate", certification);
  }
  HRESULT STDMETHODCALLTYPE IsAccelerated(IStringSetter*) override { return task_call("IsAccelerated"); }

 private:
  template <class... A>
  HRESULT task_call(const char* operation, const A&... args);

  fake_kernel& kernel_;
  const ULONG id_;
  CEventsRaiser<IBtTaskEvents, unlimited_sinks> events_;
};

struct fake_kernel_options {
  bool test_interface = true;  // answers IID_IBitTorrentTest
  bool task2 = true;           // its tasks answer IID_IBtTask2
  bool task3 = true;           // ... IID_IBtTask3
  bool acceleratable = true;   // ... IID_IAcceleratable
};

// The kernel: journals every operation of IBitTorrentKernel and
// IBitTorrentTest; its creation operations make fake_task objects ("task1",
// "task2", ...) unless their result is set to a failure.
class fake_kernel final : public IBitTorrentKernel, public IBitTorrentTest, public fake_object {
 public:
  explicit fake_kernel(std::shared_ptr<journal> log)
      : fake_object("kernel", std::move(log)), events_(IID_IBitTorrentEvents) {}
  BTS_FAKE_IUNKNOWN

  void raise1(ULONG_PTR value) { events_.broadcast(&IBitTorrentEvents::OnBitTorrentEvent1, value); }
  void raise2(ULONG_PTR a, ULONG_PTR b) { events_.broadcast(&IBitTorrentEvents::OnBitTorrentEvent2, a, b); }
  std::size_t sink_count() const { return events_.sink_count(); }
  // Task `id` while it lives, else null. Not to be raced with its last Release.
  com_ptr<fake_task> task(ULONG id) const;
  ULONG tasks_created() const { return created_; }
  ULONG tasks_alive() const { return alive_; }

  fake_kernel_options options;
  // What its tasks answer ("GetResourceCount" ...).
  fake_answers task_answers;
  // Runs inside every call of every task, after its journal line.
  std::function<void(fake_task& task, const std::string& line)> on_task_call;

  HRESULT STDMETHODCALLTYPE AttachEvents(IBitTorrentEvents* sink) override;
  HRESULT STDMETHODCALLTYPE DetachEvents(IBitTorrentEvents* sink) override;
  HRESULT STDMETHODCALLTYPE CreateNewTask(tagSTRING seed, tagSTRING data, ULONG n1, const ULONG* l1, ULONG n2,
                                          const SEED_TRACKER_ITEM* l2, IBtTask** task) override {
    return create("CreateNewTask", seed, data, n1, l1, n2, l2, task);
  }
  HRESULT STDMETHODCALLTYPE CreateContinuedTask(tagSTRING seed, tagSTRING data, ULONG n1, const ULONG* l1, ULONG n2,
                                                const SEED_TRACKER_ITEM* l2, IBtTask** task) override {
    return create("CreateContinuedTask", seed, data, n1, l1, n2, l2, task);
  }
  HRESULT STDMETHODCALLTYPE CreateUploadTask(tagSTRING seed, tagSTRING data, ULONG n1, const ULONG* l1, ULONG n2,
                                             const SEED_TRACKER_ITEM* l2, IBtTask** task) override {
    return create("CreateUploadTask", seed, data, n1, l1, n2, l2, task);
  }
  HRESULT STDMETHODCALLTYPE CreateSubTask(ULONG_PTR v1, ULONG_PTR v2, ULONG_PTR v3, ULONG_PTR v4, ULONG_PTR v5,
                                          ULONG_PTR v6, ULONG_PTR v7, ULONG_PTR v8, ULONG_PTR v9, ULONG_PTR v10,
                                          ULONG_PTR v11, ULONG_PTR v12) override {
    return call("CreateSubTask", v1, v2, v3, v4, v5, v6, v7, v8, v9, v10, v11, v12);
  }
  HRESULT STDMETHODCALLTYPE ParseSeedFile(tagSTRING, SEED_FILE_INFO**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsTempFileExist(tagSTRING, tagSTRING) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDataFileList(tagSTRING, tagSTRING, DATA_FILE_LIST**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCfgFileList(tagSTRING, DATA_FILE_LIST**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ReleaseSeedFileInfo(SEED_FILE_INFO*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ReleaseDataFileList(DATA_FILE_LIST*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ReleasePeerInfoList(PEER_INFO_LIST*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NotifyHubBtDeleted(tagSTRING, tagSTRING) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NotifyHubBtMoved(tagSTRING, tagSTRING, tagSTRING) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ReservedOperation(ULONG_PTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE StartReimportTask(tagSTRING a, tagSTRING b, tagSTRING c) override {
    return call("StartReimportTask", a, b, c);
  }
  HRESULT STDMETHODCALLTYPE GetReimportTaskTorrentFileName(ULONG_PTR v) override {
    return call("GetReimportTaskTorrentFileName", v);
  }
  HRESULT STDMETHODCALLTYPE CloseReimportTask() override { return call("CloseReimportTask"); }
  // Answers the value "GetReimportProgress".
  HRESULT STDMETHODCALLTYPE GetReimportProgress(BYTE* progress) override;
  HRESULT STDMETHODCALLTYPE GetReimportRootPath(ULONG_PTR v) override { return call("GetReimportRootPath", v); }
  HRESULT STDMETHODCALLTYPE DebugP2pPipeQueryInfo(ULONG_PTR a, ULONG_PTR b) override {
    return call("DebugP2pPipeQueryInfo", a, b);
  }
  HRESULT STDMETHODCALLTYPE DebugP2pPipeReleaseInfo(ULONG_PTR v) override { return call("DebugP2pPipeReleaseInfo", v); }
  HRESULT STDMETHODCALLTYPE CreateCfgFile(ULONG_PTR v1, ULONG_PTR v2, ULONG_PTR v3, ULONG_PTR v4, ULONG_PTR v5,
                                          ULONG_PTR v6, ULONG_PTR v7, ULONG_PTR v8) override {
    return call("CreateCfgFile", v1, v2, v3, v4, v5, v6, v7, v8);
  }
  HRESULT STDMETHODCALLTYPE CreateBtTrackerClient(ULONG_PTR v) override { return call("CreateBtTrackerClient", v); }
  HRESULT STDMETHODCALLTYPE CreateBtHubQueryClient(ULONG_PTR v) override { return call("CreateBtHubQueryClient", v); }
  HRESULT STDMETHODCALLTYPE CreateBtWriterFactory(ULONG_PTR v) override { return call("CreateBtWriterFactory", v); }

 private:
  friend class fake_task;
  HRESULT create(const char* operation, tagSTRING seed, tagSTRING data, ULONG n1, const ULONG* l1, ULONG n2,
                 const SEED_TRACKER_ITEM* l2, IBtTask** task);

  CEventsRaiser<IBitTorrentEvents, unlimited_sinks> events_;
  mutable std::mutex tasks_lock_;
  std::map<ULONG, fake_task*> tasks_;
  std::atomic<ULONG> created_{0}, alive_{0};
};

#undef BTS_FAKE_IUNKNOWN

template <class... A>
HRESULT fake_task::task_call(const char* operation, const A&... args) {
  const std::string line = call_of(operation, args...);
  journal_->add(name_ + "." + line);
  if (kernel_.on_task_call) kernel_.on_task_call(*this, line);
  return kernel_.task_answers.result(operation);
}

}  // namespace bts_test
