// bt_shell_task: the IBtTask3 operations in each status of the proxy.
//
// Commands are recorded until there is a real task and forwarded from then
// on; queries are answered with neutral values until the hand-over is over
// and forwarded afterwards (passing the real task's result back); a few
// operations never leave the proxy. Out-pointers are required: a null one
// is refused before anything is done, in every status.
#include <cstring>
#include <utility>

#include "bt_shell/bt_shell_task.h"
#include "bt_shell/bt_shell_task_log.h"
#include "common/qvnew.h"
#include "common/release_assert.h"

// ---------------------------------------------------------------------------
// Start and stop

HRESULT bt_shell_task::StartTask() {
  return guarded("StartTask", [&] {
    log_status_entry("StartTask");
    if (m_shell_task_status == bt_shell_task_run_status::shell_task_stopped) return S_OK;
    if (m_shell_status == bt_shell_task_status::shell_idle ||
        (m_shell_status == bt_shell_task_status::shell_reload_func &&
         m_shell_task_status == bt_shell_task_run_status::shell_task_idle)) {
      // Started for the first time during the hand-over: after the older records.
      commit(prepare_record("StartTask", &ITask::StartTask));
    } else if (m_shell_status == bt_shell_task_status::shell_reload_func ||
               m_shell_status == bt_shell_task_status::shell_running) {
      forward("StartTask", &ITask::StartTask);
    }
    m_failure_code = 0;
    m_shell_task_status = bt_shell_task_run_status::shell_task_started;
    return S_OK;
  });
}

HRESULT bt_shell_task::StopTask() {
  return guarded("StopTask", [&] {
    log_status_entry("StopTask");
    // Recorded until the hand-over is over (the replay delivers a stop made
    // during it); the record is made before anything changes.
    const bool recorded = m_shell_status == bt_shell_task_status::shell_idle ||
                          m_shell_status == bt_shell_task_status::shell_reload_func;
    prepared_record entry;
    if (recorded) entry = prepare_record("StopTask", &ITask::StopTask);
    uninit();
    // The real task's failure (its state could not be saved) is the host's to
    // know; the proxy is stopped all the same.
    HRESULT result = S_OK;
    if (recorded)
      commit(std::move(entry));
    else if (m_shell_status == bt_shell_task_status::shell_running)
      result = forward("StopTask", &ITask::StopTask);
    m_shell_task_status = bt_shell_task_run_status::shell_task_stopped;
    return FAILED(result) ? result : S_OK;
  });
}

HRESULT bt_shell_task::SignalStop() {
  const HRESULT hr = command("SignalStop", &ITask::SignalStop);
  if (SUCCEEDED(hr)) m_shell_task_status = bt_shell_task_run_status::shell_task_stopped;
  return hr;
}

HRESULT bt_shell_task::GetStopFlag(BOOL* flag) {
  return guarded("GetStopFlag", [&] {
    LOG4CPLUS_DEBUG(task_logger(), "GetStopFlag ");
    if (!flag) return misuse("GetStopFlag", host_misuse::null_pointer);
    return query(
        "GetStopFlag",
        [] {
          // The flag cannot be known before the hand-over is over.
          REPORT_ASSERT(task_logger(), "FALSE", "GetStopFlag before shell_running");
          return S_OK;
        },
        &ITask::GetStopFlag, flag);
  });
}

HRESULT bt_shell_task::IsStopped() {
  return guarded("IsStopped", [&] {
    LOG4CPLUS_DEBUG(task_logger(), "IsStopped ");
    return m_shell_task_status == bt_shell_task_run_status::shell_task_stopped ? S_OK : S_FALSE;
  });
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
  return guarded("GetConnectInfo", [&] {
    LOG4CPLUS_DEBUG(task_logger(), "GetConnectInfo ");
    return query("GetConnectInfo", [] { return E_FAIL; }, &ITask::GetConnectInfo, value);
  });
}

HRESULT bt_shell_task::GetDataInput(ULONG_PTR value1, ULONG_PTR value2) {
  return guarded("GetDataInput", [&] {
    LOG4CPLUS_DEBUG(task_logger(), "GetDataInput ");
    return query("GetDataInput", [] { return E_FAIL; }, &ITask::GetDataInput, value1, value2);
  });
}

HRESULT bt_shell_task::GetDataOutput(ULONG_PTR value1, ULONG_PTR value2) {
  return guarded("GetDataOutput", [&] {
    LOG4CPLUS_DEBUG(task_logger(), "GetDataOutput ");
    return query("GetDataOutput", [] { return E_FAIL; }, &ITask::GetDataOutput, value1, value2);
  });
}

HRESULT bt_shell_task::GetResourceCount(ULONG* count) {
  return guarded("GetResourceCount", [&] {
    LOG4CPLUS_DEBUG(task_logger(), "GetResourceCount ");
    if (!count) return misuse("GetResourceCount", host_misuse::null_pointer);
    return query(
        "GetResourceCount",
        [count] {
          *count = 0;
          return S_OK;
        },
        &ITask::GetResourceCount, count);
  });
}

HRESULT bt_shell_task::GetResourceInfo(ULONG index, tagRESOURCE_INFO* info) {
  return guarded("GetResourceInfo", [&] {
    LOG4CPLUS_DEBUG(task_logger(), "GetResourceInfo ");
    if (!info) return misuse("GetResourceInfo", host_misuse::null_pointer);
    return query(
        "GetResourceInfo",
        [info] {
          // The area between the fields is the kernel's: left as it is.
          info->value1 = info->value2 = info->value3 = info->value4 = info->value5 = 0;
          return S_OK;
        },
        &ITask::GetResourceInfo, index, info);
  });
}

HRESULT bt_shell_task::GetNewConnectInfo(ULONG_PTR value1, ULONG_PTR value2, ULONG* result_size, ULONG* result) {
  return guarded("GetNewConnectInfo", [&] {
    LOG4CPLUS_DEBUG(task_logger(), "GetNewConnectInfo ");
    if (!result_size || !result) return misuse("GetNewConnectInfo", host_misuse::null_pointer);
    *result_size = 0;
    IHostService* service = m_context->host_service();
    if (!service) {
      // Nothing to ask: the answer is an empty one.
      REPORT_ASSERT(task_logger(), "GetHostService() != NULL", "GetNewConnectInfo");
      return S_OK;
    }
    service->GetNewConnectInfo(value1, value2, result_size, result);
    if (m_shell_status != bt_shell_task_status::shell_running) return S_OK;
    LOG4CPLUS_DEBUG(task_logger(), "GetNewConnectInfo, pResultSize: " << *result_size << "pResult" << *result);
    if (*result_size == 4) forward("GetNewConnectInfo", &ITask::GetNewConnectInfo, value1, value2, result_size, result);
    return S_OK;
  });
}

HRESULT bt_shell_task::GetResourceStatistic(tagRESOURCE_STATISTIC* statistic) {
  return guarded("GetResourceStatistic", [&] {
    LOG4CPLUS_DEBUG(task_logger(), "GetResourceStatistic ");
    if (!statistic) return misuse("GetResourceStatistic", host_misuse::null_pointer);
    return query(
        "GetResourceStatistic",
        [statistic] {
          std::memset(statistic, 0, sizeof *statistic);
          return S_OK;
        },
        &ITask::GetResourceStatistic, statistic);
  });
}

HRESULT bt_shell_task::GetFileInfo(ULONG file_index, tagFILE_INFO_PAIR* info1, tagFILE_INFO_PAIR* info2,
                                   ULONG* value) {
  return guarded("GetFileInfo", [&] {
    LOG4CPLUS_DEBUG(task_logger(), "GetFileInfo: file_index:" << file_index);
    if (!info1 || !info2 || !value) return misuse("GetFileInfo", host_misuse::null_pointer);
    return query(
        "GetFileInfo",
        [=] {
          *info1 = *info2 = tagFILE_INFO_PAIR{0, 0};
          *value = 1;
          return S_OK;
        },
        &IBtTask::GetFileInfo, file_index, info1, info2, value);
  });
}

HRESULT bt_shell_task::GetFileIdInfo(ULONG file_index, IStringSetter* id1, IStringSetter* id2) {
  return guarded("GetFileIdInfo", [&] {
    LOG4CPLUS_DEBUG(task_logger(), "GetFileIdInfo: file_index:" << file_index);
    return query(
        "GetFileIdInfo",
        [=] {
          if (id1) id1->SetString(0, "");
          if (id2) id2->SetString(0, "");
          return S_OK;
        },
        &IBtTask::GetFileIdInfo, file_index, id1, id2);
  });
}

HRESULT bt_shell_task::GetTaskInfo(tagTASK_INFO* info) {
  return guarded("GetTaskInfo", [&] {
    if (!info) return misuse("GetTaskInfo", host_misuse::null_pointer);
    const HRESULT hr = query(
        "GetTaskInfo",
        [info] {
          std::memset(info, 0, sizeof *info);
          return S_OK;
        },
        &IBtTask::GetTaskInfo, info);
    if (kernel_load_failed()) info->task_status = bt_task_failed;
    LOG4CPLUS_DEBUG(task_logger(), "GetTaskInfo:task_status" << info->task_status);
    return hr;
  });
}

HRESULT bt_shell_task::GetTaskInfo(tagTASK_INFO2** block) {
  return guarded("GetTaskInfo", [&] {
    LOG4CPLUS_DEBUG(task_logger(), "GetTaskInfo");
    if (!block) return misuse("GetTaskInfo", host_misuse::null_pointer);
    using block_query = HRESULT (STDMETHODCALLTYPE IBtTask2::*)(tagTASK_INFO2**);
    return query(
        "GetTaskInfo",
        [block] {
          // The caller takes the block; it comes from the module's allocator.
          auto* fresh = static_cast<tagTASK_INFO2*>(qv_allocate(sizeof(tagTASK_INFO2)));
          if (!fresh) return E_OUTOFMEMORY;
          *fresh = tagTASK_INFO2{0, 0};
          *block = fresh;
          return S_OK;
        },
        static_cast<block_query>(&IBtTask2::GetTaskInfo), block);
  });
}

HRESULT bt_shell_task::GetFailureDetail(LONG* failure_code) {
  return guarded("GetFailureDetail", [&] {
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
  });
}

// ---------------------------------------------------------------------------
// Operations answered by the proxy alone

HRESULT bt_shell_task::SetRetryStrategy(ULONG_PTR, ULONG_PTR, ULONG_PTR) {
  return guarded("SetRetryStrategy", [] {
    LOG4CPLUS_DEBUG(task_logger(), "SetRetryStrategy ");
    return S_OK;
  });
}

HRESULT bt_shell_task::SetProxyInfo(ULONG_PTR, ULONG_PTR) {
  return guarded("SetProxyInfo", [] {
    LOG4CPLUS_DEBUG(task_logger(), "SetProxyInfo ");
    return S_OK;
  });
}

HRESULT bt_shell_task::SetTaskType(ULONG type) {
  return guarded("SetTaskType", [&] {
    LOG4CPLUS_DEBUG(task_logger(), "SetTaskType ");
    m_task_type = type;
    return S_OK;
  });
}

HRESULT bt_shell_task::GetTaskType(ULONG* type) {
  return guarded("GetTaskType", [&] {
    if (!type) return misuse("GetTaskType", host_misuse::null_pointer);
    *type = m_task_type;
    return S_OK;
  });
}

HRESULT bt_shell_task::IsSupportDispatchStrategy(ULONG strategy) {
  return guarded("IsSupportDispatchStrategy", [&] {
    LOG4CPLUS_DEBUG(task_logger(), "IsSupportDispatchStrategy ");
    return strategy == 0 || strategy == 1 ? S_OK : S_FALSE;
  });
}

HRESULT bt_shell_task::GetSpeed(ULONG* speed1, ULONG* speed2) {
  return guarded("GetSpeed", [&] {
    LOG4CPLUS_DEBUG(task_logger(), "GetSpeed ");
    if (!speed1 || !speed2) return misuse("GetSpeed", host_misuse::null_pointer);
    *speed1 = *speed2 = 0;
    return S_OK;
  });
}

HRESULT bt_shell_task::SetRecommendInfo(ULONG_PTR) {
  return guarded("SetRecommendInfo", [] {
    LOG4CPLUS_DEBUG(task_logger(), "SetRecommendInfo ");
    return S_OK;
  });
}

HRESULT bt_shell_task::GetRecommendInfo(ULONG_PTR) {
  return guarded("GetRecommendInfo", [] {
    LOG4CPLUS_DEBUG(task_logger(), "GetRecommendInfo ");
    return S_OK;
  });
}

HRESULT bt_shell_task::AttachEvents(IBtTaskEvents* sink) {
  return guarded("AttachEvents", [&] { return CEventsRaiser<IBtTaskEvents, unlimited_sinks>::AttachEvents(sink); });
}

HRESULT bt_shell_task::DetachEvents(IBtTaskEvents* sink) {
  return guarded("DetachEvents", [&] { return CEventsRaiser<IBtTaskEvents, unlimited_sinks>::DetachEvents(sink); });
}
