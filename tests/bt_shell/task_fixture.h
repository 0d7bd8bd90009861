// Proxy tasks on a shell that waits for the kernel: helpers to make them and
// to let a kernel arrive, and a kernel whose tasks call back into the test
// while they work.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bt_shell/bt_shell_task.h"
#include "host/recording_kernel/recording_task.h"
#include "host/recording_kernel/kernel_state.h"
#include "tests/bt_shell/shell_fixture.h"

namespace bts_test {

inline tagSTRING text(const std::string& s) { return tagSTRING{static_cast<ULONG>(s.size()), s.c_str()}; }

inline std::string prefix_of(const void* p) {
  std::ostringstream s;
  s << "[" << p << "]";
  return s.str();
}

inline bt_shell_task* proxy_of(IBtTask3* task) { return static_cast<bt_shell_task*>(task); }

// A stand-in kernel task that raises OnBtTaskEvent2(<strategy>) on its sinks
// each time it is given a dispatch strategy, and notes whether the lists it
// receives are null.
class eventful_task : public recording_task {
 public:
  using recording_task::recording_task;
  HRESULT STDMETHODCALLTYPE SetDispatchStrategy(ULONG strategy) override {
    const HRESULT hr = recording_task::SetDispatchStrategy(strategy);
    raise(2, strategy);
    return hr;
  }
  HRESULT STDMETHODCALLTYPE ResetNeedDownloadFile(ULONG count, const ULONG* list) override {
    null_lists += list ? "" : "ResetNeedDownloadFile:null ";
    return recording_task::ResetNeedDownloadFile(count, list);
  }
  std::string null_lists;
};

// A kernel that makes eventful_task objects; every other operation is
// refused. The tasks journal into `state`; the kernel notes whether the
// creation lists were null.
class eventful_kernel : public IBitTorrentKernel, public CUnknownMultiThread {
 public:
  eventful_kernel() : CUnknownMultiThread("eventful_kernel"), state(std::make_shared<kernel_state>()) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IBitTorrentKernel) && !IsEqualIID(riid, IID_IUnknown)) return E_NOINTERFACE;
    *ppv = static_cast<IBitTorrentKernel*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return CUnknownMultiThread::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return CUnknownMultiThread::Release(); }

  HRESULT STDMETHODCALLTYPE CreateNewTask(tagSTRING, tagSTRING, ULONG first_count, const ULONG* first_list,
                                          ULONG second_count, const SEED_TRACKER_ITEM* second_list,
                                          IBtTask** task) override {
    lists = std::to_string(first_count) + (first_list ? ":list " : ":null ") + std::to_string(second_count) +
            (second_list ? ":list" : ":null");
    made = new eventful_task(state);
    *task = static_cast<IBtTask3*>(made);
    return S_OK;
  }

#define EVENTFUL_KERNEL_REFUSES(signature) \
  HRESULT STDMETHODCALLTYPE signature override { return E_NOTIMPL; }
  using list_args = const SEED_TRACKER_ITEM*;
  using U = ULONG_PTR;
  EVENTFUL_KERNEL_REFUSES(AttachEvents(IBitTorrentEvents*)) EVENTFUL_KERNEL_REFUSES(DetachEvents(IBitTorrentEvents*))
  EVENTFUL_KERNEL_REFUSES(CreateContinuedTask(tagSTRING, tagSTRING, ULONG, const ULONG*, ULONG, list_args, IBtTask**))
  EVENTFUL_KERNEL_REFUSES(CreateUploadTask(tagSTRING, tagSTRING, ULONG, const ULONG*, ULONG, list_args, IBtTask**))
  EVENTFUL_KERNEL_REFUSES(CreateSubTask(U, U, U, U, U, U, U, U, U, U, U, U))
  EVENTFUL_KERNEL_REFUSES(ParseSeedFile(tagSTRING, SEED_FILE_INFO**)) EVENTFUL_KERNEL_REFUSES(ReservedOperation(U))
  EVENTFUL_KERNEL_REFUSES(IsTempFileExist(tagSTRING, tagSTRING)) EVENTFUL_KERNEL_REFUSES(CloseReimportTask())
  EVENTFUL_KERNEL_REFUSES(GetDataFileList(tagSTRING, tagSTRING, DATA_FILE_LIST**))
  EVENTFUL_KERNEL_REFUSES(GetCfgFileList(tagSTRING, DATA_FILE_LIST**))
  EVENTFUL_KERNEL_REFUSES(ReleaseSeedFileInfo(SEED_FILE_INFO*)) EVENTFUL_KERNEL_REFUSES(GetReimportRootPath(U))
  EVENTFUL_KERNEL_REFUSES(ReleaseDataFileList(DATA_FILE_LIST*)) EVENTFUL_KERNEL_REFUSES(GetReimportProgress(BYTE*))
  EVENTFUL_KERNEL_REFUSES(ReleasePeerInfoList(PEER_INFO_LIST*)) EVENTFUL_KERNEL_REFUSES(DebugP2pPipeReleaseInfo(U))
  EVENTFUL_KERNEL_REFUSES(NotifyHubBtDeleted(tagSTRING, tagSTRING)) EVENTFUL_KERNEL_REFUSES(DebugP2pPipeQueryInfo(U, U))
  EVENTFUL_KERNEL_REFUSES(NotifyHubBtMoved(tagSTRING, tagSTRING, tagSTRING))
  EVENTFUL_KERNEL_REFUSES(StartReimportTask(tagSTRING, tagSTRING, tagSTRING))
  EVENTFUL_KERNEL_REFUSES(GetReimportTaskTorrentFileName(U))
  EVENTFUL_KERNEL_REFUSES(CreateCfgFile(U, U, U, U, U, U, U, U))
#undef EVENTFUL_KERNEL_REFUSES

  std::shared_ptr<kernel_state> state;
  eventful_task* made = nullptr;  // the last task made (not counted)
  std::string lists;

 private:
  ~eventful_kernel() override = default;
};

class task_fixture : public shell_fixture {
 protected:
  using creator = HRESULT (STDMETHODCALLTYPE IBitTorrent::*)(tagSTRING, tagSTRING, ULONG, const ULONG*, ULONG,
                                                             const SEED_TRACKER_ITEM*, IBtTask**);

  std::string data_folder() const { return dir_.file("data"); }

  // A proxy made while the kernel is on its way (the first call requests it).
  com_ptr<IBtTask3> make_proxy(creator create = &IBitTorrent::CreateNewTask, ULONG first_count = 0,
                               const ULONG* first = nullptr, ULONG second_count = 0,
                               const SEED_TRACKER_ITEM* second = nullptr) {
    IBtTask* raw = nullptr;
    const std::string folder = data_folder();
    EXPECT_EQ((shell_->*create)(text("/seeds/a.torrent"), text(folder), first_count, first, second_count, second, &raw),
              S_OK);
    EXPECT_EQ(shell_->status(), kernel_loading);
    return com_ptr<IBtTask3>::adopt(static_cast<IBtTask3*>(raw));
  }

  // The stand-in kernel registers itself and its installation is reported.
  kernel_probe arrive() {
    kernel_probe probe = register_kernel();
    complete_kernel_download(0);
    return probe;
  }

  // The same with a kernel whose tasks call back into the test.
  com_ptr<eventful_kernel> arrive_eventful() {
    auto kernel = com_ptr<eventful_kernel>::adopt(new eventful_kernel);
    host_->RegisterInstance(IID_IBitTorrentKernel, static_cast<IBitTorrentKernel*>(kernel.get()));
    complete_kernel_download(0);
    return kernel;
  }
};

}  // namespace bts_test
