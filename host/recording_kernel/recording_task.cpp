#include "host/recording_kernel/recording_task.h"

#include <cstring>

#include "interfaces/IBtKernelProbe.h"
#include "host/recording_kernel/kernel_state.h"
#include "mp/mp.h"

namespace {

std::string num(ULONG_PTR v) { return std::to_string(v); }

}  // namespace

recording_task::recording_task(std::shared_ptr<kernel_state> state)
    : CUnknownMultiThread("recording_task"), state_(std::move(state)), events_(IID_IBtTaskEvents) {
  id_ = state_->add_task(this);
}

recording_task::~recording_task() {
  state_->remove_task(id_);
  record("destroyed", std::string());
}

void recording_task::record(const std::string& operation, const std::string& arguments) {
  std::string line = "task" + std::to_string(id_) + "." + operation;
  if (operation != "destroyed") line += "(" + arguments + ")";
  state_->record(std::move(line));
}

HRESULT recording_task::result(const char* operation, HRESULT natural) const {
  return state_->task_result(id_, operation, natural);
}

ULONG recording_task::value(const char* key) const { return state_->task_value(id_, key); }

bool recording_task::raise(ULONG event, ULONG_PTR value) {
  switch (event) {
    case 1: events_.broadcast(&IBtTaskEvents::OnBtTaskEvent1, value); return true;
    case 2: events_.broadcast(&IBtTaskEvents::OnBtTaskEvent2, value); return true;
    case 3: events_.broadcast(&IBtTaskEvents::OnBtTaskEvent3, value); return true;
    case 4: events_.broadcast(&IBtTaskEvents::OnBtTaskEvent4, value); return true;
    default: return false;
  }
}

HRESULT recording_task::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  const bool task2 = state_->option(BT_KERNEL_TASK_BTTASK2);
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ITask) || IsEqualIID(riid, IID_IBtTask) ||
      (IsEqualIID(riid, IID_IBtTask2) && task2) ||
      (IsEqualIID(riid, IID_IBtTask3) && task2 && state_->option(BT_KERNEL_TASK_BTTASK3))) {
    *ppv = static_cast<IBtTask3*>(this);
  } else if (IsEqualIID(riid, IID_IAcceleratable) && state_->option(BT_KERNEL_TASK_ACCELERATABLE)) {
    *ppv = static_cast<IAcceleratable*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

// ITask

HRESULT recording_task::StartTask() {
  record("StartTask", "");
  const HRESULT hr = result("StartTask");
  if (SUCCEEDED(hr)) {
    platform::critical_section_lock lock(lock_);
    stop_flag_ = stopped_ = false;
  }
  return hr;
}

HRESULT recording_task::StopTask() {
  record("StopTask", "");
  const HRESULT hr = result("StopTask");
  if (SUCCEEDED(hr)) {
    platform::critical_section_lock lock(lock_);
    stop_flag_ = stopped_ = true;
  }
  return hr;
}

HRESULT recording_task::SignalStop() {
  record("SignalStop", "");
  const HRESULT hr = result("SignalStop");
  if (SUCCEEDED(hr)) {
    platform::critical_section_lock lock(lock_);
    stop_flag_ = true;
  }
  return hr;
}

HRESULT recording_task::GetStopFlag(BOOL* flag) {
  record("GetStopFlag", "");
  const HRESULT hr = result("GetStopFlag");
  if (SUCCEEDED(hr) && flag) {
    platform::critical_section_lock lock(lock_);
    *flag = stop_flag_ ? TRUE : FALSE;
  }
  return hr;
}

HRESULT recording_task::IsStopped() {
  record("IsStopped", "");
  platform::critical_section_lock lock(lock_);
  return result("IsStopped", stopped_ ? S_OK : S_FALSE);
}

HRESULT recording_task::GetConnectInfo(ULONG_PTR value) {
  record("GetConnectInfo", num(value));
  return result("GetConnectInfo");
}

HRESULT recording_task::GetDataInput(ULONG_PTR value1, ULONG_PTR value2) {
  record("GetDataInput", num(value1) + "," + num(value2));
  return result("GetDataInput");
}

HRESULT recording_task::GetDataOutput(ULONG_PTR value1, ULONG_PTR value2) {
  record("GetDataOutput", num(value1) + "," + num(value2));
  return result("GetDataOutput");
}

HRESULT recording_task::GetResourceCount(ULONG* count) {
  record("GetResourceCount", "");
  const HRESULT hr = result("GetResourceCount");
  if (SUCCEEDED(hr) && count) *count = value("GetResourceCount.count");
  return hr;
}

HRESULT recording_task::GetResourceInfo(ULONG index, tagRESOURCE_INFO* info) {
  record("GetResourceInfo", num(index));
  const HRESULT hr = result("GetResourceInfo");
  if (SUCCEEDED(hr) && info) {
    const ULONG v = value("GetResourceInfo.value");
    info->value1 = info->value2 = info->value3 = info->value4 = info->value5 = v;
  }
  return hr;
}

HRESULT recording_task::GetNewConnectInfo(ULONG_PTR value1, ULONG_PTR value2, ULONG* result_size, ULONG* result_out) {
  record("GetNewConnectInfo", num(value1) + "," + num(value2));
  const HRESULT hr = result("GetNewConnectInfo");
  if (SUCCEEDED(hr)) {
    if (result_size) *result_size = value("GetNewConnectInfo.result_size");
    if (result_out) *result_out = value("GetNewConnectInfo.result");
  }
  return hr;
}

HRESULT recording_task::SetRetryStrategy(ULONG_PTR value1, ULONG_PTR value2, ULONG_PTR value3) {
  record("SetRetryStrategy", num(value1) + "," + num(value2) + "," + num(value3));
  return result("SetRetryStrategy");
}

HRESULT recording_task::SetProxyInfo(ULONG_PTR value1, ULONG_PTR value2) {
  record("SetProxyInfo", num(value1) + "," + num(value2));
  return result("SetProxyInfo");
}

HRESULT recording_task::SetTaskType(ULONG type) {
  record("SetTaskType", num(type));
  const HRESULT hr = result("SetTaskType");
  if (SUCCEEDED(hr)) {
    platform::critical_section_lock lock(lock_);
    task_type_ = type;
  }
  return hr;
}

HRESULT recording_task::GetTaskType(ULONG* type) {
  record("GetTaskType", "");
  const HRESULT hr = result("GetTaskType");
  if (SUCCEEDED(hr) && type) {
    platform::critical_section_lock lock(lock_);
    *type = task_type_;
  }
  return hr;
}

HRESULT recording_task::SetDispatchStrategy(ULONG strategy) {
  record("SetDispatchStrategy", num(strategy));
  return result("SetDispatchStrategy");
}

HRESULT recording_task::IsSupportDispatchStrategy(ULONG strategy) {
  record("IsSupportDispatchStrategy", num(strategy));
  return result("IsSupportDispatchStrategy", strategy <= 1 ? S_OK : S_FALSE);
}

HRESULT recording_task::GetSpeed(ULONG* speed1, ULONG* speed2) {
  record("GetSpeed", "");
  const HRESULT hr = result("GetSpeed");
  if (SUCCEEDED(hr)) {
    if (speed1) *speed1 = value("GetSpeed.speed1");
    if (speed2) *speed2 = value("GetSpeed.speed2");
  }
  return hr;
}

HRESULT recording_task::SetRecommendInfo(ULONG_PTR value) {
  record("SetRecommendInfo", num(value));
  return result("SetRecommendInfo");
}

HRESULT recording_task::GetRecommendInfo(ULONG_PTR value) {
  record("GetRecommendInfo", num(value));
  return result("GetRecommendInfo");
}

HRESULT recording_task::SetDownloadSpeedLimit(tagQV_NAT_TYPE nat_type, ISpeedLimit* limit) {
  record("SetDownloadSpeedLimit", std::to_string(static_cast<LONG>(nat_type)) + "," + state_->pointer(limit));
  return result("SetDownloadSpeedLimit");
}

HRESULT recording_task::GetResourceStatistic(tagRESOURCE_STATISTIC* statistic) {
  record("GetResourceStatistic", "");
  const HRESULT hr = result("GetResourceStatistic");
  if (SUCCEEDED(hr) && statistic) {
    const ULONG v = value("GetResourceStatistic.value");
    for (ULONG& field : statistic->values) field = v;
  }
  return hr;
}

HRESULT recording_task::EnableSubTask(tagQV_SUB_TASK_TYPE type, LONG enable) {
  record("EnableSubTask", std::to_string(static_cast<LONG>(type)) + "," + std::to_string(enable));
  return result("EnableSubTask");
}

// IBtTask

HRESULT recording_task::AttachEvents(IBtTaskEvents* sink) {
  HRESULT hr = result("AttachEvents", S_OK);
  if (SUCCEEDED(hr)) hr = events_.attach(sink);
  record("AttachEvents", "sinks=" + std::to_string(events_.sink_count()));
  return hr;
}

HRESULT recording_task::DetachEvents(IBtTaskEvents* sink) {
  HRESULT hr = result("DetachEvents", S_OK);
  if (SUCCEEDED(hr)) hr = events_.detach(sink);
  record("DetachEvents", "sinks=" + std::to_string(events_.sink_count()));
  return hr;
}

HRESULT recording_task::SetStatParam(tagSTRING param1, tagSTRING param2, tagSTRING param3, LONG value) {
  record("SetStatParam", state_->text(param1) + "," + state_->text(param2) + "," + state_->text(param3) + "," +
                             std::to_string(value));
  return result("SetStatParam");
}

HRESULT recording_task::ResetNeedDownloadFile(ULONG count, const ULONG* file_indexes) {
  record("ResetNeedDownloadFile", state_->list(count, file_indexes));
  return result("ResetNeedDownloadFile");
}

HRESULT recording_task::SetFileDownOrder(ULONG count, const ULONG* file_indexes) {
  record("SetFileDownOrder", state_->list(count, file_indexes));
  return result("SetFileDownOrder");
}

HRESULT recording_task::GetFileInfo(ULONG file_index, tagFILE_INFO_PAIR* info1, tagFILE_INFO_PAIR* info2,
                                    ULONG* value_out) {
  record("GetFileInfo", num(file_index));
  const HRESULT hr = result("GetFileInfo");
  if (SUCCEEDED(hr)) {
    const ULONG v = value("GetFileInfo.value");
    if (info1) *info1 = tagFILE_INFO_PAIR{v, v};
    if (info2) *info2 = tagFILE_INFO_PAIR{v, v};
    if (value_out) *value_out = v;
  }
  return hr;
}

HRESULT recording_task::GetFileIdInfo(ULONG file_index, IStringSetter* id1, IStringSetter* id2) {
  record("GetFileIdInfo", num(file_index) + "," + state_->pointer(id1) + "," + state_->pointer(id2));
  const HRESULT hr = result("GetFileIdInfo");
  if (SUCCEEDED(hr)) {
    const std::string t1 = "id1-" + num(file_index), t2 = "id2-" + num(file_index);
    if (id1) id1->SetString(static_cast<ULONG>(t1.size()), t1.c_str());
    if (id2) id2->SetString(static_cast<ULONG>(t2.size()), t2.c_str());
  }
  return hr;
}

HRESULT recording_task::GetTaskInfo(tagTASK_INFO* info) {
  record("GetTaskInfo", "record");
  const HRESULT hr = result("GetTaskInfo");
  if (SUCCEEDED(hr) && info) {
    std::memset(info, 0, sizeof *info);
    info->task_status = value("GetTaskInfo.status");
  }
  return hr;
}

// IBtTask2

HRESULT recording_task::GetTaskInfo(tagTASK_INFO2** block) {
  record("GetTaskInfo", "block");
  if (!block) return E_POINTER;
  *block = nullptr;
  const HRESULT hr = result("GetTaskInfo");
  if (FAILED(hr)) return hr;
  auto* b = static_cast<tagTASK_INFO2*>(mp_gt(sizeof(tagTASK_INFO2)));
  if (!b) return E_OUTOFMEMORY;
  b->value1 = value("GetTaskInfo.status");
  b->value2 = 0;
  *block = b;
  return hr;
}

HRESULT recording_task::SetDapPriorityList(ULONG count, const ULONG* priorities) {
  record("SetDapPriorityList", state_->list(count, priorities));
  return result("SetDapPriorityList");
}

// IBtTask3

HRESULT recording_task::GetFailureDetail(LONG* failure_code) {
  record("GetFailureDetail", "");
  const HRESULT hr = result("GetFailureDetail");
  if (SUCCEEDED(hr) && failure_code) *failure_code = static_cast<LONG>(value("GetFailureDetail.code"));
  return hr;
}

// IAcceleratable

HRESULT recording_task::Accelerate(tagSTRING certification) {
  record("Accelerate", state_->text(certification));
  const HRESULT hr = result("Accelerate");
  if (SUCCEEDED(hr)) {
    platform::critical_section_lock lock(lock_);
    certification_ = certification.len && certification.ptr ? std::string(certification.ptr, certification.len)
                                                             : std::string();
  }
  return hr;
}

HRESULT recording_task::IsAccelerated(IStringSetter* setter) {
  record("IsAccelerated", state_->pointer(setter));
  std::string text;
  {
    platform::critical_section_lock lock(lock_);
    text = certification_;
  }
  const HRESULT hr = result("IsAccelerated", text.empty() ? S_FALSE : S_OK);
  if (hr == S_OK && setter && !text.empty()) setter->SetString(static_cast<ULONG>(text.size()), text.c_str());
  return hr;
}
