#include "kernel/torrent_task.h"

#include "mp/mp.h"  // the memory-pool library, bottom layer
#include "kernel/kernel_call.h"
#include "kernel/kernel_session.h"
#include "kernel/task_core.h"

namespace {

tagFILE_INFO_PAIR halves(ULONGLONG value) {
  return tagFILE_INFO_PAIR{static_cast<ULONG>(value), static_cast<ULONG>(value >> 32)};
}

}  // namespace

torrent_task::torrent_task(std::shared_ptr<kernel_session> session, std::shared_ptr<task_core> core)
    : CUnknownMultiThread("torrent_task"), session_(std::move(session)), core_(std::move(core)) {}

torrent_task::~torrent_task() {
  kernel_call("torrent_task::~torrent_task", [&] {
    session_->release(core_);
    return S_OK;
  });
}

HRESULT torrent_task::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ITask) || IsEqualIID(riid, IID_IBtTask) ||
      IsEqualIID(riid, IID_IBtTask2) || IsEqualIID(riid, IID_IBtTask3))
    *ppv = static_cast<IBtTask3*>(this);
  else if (IsEqualIID(riid, IID_IBtTaskDetails))
    *ppv = static_cast<IBtTaskDetails*>(this);
  else
    return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

// ---------------------------------------------------------------------------
// Start and stop

HRESULT torrent_task::StartTask() {
  return kernel_call("StartTask", [&] { return core_->start(); });
}

HRESULT torrent_task::StopTask() {
  return kernel_call("StopTask", [&] { return core_->stop(true, session_->on_kernel_thread()); });
}

HRESULT torrent_task::SignalStop() {
  return kernel_call("SignalStop", [&] { return core_->stop(false, session_->on_kernel_thread()); });
}

HRESULT torrent_task::GetStopFlag(BOOL* flag) {
  if (!flag) return E_POINTER;
  *flag = core_->stop_flag() ? TRUE : FALSE;
  return S_OK;
}

HRESULT torrent_task::IsStopped() { return core_->is_stopped() ? S_OK : S_FALSE; }

// ---------------------------------------------------------------------------
// Commands

HRESULT torrent_task::ResetNeedDownloadFile(ULONG count, const ULONG* file_indexes) {
  if (count && !file_indexes) return E_POINTER;
  return kernel_call("ResetNeedDownloadFile", [&] { return core_->select_files(count, file_indexes); });
}

HRESULT torrent_task::SetFileDownOrder(ULONG count, const ULONG* file_indexes) {
  if (count && !file_indexes) return E_POINTER;
  return kernel_call("SetFileDownOrder", [&] { return core_->order_files(count, file_indexes); });
}

HRESULT torrent_task::SetDapPriorityList(ULONG count, const ULONG* priorities) {
  if (count && !priorities) return E_POINTER;
  return kernel_call("SetDapPriorityList", [&] { return core_->set_piece_priorities(count, priorities); });
}

HRESULT torrent_task::SetDownloadSpeedLimit(tagQV_NAT_TYPE, ISpeedLimit* limit) {
  ULONG bytes_per_second = 0;
  if (limit) {
    const HRESULT hr = limit->GetSpeedLimit(&bytes_per_second);
    if (FAILED(hr)) return hr;
  }
  return kernel_call("SetDownloadSpeedLimit", [&] { return core_->set_download_limit(bytes_per_second); });
}

HRESULT torrent_task::SetTaskType(ULONG type) {
  task_type_ = type;
  return S_OK;
}

HRESULT torrent_task::GetTaskType(ULONG* type) {
  if (!type) return E_POINTER;
  *type = task_type_;
  return S_OK;
}

HRESULT torrent_task::AttachEvents(IBtTaskEvents* sink) { return core_->attach_events(sink); }

HRESULT torrent_task::DetachEvents(IBtTaskEvents* sink) { return core_->detach_events(sink); }

// ---------------------------------------------------------------------------
// Queries

HRESULT torrent_task::GetTaskInfo(tagTASK_INFO* info) {
  if (!info) return E_POINTER;
  return kernel_call("GetTaskInfo", [&] {
    core_->task_info(*info);
    return S_OK;
  });
}

HRESULT torrent_task::GetTaskInfo(tagTASK_INFO2** block) {
  if (!block) return E_POINTER;
  *block = nullptr;
  return kernel_call("GetTaskInfo", [&] {
    ULONG wanted = 0;
    ULONG complete = 0;
    core_->wanted_file_counts(wanted, complete);
    // The caller takes the block: it comes from the memory-pool library.
    auto* fresh = static_cast<tagTASK_INFO2*>(mp_gt(sizeof(tagTASK_INFO2)));
    if (!fresh) return E_OUTOFMEMORY;
    *fresh = tagTASK_INFO2{wanted, complete};
    *block = fresh;
    return S_OK;
  });
}

HRESULT torrent_task::GetFailureDetail(LONG* failure_code) {
  if (!failure_code) return E_POINTER;
  *failure_code = core_->failure();
  return S_OK;
}

// ---------------------------------------------------------------------------
// Details

HRESULT torrent_task::GetTransferTotals(tagBT_TRANSFER_TOTALS* totals) {
  if (!totals) return E_POINTER;
  return kernel_call("GetTransferTotals", [&] {
    core_->transfer_totals(*totals);
    return S_OK;
  });
}

HRESULT torrent_task::GetFailureText(IStringSetter* text) {
  return kernel_call("GetFailureText", [&] {
    set_text(text, core_->failure_text());
    return S_OK;
  });
}

HRESULT torrent_task::GetTrackerCount(ULONG* count) {
  if (!count) return E_POINTER;
  return kernel_call("GetTrackerCount", [&] {
    *count = static_cast<ULONG>(core_->trackers().size());
    return S_OK;
  });
}

HRESULT torrent_task::GetTrackerInfo(ULONG index, IStringSetter* url, IStringSetter* answer,
                                     tagBT_TRACKER_INFO* info) {
  return kernel_call("GetTrackerInfo", [&] {
    const std::vector<tracker_answer> trackers = core_->trackers();
    if (index >= trackers.size()) return E_INVALIDARG;
    set_text(url, trackers[index].url);
    set_text(answer, trackers[index].text);
    if (info) *info = trackers[index].info;
    return S_OK;
  });
}

HRESULT torrent_task::GetSeenPeerCount(ULONG* count) {
  if (!count) return E_POINTER;
  return kernel_call("GetSeenPeerCount", [&] {
    *count = static_cast<ULONG>(core_->seen_peers().size());
    return S_OK;
  });
}

HRESULT torrent_task::GetSeenPeer(ULONG index, IStringSetter* peer) {
  return kernel_call("GetSeenPeer", [&] {
    const std::vector<std::string> peers = core_->seen_peers();
    if (index >= peers.size()) return E_INVALIDARG;
    set_text(peer, peers[index]);
    return S_OK;
  });
}

HRESULT torrent_task::GetSpeed(ULONG* speed1, ULONG* speed2) {
  if (!speed1 || !speed2) return E_POINTER;
  return kernel_call("GetSpeed", [&] {
    core_->speeds(*speed1, *speed2);
    return S_OK;
  });
}

HRESULT torrent_task::GetResourceCount(ULONG* count) {
  if (!count) return E_POINTER;
  return kernel_call("GetResourceCount", [&] {
    *count = core_->peer_count();
    return S_OK;
  });
}

HRESULT torrent_task::GetResourceInfo(ULONG index, tagRESOURCE_INFO* info) {
  if (!info) return E_POINTER;
  return kernel_call("GetResourceInfo", [&] { return core_->peer_info(index, *info); });
}

HRESULT torrent_task::GetResourceStatistic(tagRESOURCE_STATISTIC* statistic) {
  if (!statistic) return E_POINTER;
  return kernel_call("GetResourceStatistic", [&] {
    core_->statistic(*statistic);
    return S_OK;
  });
}

HRESULT torrent_task::GetFileInfo(ULONG file_index, tagFILE_INFO_PAIR* info1, tagFILE_INFO_PAIR* info2,
                                  ULONG* value) {
  if (!info1 || !info2 || !value) return E_POINTER;
  return kernel_call("GetFileInfo", [&] {
    ULONGLONG size = 0;
    ULONGLONG done = 0;
    const HRESULT hr = core_->file_info(file_index, size, done, *value);
    if (SUCCEEDED(hr)) {
      *info1 = halves(size);
      *info2 = halves(done);
    }
    return hr;
  });
}

HRESULT torrent_task::GetFileIdInfo(ULONG file_index, IStringSetter* id1, IStringSetter* id2) {
  return kernel_call("GetFileIdInfo", [&] {
    std::string inside;
    std::string on_disk;
    const HRESULT hr = core_->file_paths(file_index, inside, on_disk);
    if (FAILED(hr)) return hr;
    if (id1) id1->SetString(static_cast<ULONG>(inside.size()), inside.c_str());
    if (id2) id2->SetString(static_cast<ULONG>(on_disk.size()), on_disk.c_str());
    return S_OK;
  });
}

HRESULT torrent_task::IsSupportDispatchStrategy(ULONG) { return S_FALSE; }

// ---------------------------------------------------------------------------
// Operations of other engines

HRESULT torrent_task::GetConnectInfo(ULONG_PTR) { return not_meaningful_here("GetConnectInfo"); }

HRESULT torrent_task::GetDataInput(ULONG_PTR, ULONG_PTR) { return not_meaningful_here("GetDataInput"); }

HRESULT torrent_task::GetDataOutput(ULONG_PTR, ULONG_PTR) { return not_meaningful_here("GetDataOutput"); }

HRESULT torrent_task::GetNewConnectInfo(ULONG_PTR, ULONG_PTR, ULONG*, ULONG*) {
  return not_meaningful_here("GetNewConnectInfo");
}

HRESULT torrent_task::SetRetryStrategy(ULONG_PTR, ULONG_PTR, ULONG_PTR) {
  return not_meaningful_here("SetRetryStrategy");
}

HRESULT torrent_task::SetProxyInfo(ULONG_PTR, ULONG_PTR) { return not_meaningful_here("SetProxyInfo"); }

HRESULT torrent_task::SetDispatchStrategy(ULONG) { return not_meaningful_here("SetDispatchStrategy"); }

HRESULT torrent_task::SetRecommendInfo(ULONG_PTR) { return not_meaningful_here("SetRecommendInfo"); }

HRESULT torrent_task::GetRecommendInfo(ULONG_PTR) { return not_meaningful_here("GetRecommendInfo"); }

HRESULT torrent_task::EnableSubTask(tagQV_SUB_TASK_TYPE, LONG) { return not_meaningful_here("EnableSubTask"); }

HRESULT torrent_task::SetStatParam(tagSTRING, tagSTRING, tagSTRING, LONG) {
  return not_meaningful_here("SetStatParam");
}
