#include "kernel/torrent_kernel.h"

#include "kernel/kernel_call.h"
#include "kernel/kernel_session.h"
#include "kernel/task_core.h"
#include "kernel/torrent_task.h"

namespace {

template <class T>
HRESULT not_meaningful_with_out(const char* operation, T** out) {
  if (out) *out = nullptr;
  return not_meaningful_here(operation);
}

}  // namespace

com_ptr<torrent_kernel> torrent_kernel::create(const kernel_settings& settings, bool quiet) {
  return com_ptr<torrent_kernel>::adopt(new torrent_kernel(kernel_session::start(settings, quiet)));
}

void torrent_kernel::go_live() { session_->go_live(); }

torrent_kernel::torrent_kernel(std::shared_ptr<kernel_session> session)
    : CUnknownMultiThread("torrent_kernel"),
      session_(std::move(session)),
      settings_face_(static_cast<IBitTorrentKernel&>(*this), session_),
      fetcher_face_(static_cast<IBitTorrentKernel&>(*this), session_) {}

void torrent_kernel::close() { session_->close_events(); }

int torrent_kernel::listen_port() const { return session_->listen_port(); }

HRESULT torrent_kernel::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IBitTorrentKernel))
    *ppv = static_cast<IBitTorrentKernel*>(this);
  else if (IsEqualIID(riid, IID_IBitTorrentTest))
    *ppv = static_cast<IBitTorrentTest*>(this);
  else if (IsEqualIID(riid, IID_IBtKernelSettings))
    *ppv = static_cast<IBtKernelSettings*>(&settings_face_);
  else if (IsEqualIID(riid, IID_IBtMetadataFetcher))
    *ppv = static_cast<IBtMetadataFetcher*>(&fetcher_face_);
  else
    return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

HRESULT torrent_kernel::AttachEvents(IBitTorrentEvents* sink) {
  if (!sink) return E_POINTER;
  return session_->attach_events(sink);
}

HRESULT torrent_kernel::DetachEvents(IBitTorrentEvents* sink) { return session_->detach_events(sink); }

// ---------------------------------------------------------------------------
// Tasks

HRESULT torrent_kernel::create_task(task_kind kind, tagSTRING seed_path, tagSTRING data_path, ULONG first_count,
                                    const ULONG* first_list, ULONG second_count,
                                    const SEED_TRACKER_ITEM* second_list, IBtTask** task) {
  if (!task) return E_POINTER;
  *task = nullptr;
  if (seed_path.len == 0 || !seed_path.ptr || data_path.len == 0 || !data_path.ptr ||
      (first_count && !first_list) || (second_count && !second_list))
    return E_INVALIDARG;
  return kernel_call(task_creation_operation(kind), [&] {
    task_request request;
    request.kind = kind;
    request.seed_path = to_std_string(seed_path);
    request.data_folder = to_std_string(data_path);
    request.selection.assign(first_list, first_list + first_count);
    if (const HRESULT hr = read_tracker_items(second_count, second_list, request); FAILED(hr)) return hr;
    LOG4CPLUS_INFO(kernel_logger(), task_creation_operation(kind) << " " << request.seed_path << " into " << request.data_folder);

    task_plan plan = plan_task(request);
    const auto core = std::make_shared<task_core>(kind, plan, session_->saves());
    // Made first, so that whatever happens next its end releases the torrent.
    com_ptr<torrent_task> made = com_ptr<torrent_task>::adopt(new torrent_task(session_, core));
    if (plan.failure == bt_failure_none)
      session_->add(core, std::move(plan.params));
    else
      LOG4CPLUS_ERROR(kernel_logger(), task_creation_operation(kind) << ": the task fails with " << plan.failure << ": "
                                                       << plan.detail);
    *task = made.detach();
    return S_OK;
  });
}

HRESULT torrent_kernel::CreateNewTask(tagSTRING seed_path, tagSTRING data_path, ULONG first_count,
                                      const ULONG* first_list, ULONG second_count,
                                      const SEED_TRACKER_ITEM* second_list, IBtTask** task) {
  return create_task(task_kind::new_download, seed_path, data_path, first_count, first_list, second_count,
                     second_list, task);
}

HRESULT torrent_kernel::CreateContinuedTask(tagSTRING seed_path, tagSTRING data_path, ULONG first_count,
                                            const ULONG* first_list, ULONG second_count,
                                            const SEED_TRACKER_ITEM* second_list, IBtTask** task) {
  return create_task(task_kind::continued, seed_path, data_path, first_count, first_list, second_count, second_list,
                     task);
}

HRESULT torrent_kernel::CreateUploadTask(tagSTRING seed_path, tagSTRING data_path, ULONG first_count,
                                         const ULONG* first_list, ULONG second_count,
                                         const SEED_TRACKER_ITEM* second_list, IBtTask** task) {
  return create_task(task_kind::upload, seed_path, data_path, first_count, first_list, second_count, second_list,
                     task);
}

HRESULT torrent_kernel::CreateSubTask(ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG_PTR,
                                      ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG_PTR) {
  return not_meaningful_here("CreateSubTask");
}

// ---------------------------------------------------------------------------
// What the shell answers itself; never forwarded to a kernel.

HRESULT torrent_kernel::ParseSeedFile(tagSTRING, SEED_FILE_INFO** info) {
  return not_meaningful_with_out("ParseSeedFile", info);
}

HRESULT torrent_kernel::IsTempFileExist(tagSTRING, tagSTRING) { return not_meaningful_here("IsTempFileExist"); }

HRESULT torrent_kernel::GetDataFileList(tagSTRING, tagSTRING, DATA_FILE_LIST** list) {
  return not_meaningful_with_out("GetDataFileList", list);
}

HRESULT torrent_kernel::GetCfgFileList(tagSTRING, DATA_FILE_LIST** list) {
  return not_meaningful_with_out("GetCfgFileList", list);
}

HRESULT torrent_kernel::ReleaseSeedFileInfo(SEED_FILE_INFO*) { return not_meaningful_here("ReleaseSeedFileInfo"); }

HRESULT torrent_kernel::ReleaseDataFileList(DATA_FILE_LIST*) { return not_meaningful_here("ReleaseDataFileList"); }

HRESULT torrent_kernel::ReleasePeerInfoList(PEER_INFO_LIST*) { return not_meaningful_here("ReleasePeerInfoList"); }

HRESULT torrent_kernel::NotifyHubBtDeleted(tagSTRING, tagSTRING) { return not_meaningful_here("NotifyHubBtDeleted"); }

HRESULT torrent_kernel::NotifyHubBtMoved(tagSTRING, tagSTRING, tagSTRING) {
  return not_meaningful_here("NotifyHubBtMoved");
}

HRESULT torrent_kernel::ReservedOperation(ULONG_PTR) { return S_OK; }

// ---------------------------------------------------------------------------
// Operations of other engines

HRESULT torrent_kernel::StartReimportTask(tagSTRING, tagSTRING, tagSTRING) {
  return not_meaningful_here("StartReimportTask");
}

HRESULT torrent_kernel::GetReimportTaskTorrentFileName(ULONG_PTR) {
  return not_meaningful_here("GetReimportTaskTorrentFileName");
}

HRESULT torrent_kernel::CloseReimportTask() { return not_meaningful_here("CloseReimportTask"); }

HRESULT torrent_kernel::GetReimportProgress(BYTE*) { return not_meaningful_here("GetReimportProgress"); }

HRESULT torrent_kernel::GetReimportRootPath(ULONG_PTR) { return not_meaningful_here("GetReimportRootPath"); }

HRESULT torrent_kernel::DebugP2pPipeQueryInfo(ULONG_PTR, ULONG_PTR) {
  return not_meaningful_here("DebugP2pPipeQueryInfo");
}

HRESULT torrent_kernel::DebugP2pPipeReleaseInfo(ULONG_PTR) { return not_meaningful_here("DebugP2pPipeReleaseInfo"); }

HRESULT torrent_kernel::CreateCfgFile(ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG_PTR,
                                      ULONG_PTR) {
  return not_meaningful_here("CreateCfgFile");
}

HRESULT torrent_kernel::CreateBtTrackerClient(ULONG_PTR) { return not_meaningful_here("CreateBtTrackerClient"); }

HRESULT torrent_kernel::CreateBtHubQueryClient(ULONG_PTR) { return not_meaningful_here("CreateBtHubQueryClient"); }

HRESULT torrent_kernel::CreateBtWriterFactory(ULONG_PTR) { return not_meaningful_here("CreateBtWriterFactory"); }
