// A task of the libtorrent kernel: the IBtTask3 face of one torrent of the
// kernel's session (see task_core.h for the state behind it and
// docs/hosting.md, "The kernel on libtorrent", for what each operation does).
//
// Threads: every operation may be called on any thread, the kernel thread
// included (from inside one of the task's own events). The task's events
// reach its sinks on the kernel thread.
//
// Releasing the last reference of a running task stops it (saving its
// resume state) and takes its torrent out of the session.
#pragma once

#include <atomic>
#include <memory>

#include "com_utility/UnknownBase.h"
#include "interfaces/IBtTask.h"
#include "interfaces/IBtTaskDetails.h"

class kernel_session;
class task_core;

class torrent_task : public IBtTask3, public IBtTaskDetails, public CUnknownMultiThread {
 public:
  // The caller holds the one reference of the new task.
  torrent_task(std::shared_ptr<kernel_session> session, std::shared_ptr<task_core> core);
  ~torrent_task() override;

  // IUnknown: IUnknown, ITask, IBtTask, IBtTask2 and IBtTask3 give the IBtTask3
  // face; IBtTaskDetails the details.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return CUnknownMultiThread::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return CUnknownMultiThread::Release(); }

  // ITask
  HRESULT STDMETHODCALLTYPE StartTask() override;
  HRESULT STDMETHODCALLTYPE StopTask() override;
  HRESULT STDMETHODCALLTYPE SignalStop() override;
  HRESULT STDMETHODCALLTYPE GetStopFlag(BOOL* flag) override;
  HRESULT STDMETHODCALLTYPE IsStopped() override;
  HRESULT STDMETHODCALLTYPE GetConnectInfo(ULONG_PTR value) override;
  HRESULT STDMETHODCALLTYPE GetDataInput(ULONG_PTR value1, ULONG_PTR value2) override;
  HRESULT STDMETHODCALLTYPE GetDataOutput(ULONG_PTR value1, ULONG_PTR value2) override;
  HRESULT STDMETHODCALLTYPE GetResourceCount(ULONG* count) override;
  HRESULT STDMETHODCALLTYPE GetResourceInfo(ULONG index, tagRESOURCE_INFO* info) override;
  HRESULT STDMETHODCALLTYPE GetNewConnectInfo(ULONG_PTR value1, ULONG_PTR value2, ULONG* result_size,
                                              ULONG* result) override;
  HRESULT STDMETHODCALLTYPE SetRetryStrategy(ULONG_PTR value1, ULONG_PTR value2, ULONG_PTR value3) override;
  HRESULT STDMETHODCALLTYPE SetProxyInfo(ULONG_PTR value1, ULONG_PTR value2) override;
  HRESULT STDMETHODCALLTYPE SetTaskType(ULONG type) override;
  HRESULT STDMETHODCALLTYPE GetTaskType(ULONG* type) override;
  HRESULT STDMETHODCALLTYPE SetDispatchStrategy(ULONG strategy) override;
  HRESULT STDMETHODCALLTYPE IsSupportDispatchStrategy(ULONG strategy) override;
  HRESULT STDMETHODCALLTYPE GetSpeed(ULONG* speed1, ULONG* speed2) override;
  HRESULT STDMETHODCALLTYPE SetRecommendInfo(ULONG_PTR value) override;
  HRESULT STDMETHODCALLTYPE GetRecommendInfo(ULONG_PTR value) override;
  HRESULT STDMETHODCALLTYPE SetDownloadSpeedLimit(tagQV_NAT_TYPE nat_type, ISpeedLimit* limit) override;
  HRESULT STDMETHODCALLTYPE GetResourceStatistic(tagRESOURCE_STATISTIC* statistic) override;
  HRESULT STDMETHODCALLTYPE EnableSubTask(tagQV_SUB_TASK_TYPE type, LONG enable) override;

  // IBtTask
  HRESULT STDMETHODCALLTYPE AttachEvents(IBtTaskEvents* sink) override;
  HRESULT STDMETHODCALLTYPE DetachEvents(IBtTaskEvents* sink) override;
  HRESULT STDMETHODCALLTYPE SetStatParam(tagSTRING param1, tagSTRING param2, tagSTRING param3, LONG value) override;
  HRESULT STDMETHODCALLTYPE ResetNeedDownloadFile(ULONG count, const ULONG* file_indexes) override;
  HRESULT STDMETHODCALLTYPE SetFileDownOrder(ULONG count, const ULONG* file_indexes) override;
  HRESULT STDMETHODCALLTYPE GetFileInfo(ULONG file_index, tagFILE_INFO_PAIR* info1, tagFILE_INFO_PAIR* info2,
                                        ULONG* value) override;
  HRESULT STDMETHODCALLTYPE GetFileIdInfo(ULONG file_index, IStringSetter* id1, IStringSetter* id2) override;
  HRESULT STDMETHODCALLTYPE GetTaskInfo(tagTASK_INFO* info) override;

  // IBtTask2
  HRESULT STDMETHODCALLTYPE GetTaskInfo(tagTASK_INFO2** block) override;
  HRESULT STDMETHODCALLTYPE SetDapPriorityList(ULONG count, const ULONG* priorities) override;

  // IBtTask3
  HRESULT STDMETHODCALLTYPE GetFailureDetail(LONG* failure_code) override;

  // IBtTaskDetails
  HRESULT STDMETHODCALLTYPE GetTransferTotals(tagBT_TRANSFER_TOTALS* totals) override;
  HRESULT STDMETHODCALLTYPE GetFailureText(IStringSetter* text) override;
  HRESULT STDMETHODCALLTYPE GetTrackerCount(ULONG* count) override;
  HRESULT STDMETHODCALLTYPE GetTrackerInfo(ULONG index, IStringSetter* url, IStringSetter* answer,
                                           tagBT_TRACKER_INFO* info) override;
  HRESULT STDMETHODCALLTYPE GetSeenPeerCount(ULONG* count) override;
  HRESULT STDMETHODCALLTYPE GetSeenPeer(ULONG index, IStringSetter* peer) override;

 private:
  std::shared_ptr<kernel_session> session_;
  std::shared_ptr<task_core> core_;
  std::atomic<ULONG> task_type_{0};
};
