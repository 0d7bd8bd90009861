#include "host/recording_kernel/recording_kernel.h"

#include "host/recording_kernel/recording_task.h"
#include "host/recording_kernel/kernel_state.h"

namespace {

std::string num(ULONG_PTR v) { return std::to_string(v); }

std::string nums(std::initializer_list<ULONG_PTR> values) {
  std::string out;
  for (ULONG_PTR v : values) out += (out.empty() ? "" : ",") + num(v);
  return out;
}

std::string key_of(const tagSTRING& s) { return s.len && s.ptr ? std::string(s.ptr, s.len) : std::string(); }

}  // namespace

com_ptr<recording_kernel> recording_kernel::create() { return com_ptr<recording_kernel>::adopt(new recording_kernel()); }

recording_kernel::recording_kernel()
    : CUnknownMultiThread("recording_kernel"), state_(std::make_shared<kernel_state>()), events_(IID_IBitTorrentEvents) {}

recording_kernel::~recording_kernel() { state_->record("kernel.destroyed"); }

void recording_kernel::close() {
  state_->record("kernel.close()");
  events_.close();
  for (const com_ptr<recording_task>& task : state_->live_tasks()) task->close_events();
}

void recording_kernel::observe_journal(std::function<void(const std::string& line)> observer) {
  state_->set_observer(std::move(observer));
}

void recording_kernel::record(const std::string& operation, const std::string& arguments) {
  state_->record("kernel." + operation + "(" + arguments + ")");
}

HRESULT recording_kernel::result(const char* operation, HRESULT natural) const {
  return state_->kernel_result(operation, natural);
}

HRESULT recording_kernel::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IBitTorrentKernel)) {
    *ppv = static_cast<IBitTorrentKernel*>(this);
  } else if (IsEqualIID(riid, IID_IBitTorrentTest) && state_->option(BT_KERNEL_TEST_INTERFACE)) {
    *ppv = static_cast<IBitTorrentTest*>(this);
  } else if (IsEqualIID(riid, IID_IBtKernelProbe)) {
    *ppv = static_cast<IBtKernelProbe*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

// IBitTorrent

HRESULT recording_kernel::AttachEvents(IBitTorrentEvents* sink) {
  HRESULT hr = result("AttachEvents");
  if (SUCCEEDED(hr)) hr = events_.attach(sink);
  record("AttachEvents", "sinks=" + std::to_string(events_.sink_count()));
  return hr;
}

HRESULT recording_kernel::DetachEvents(IBitTorrentEvents* sink) {
  HRESULT hr = result("DetachEvents");
  if (SUCCEEDED(hr)) hr = events_.detach(sink);
  record("DetachEvents", "sinks=" + std::to_string(events_.sink_count()));
  return hr;
}

HRESULT recording_kernel::create_task(const char* operation, tagSTRING seed_path, tagSTRING data_path, ULONG first_count,
                               const ULONG* first_list, ULONG second_count, const SEED_TRACKER_ITEM* second_list,
                               IBtTask** task) {
  std::string line = std::string("kernel.") + operation + "(" + kernel_state::text(seed_path) + "," +
                     kernel_state::text(data_path) + "," + kernel_state::list(first_count, first_list) + "," +
                     kernel_state::trackers(second_count, second_list) + ")";
  if (!task) {
    state_->record(std::move(line));
    return E_POINTER;
  }
  *task = nullptr;
  const HRESULT hr = result(operation);
  if (FAILED(hr)) {
    state_->record(std::move(line));
    return hr;
  }
  auto* made = new recording_task(state_);  // count 1 goes to the caller
  state_->record(line + " -> task" + std::to_string(made->id()));
  *task = static_cast<IBtTask3*>(made);
  return hr;
}

HRESULT recording_kernel::CreateNewTask(tagSTRING seed_path, tagSTRING data_path, ULONG first_count, const ULONG* first_list,
                                 ULONG second_count, const SEED_TRACKER_ITEM* second_list, IBtTask** task) {
  return create_task("CreateNewTask", seed_path, data_path, first_count, first_list, second_count, second_list, task);
}

HRESULT recording_kernel::CreateContinuedTask(tagSTRING seed_path, tagSTRING data_path, ULONG first_count,
                                       const ULONG* first_list, ULONG second_count,
                                       const SEED_TRACKER_ITEM* second_list, IBtTask** task) {
  return create_task("CreateContinuedTask", seed_path, data_path, first_count, first_list, second_count, second_list,
                     task);
}

HRESULT recording_kernel::CreateUploadTask(tagSTRING seed_path, tagSTRING data_path, ULONG first_count,
                                    const ULONG* first_list, ULONG second_count, const SEED_TRACKER_ITEM* second_list,
                                    IBtTask** task) {
  return create_task("CreateUploadTask", seed_path, data_path, first_count, first_list, second_count, second_list,
                     task);
}

HRESULT recording_kernel::CreateSubTask(ULONG_PTR value1, ULONG_PTR value2, ULONG_PTR value3, ULONG_PTR value4,
                                 ULONG_PTR value5, ULONG_PTR value6, ULONG_PTR value7, ULONG_PTR value8,
                                 ULONG_PTR value9, ULONG_PTR value10, ULONG_PTR value11, ULONG_PTR value12) {
  record("CreateSubTask",
         nums({value1, value2, value3, value4, value5, value6, value7, value8, value9, value10, value11, value12}));
  return result("CreateSubTask");
}

HRESULT recording_kernel::ParseSeedFile(tagSTRING seed_path, SEED_FILE_INFO** info) {
  record("ParseSeedFile", kernel_state::text(seed_path));
  if (info) *info = nullptr;
  return result("ParseSeedFile", E_NOTIMPL);
}

HRESULT recording_kernel::IsTempFileExist(tagSTRING unused, tagSTRING seed_path) {
  record("IsTempFileExist", kernel_state::text(unused) + "," + kernel_state::text(seed_path));
  return result("IsTempFileExist");
}

HRESULT recording_kernel::GetDataFileList(tagSTRING data_folder, tagSTRING seed_path, DATA_FILE_LIST** list) {
  record("GetDataFileList", kernel_state::text(data_folder) + "," + kernel_state::text(seed_path));
  if (list) *list = nullptr;
  return result("GetDataFileList", E_NOTIMPL);
}

HRESULT recording_kernel::GetCfgFileList(tagSTRING seed_path, DATA_FILE_LIST** list) {
  record("GetCfgFileList", kernel_state::text(seed_path));
  if (list) *list = nullptr;
  return result("GetCfgFileList", E_NOTIMPL);
}

// The recording kernel never hands out these records, so it has nothing to free.
HRESULT recording_kernel::ReleaseSeedFileInfo(SEED_FILE_INFO* info) {
  record("ReleaseSeedFileInfo", kernel_state::pointer(info));
  return result("ReleaseSeedFileInfo");
}

HRESULT recording_kernel::ReleaseDataFileList(DATA_FILE_LIST* list) {
  record("ReleaseDataFileList", kernel_state::pointer(list));
  return result("ReleaseDataFileList");
}

HRESULT recording_kernel::ReleasePeerInfoList(PEER_INFO_LIST* list) {
  record("ReleasePeerInfoList", kernel_state::pointer(list));
  return result("ReleasePeerInfoList");
}

HRESULT recording_kernel::NotifyHubBtDeleted(tagSTRING data_folder, tagSTRING seed_path) {
  record("NotifyHubBtDeleted", kernel_state::text(data_folder) + "," + kernel_state::text(seed_path));
  return result("NotifyHubBtDeleted");
}

HRESULT recording_kernel::NotifyHubBtMoved(tagSTRING old_folder, tagSTRING seed_path, tagSTRING new_folder) {
  record("NotifyHubBtMoved",
         kernel_state::text(old_folder) + "," + kernel_state::text(seed_path) + "," + kernel_state::text(new_folder));
  return result("NotifyHubBtMoved");
}

HRESULT recording_kernel::ReservedOperation(ULONG_PTR value) {
  record("ReservedOperation", num(value));
  return result("ReservedOperation");
}

// IBitTorrent2

HRESULT recording_kernel::StartReimportTask(tagSTRING text1, tagSTRING text2, tagSTRING text3) {
  record("StartReimportTask",
         kernel_state::text(text1) + "," + kernel_state::text(text2) + "," + kernel_state::text(text3));
  return result("StartReimportTask");
}

HRESULT recording_kernel::GetReimportTaskTorrentFileName(ULONG_PTR value) {
  record("GetReimportTaskTorrentFileName", num(value));
  return result("GetReimportTaskTorrentFileName");
}

HRESULT recording_kernel::CloseReimportTask() {
  record("CloseReimportTask", "");
  return result("CloseReimportTask");
}

HRESULT recording_kernel::GetReimportProgress(BYTE* progress) {
  record("GetReimportProgress", "");
  const HRESULT hr = result("GetReimportProgress");
  if (SUCCEEDED(hr) && progress) *progress = static_cast<BYTE>(state_->kernel_value("GetReimportProgress.progress"));
  return hr;
}

HRESULT recording_kernel::GetReimportRootPath(ULONG_PTR value) {
  record("GetReimportRootPath", num(value));
  return result("GetReimportRootPath");
}

HRESULT recording_kernel::DebugP2pPipeQueryInfo(ULONG_PTR value1, ULONG_PTR value2) {
  record("DebugP2pPipeQueryInfo", nums({value1, value2}));
  return result("DebugP2pPipeQueryInfo");
}

HRESULT recording_kernel::DebugP2pPipeReleaseInfo(ULONG_PTR value) {
  record("DebugP2pPipeReleaseInfo", num(value));
  return result("DebugP2pPipeReleaseInfo");
}

HRESULT recording_kernel::CreateCfgFile(ULONG_PTR value1, ULONG_PTR value2, ULONG_PTR value3, ULONG_PTR value4,
                                 ULONG_PTR value5, ULONG_PTR value6, ULONG_PTR value7, ULONG_PTR value8) {
  record("CreateCfgFile", nums({value1, value2, value3, value4, value5, value6, value7, value8}));
  return result("CreateCfgFile");
}

// IBitTorrentTest

HRESULT recording_kernel::CreateBtTrackerClient(ULONG_PTR value) {
  record("CreateBtTrackerClient", num(value));
  return result("CreateBtTrackerClient");
}

HRESULT recording_kernel::CreateBtHubQueryClient(ULONG_PTR value) {
  record("CreateBtHubQueryClient", num(value));
  return result("CreateBtHubQueryClient");
}

HRESULT recording_kernel::CreateBtWriterFactory(ULONG_PTR value) {
  record("CreateBtWriterFactory", num(value));
  return result("CreateBtWriterFactory");
}

// IBtKernelProbe

HRESULT recording_kernel::GetJournal(IStringArraySetter* lines) {
  if (!lines) return E_POINTER;
  const std::vector<std::string> journal = state_->journal();
  std::vector<tagSTRING> items;
  items.reserve(journal.size());
  for (const std::string& line : journal) items.push_back(tagSTRING{static_cast<ULONG>(line.size()), line.c_str()});
  return lines->SetStringArray(tagSTRING_ARRAY{static_cast<ULONG>(items.size()), items.empty() ? nullptr : items.data()});
}

HRESULT recording_kernel::ClearJournal() {
  state_->clear_journal();
  return S_OK;
}

HRESULT recording_kernel::SetResult(tagSTRING operation, HRESULT hr) {
  state_->set_result(key_of(operation), hr);
  return S_OK;
}

HRESULT recording_kernel::ResetAnswers() {
  state_->reset_answers();
  return S_OK;
}

HRESULT recording_kernel::SetValue(tagSTRING key, ULONG value) {
  state_->set_value(key_of(key), value);
  return S_OK;
}

HRESULT recording_kernel::SetOption(ULONG option, BOOL on) {
  return state_->set_option(option, on != FALSE) ? S_OK : E_INVALIDARG;
}

HRESULT recording_kernel::RaiseKernelEvent1(ULONG_PTR value) {
  events_.broadcast(&IBitTorrentEvents::OnBitTorrentEvent1, value);
  return S_OK;
}

HRESULT recording_kernel::RaiseKernelEvent2(ULONG_PTR value1, ULONG_PTR value2) {
  events_.broadcast(&IBitTorrentEvents::OnBitTorrentEvent2, value1, value2);
  return S_OK;
}

HRESULT recording_kernel::RaiseTaskEvent(ULONG task_id, ULONG event, ULONG_PTR value) {
  if (event < 1 || event > 4) return E_INVALIDARG;
  com_ptr<recording_task> task = state_->find_task(task_id);
  if (!task) return E_FAIL;
  task->raise(event, value);
  return S_OK;
}

HRESULT recording_kernel::GetTask(ULONG task_id, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  com_ptr<recording_task> task = state_->find_task(task_id);
  if (!task) return E_FAIL;
  return task->QueryInterface(riid, ppv);
}

HRESULT recording_kernel::GetTaskCounts(ULONG* created, ULONG* alive) {
  if (created) *created = state_->tasks_created();
  if (alive) *alive = state_->tasks_alive();
  return S_OK;
}

HRESULT recording_kernel::GetSinkCount(ULONG task_id, ULONG* count) {
  if (!count) return E_POINTER;
  if (task_id == 0) {
    *count = static_cast<ULONG>(events_.sink_count());
    return S_OK;
  }
  com_ptr<recording_task> task = state_->find_task(task_id);
  if (!task) return E_FAIL;
  *count = static_cast<ULONG>(task->sink_count());
  return S_OK;
}
