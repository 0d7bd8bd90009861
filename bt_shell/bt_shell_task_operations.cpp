// bt_shell_task: the IBtTask3 operations in each status of the proxy.
//
// Commands are recorded until there is a real task and forwarded from then
// on; queries are answered with neutral values until the hand-over is over
// and forwarded afterwards (passing the real task's result back); a few
// operations never leave the proxy.
#include <cstring>
#include <utility>

#include "bt_shell/BtShell.h"
#include "bt_shell/bt_shell_task.h"
#include "bt_shell/bt_shell_task_log.h"
#include "bt_shell/module_host.h"
#include "common/qvnew.h"
#include "common/release_assert.h"

namespace {

template <class T>
void set_out(T* out, T value) {
  if (out) *out = value;
}

}  // namespace

// ---------------------------------------------------------------------------
// Start and stop

HRESULT bt_shell_task::StartTask() {
  log_status_entry("StartTask");
  if (m_shell_task_status == shell_task_stopped) return S_OK;
  m_failure_code = 0;
  HRESULT hr = S_OK;
  if (m_shell_status == shell_idle ||
      (m_shell_status == shell_reload_func && m_shell_task_status == shell_task_idle)) {
    // Started for the first time during the hand-over: after the older records.
    hr = record<>("StartTask");
  } else if (m_shell_status == shell_reload_func || m_shell_status == shell_running) {
    forward("StartTask", &ITask::StartTask);
  }
  m_shell_task_status = shell_task_started;
  return hr;
}

HRESULT bt_shell_task::StopTask() {
  log_status_entry("StopTask");
  const bool replayed = std::exchange(m_replaying_stop, false);
  uninit();
  HRESULT hr = S_OK;
  switch (m_shell_status) {
    case shell_idle:
      hr = record<>("StopTask");
      break;
    case shell_reload_func:
      // Recorded during the hand-over; the replay delivers it.
      if (replayed)
        forward("StopTask", &ITask::StopTask);
      else
        hr = record<>("StopTask");
      break;
    case shell_running:
      forward("StopTask", &ITask::StopTask);
      break;
    default:
      break;
  }
  m_shell_task_status = shell_task_stopped;
  return hr;
}

HRESULT bt_shell_task::SignalStop() {
  const HRESULT hr = command("SignalStop", &ITask::SignalStop);
  m_shell_task_status = shell_task_stopped;
  return hr;
}

HRESULT bt_shell_task::GetStopFlag(BOOL* flag) {
  LOG4CPLUS_DEBUG(task_logger(), "GetStopFlag ");
  return query(
      "GetStopFlag",
      [this] {
        // The flag cannot be known before the hand-over is over.
        REPORT_ASSERT(task_logger(), "FALSE", "GetStopFlag before shell_running");
        return S_OK;
      },
      &ITask::GetStopFlag, flag);
}

HRESULT bt_shell_task::IsStopped() {
  LOG4CPLUS_DEBUG(task_logger(), "IsStopped ");
  return m_shell_task_status == shell_task_stopped ? S_OK : S_FALSE;
}

// ---------------------------------------------------------------------------
// Recorded commands

HRESULT bt_shell_task::SetDispatchStrategy(ULONG strategy) {
  return command("SetDispatchStrategy", &ITask::SetDispatchStrategy, strategy);
}

HRESULT bt_shell_task::SetDownloadSpeedLimit(tagQV_NAT_TYPE nat_type, ISpeedLimit* limit) {
  return command("SetDownloadSpeedLimit", &ITask::SetDownloadSpeedLimit, nat_type, limit);
}

HRESULT bt_shell_task::EnableSubTask(tagQV_SUB_TASK_TYPE type, LONG enable) {
  return command("EnableSubTask", &ITask::EnableSubTask, type, enable);
}

HRESULT bt_shell_task::SetStatParam(tagSTRING param1, tagSTRING param2, tagSTRING param3, LONG value) {
  return command("SetStatParam", &IBtTask::SetStatParam, param1, param2, param3, value);
}

HRESULT bt_shell_task::ResetNeedDownloadFile(ULONG count, const ULONG* file_indexes) {
  return command("ResetNeedDownloadFile", &IBtTask::ResetNeedDownloadFile, count, file_indexes);
}

HRESULT bt_shell_task::SetFileDownOrder(ULONG count, const ULONG* file_indexes) {
  return command("SetFileDownOrder", &IBtTask::SetFileDownOrder, count, file_indexes);
}

HRESULT bt_shell_task::SetDapPriorityList(ULONG count, const ULONG* priorities) {
  return command("SetDapPriorityList", &IBtTask2::SetDapPriorityList, count, priorities);
}

// ---------------------------------------------------------------------------
// Queries

HRESULT bt_shell_task::GetConnectInfo(ULONG_PTR value) {
  LOG4CPLUS_DEBUG(task_logger(), "GetConnectInfo ");
  return query("GetConnectInfo", [] { return E_FAIL; }, &ITask::GetConnectInfo, value);
}

HRESULT bt_shell_task::GetDataInput(ULONG_PTR value1, ULONG_PTR value2) {
  LOG4CPLUS_DEBUG(task_logger(), "GetDataInput ");
  return query("GetDataInput", [] { return E_FAIL; }, &ITask::GetDataInput, value1, value2);
}

HRESULT bt_shell_task::GetDataOutput(ULONG_PTR value1, ULONG_PTR value2) {
  LOG4CPLUS_DEBUG(task_logger(), "GetDataOutput ");
  return query("GetDataOutput", [] { return E_FAIL; }, &ITask::GetDataOutput, value1, value2);
}

HRESULT bt_shell_task::GetResourceCount(ULONG* count) {
  LOG4CPLUS_DEBUG(task_logger(), "GetResourceCount ");
  return query(
      "GetResourceCount",
      [count] {
        set_out(count, ULONG{0});
        return S_OK;
      },
      &ITask::GetResourceCount, count);
}

HRESULT bt_shell_task::GetResourceInfo(ULONG index, tagRESOURCE_INFO* info) {
  LOG4CPLUS_DEBUG(task_logger(), "GetResourceInfo ");
  return query(
      "GetResourceInfo",
      [info] {
        // The area between the fields is the kernel's: left as it is.
        if (info) info->value1 = info->value2 = info->value3 = info->value4 = info->value5 = 0;
        return S_OK;
      },
      &ITask::GetResourceInfo, index, info);
}

HRESULT bt_shell_task::GetNewConnectInfo(ULONG_PTR value1, ULONG_PTR value2, ULONG* result_size, ULONG* result) {
  LOG4CPLUS_DEBUG(task_logger(), "GetNewConnectInfo ");
  set_out(result_size, ULONG{0});
  IHostService* service = GetHostService();
  if (!service) {
    REPORT_ASSERT(task_logger(), "GetHostService() != NULL", "GetNewConnectInfo");
    return E_FAIL;
  }
  service->GetNewConnectInfo(value1, value2, result_size, result);
  if (m_shell_status != shell_running) return S_OK;
  const ULONG size = result_size ? *result_size : 0;
  LOG4CPLUS_DEBUG(task_logger(), "GetNewConnectInfo, pResultSize: " << size << "pResult" << (result ? *result : 0));
  if (size == 4) forward("GetNewConnectInfo", &ITask::GetNewConnectInfo, value1, value2, result_size, result);
  return S_OK;
}

HRESULT bt_shell_task::GetResourceStatistic(tagRESOURCE_STATISTIC* statistic) {
  LOG4CPLUS_DEBUG(task_logger(), "GetResourceStatistic ");
  return query(
      "GetResourceStatistic",
      [statistic] {
        if (statistic) std::memset(statistic, 0, sizeof *statistic);
        return S_OK;
      },
      &ITask::GetResourceStatistic, statistic);
}

HRESULT bt_shell_task::GetFileInfo(ULONG file_index, tagFILE_INFO_PAIR* info1, tagFILE_INFO_PAIR* info2,
                                   ULONG* value) {
  LOG4CPLUS_DEBUG(task_logger(), "GetFileInfo: file_index:" << file_index);
  return query(
      "GetFileInfo",
      [=] {
        set_out(info1, tagFILE_INFO_PAIR{0, 0});
        set_out(info2, tagFILE_INFO_PAIR{0, 0});
        set_out(value, ULONG{1});
        return S_OK;
      },
      &IBtTask::GetFileInfo, file_index, info1, info2, value);
}

HRESULT bt_shell_task::GetFileIdInfo(ULONG file_index, IStringSetter* id1, IStringSetter* id2) {
  LOG4CPLUS_DEBUG(task_logger(), "GetFileIdInfo: file_index:" << file_index);
  return query(
      "GetFileIdInfo",
      [=] {
        if (id1) id1->SetString(0, "");
        if (id2) id2->SetString(0, "");
        return S_OK;
      },
      &IBtTask::GetFileIdInfo, file_index, id1, id2);
}

HRESULT bt_shell_task::GetTaskInfo(tagTASK_INFO* info) {
  if (!info) return E_POINTER;
  const HRESULT hr = query(
      "GetTaskInfo",
      [info] {
        std::memset(info, 0, sizeof *info);
        return S_OK;
      },
      &IBtTask::GetTaskInfo, info);
  if (m_bt_shell->status() == kernel_load_failed) info->task_status = 12;
  LOG4CPLUS_DEBUG(task_logger(), "GetTaskInfo:task_status" << info->task_status);
  return hr;
}

HRESULT bt_shell_task::GetTaskInfo(tagTASK_INFO2** block) {
  LOG4CPLUS_DEBUG(task_logger(), "GetTaskInfo");
  using block_query = HRESULT (STDMETHODCALLTYPE IBtTask2::*)(tagTASK_INFO2**);
  return query(
      "GetTaskInfo",
      [block] {
        if (!block) return E_POINTER;
        // The caller takes the block; it comes from the module's allocator.
        auto* fresh = static_cast<tagTASK_INFO2*>(qv_allocate(sizeof(tagTASK_INFO2)));
        if (!fresh) return E_OUTOFMEMORY;
        *fresh = tagTASK_INFO2{0, 0};
        *block = fresh;
        return S_OK;
      },
      static_cast<block_query>(&IBtTask2::GetTaskInfo), block);
}

HRESULT bt_shell_task::GetFailureDetail(LONG* failure_code) {
  if (!failure_code) {
    REPORT_ASSERT(task_logger(), "pFailureCode", "");
    return E_POINTER;
  }
  HRESULT hr = S_OK;
  if (m_IBtTask) {
    com_ptr<IBtTask3> task;
    if (SUCCEEDED(m_IBtTask.query(IID_IBtTask3, task)) && task)
      hr = task->GetFailureDetail(failure_code);
    else
      hr = S_FALSE;
  } else {
    *failure_code = static_cast<LONG>(m_failure_code);
  }
  LOG4CPLUS_ERROR(task_logger(), TASK_PREFIX << "GetFailureDetail hr=" << hr << ", error_code=" << *failure_code);
  return hr;
}

// ---------------------------------------------------------------------------
// Operations answered by the proxy alone

HRESULT bt_shell_task::SetRetryStrategy(ULONG_PTR, ULONG_PTR, ULONG_PTR) {
  LOG4CPLUS_DEBUG(task_logger(), "SetRetryStrategy ");
  return S_OK;
}

HRESULT bt_shell_task::SetProxyInfo(ULONG_PTR, ULONG_PTR) {
  LOG4CPLUS_DEBUG(task_logger(), "SetProxyInfo ");
  return S_OK;
}

HRESULT bt_shell_task::SetTaskType(ULONG type) {
  LOG4CPLUS_DEBUG(task_logger(), "SetTaskType ");
  m_task_type = type;
  return S_OK;
}

HRESULT bt_shell_task::GetTaskType(ULONG* type) {
  set_out(type, m_task_type);
  return S_OK;
}

HRESULT bt_shell_task::IsSupportDispatchStrategy(ULONG strategy) {
  LOG4CPLUS_DEBUG(task_logger(), "IsSupportDispatchStrategy ");
  return strategy == 0 || strategy == 1 ? S_OK : S_FALSE;
}

HRESULT bt_shell_task::GetSpeed(ULONG* speed1, ULONG* speed2) {
  LOG4CPLUS_DEBUG(task_logger(), "GetSpeed ");
  set_out(speed1, ULONG{0});
  set_out(speed2, ULONG{0});
  return S_OK;
}

HRESULT bt_shell_task::SetRecommendInfo(ULONG_PTR) {
  LOG4CPLUS_DEBUG(task_logger(), "SetRecommendInfo ");
  return S_OK;
}

HRESULT bt_shell_task::GetRecommendInfo(ULONG_PTR) {
  LOG4CPLUS_DEBUG(task_logger(), "GetRecommendInfo ");
  return S_OK;
}

HRESULT bt_shell_task::AttachEvents(IBtTaskEvents* sink) {
  return CEventsRaiser<IBtTaskEvents, 0xFFFFFFFF>::AttachEvents(sink);
}

HRESULT bt_shell_task::DetachEvents(IBtTaskEvents* sink) {
  return CEventsRaiser<IBtTaskEvents, 0xFFFFFFFF>::DetachEvents(sink);
}
