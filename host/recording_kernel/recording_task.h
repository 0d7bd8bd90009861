// A task of the recording kernel: a small real implementation of the kernel
// task that the plugin module relies on. It serves IBtTask3 (and so IBtTask2,
// IBtTask, ITask) and IAcceleratable, writes every call with its arguments to
// the kernel's journal, keeps its attached IBtTaskEvents sinks and raises the
// four task events on request. What it answers is described in IBtKernelProbe.h.
#pragma once

#include <memory>
#include <string>

#include "com_utility/UnknownBase.h"
#include "com_utility/closable_raiser.h"
#include "interfaces/IAcceleratable.h"
#include "interfaces/IBtTask.h"
#include "platform/critical_section.h"

class kernel_state;

class recording_task : public IBtTask3, public IAcceleratable, public CUnknownMultiThread {
 public:
  // The new task (count 1, the caller's) is entered in the state's task list.
  explicit recording_task(std::shared_ptr<kernel_state> state);
  ~recording_task() override;

  ULONG id() const { return id_; }
  // Calls OnBtTaskEvent<event> (1 to 4) on every attached sink; false for another number.
  bool raise(ULONG event, ULONG_PTR value);
  std::size_t sink_count() const { return events_.sink_count(); }
  // Lets go of the attached sinks for good (the kernel module's end).
  void close_events() { events_.close(); }

  // IUnknown
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

  // IAcceleratable
  HRESULT STDMETHODCALLTYPE Accelerate(tagSTRING certification) override;
  HRESULT STDMETHODCALLTYPE IsAccelerated(IStringSetter* setter) override;

 private:
  void record(const std::string& operation, const std::string& arguments);
  HRESULT result(const char* operation, HRESULT natural = S_OK) const;
  ULONG value(const char* key) const;

  std::shared_ptr<kernel_state> state_;
  ULONG id_;
  closable_raiser<IBtTaskEvents> events_;
  mutable platform::critical_section lock_;  // guards the fields below
  bool stop_flag_ = false;
  bool stopped_ = false;
  ULONG task_type_ = 0;
  std::string certification_;
};
