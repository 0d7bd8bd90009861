// bt_shell_task: construction, registration with the shell, the hand-over to
// the real task when the kernel arrives, the replay of recorded calls, and
// destruction.
#include "bt_shell/bt_shell_task.h"

#include <cstring>
#include <sstream>

#include "bt_shell/BtShell.h"
#include "bt_shell/bt_shell_task_log.h"
#include "bt_shell/module_host.h"
#include "common/release_assert.h"

log4cplus::Logger& task_logger() {
  static log4cplus::Logger instance = log4cplus::Logger::getInstance("bt_shell_task");
  return instance;
}

namespace {

// Replaying one record: the proxy's own operation `op` (called through its
// IBtTask3 face) with the record's arguments.
template <class I, class... Params>
HRESULT replay_into(IBtTask3& task, HRESULT (STDMETHODCALLTYPE I::*op)(Params...), const para_container& record) {
  using recorded = call_record<Params...>;
  const auto* typed = dynamic_cast<const typename recorded::type*>(&record);
  RELEASE_ASSERT_TEXT(typed != nullptr, "record type matches its name", record.function_name());
  return recorded::replay(*typed, [&task, op](auto... args) { return (task.*op)(args...); });
}

template <auto Op>
HRESULT replay_as(IBtTask3& task, const para_container& record) {
  return replay_into(task, Op, record);
}

struct replay_entry {
  const char* name;
  HRESULT (*replay)(IBtTask3& task, const para_container& record);
};

// The recorded operations, in the order in which a record's name is matched.
const replay_entry kReplayTable[] = {
    {"StartTask", &replay_as<&ITask::StartTask>},
    {"StopTask", &replay_as<&ITask::StopTask>},
    {"SignalStop", &replay_as<&ITask::SignalStop>},
    {"SetDispatchStrategy", &replay_as<&ITask::SetDispatchStrategy>},
    {"SetDownloadSpeedLimit", &replay_as<&ITask::SetDownloadSpeedLimit>},
    {"EnableSubTask", &replay_as<&ITask::EnableSubTask>},
    {"ResetNeedDownloadFile", &replay_as<&IBtTask::ResetNeedDownloadFile>},
    {"SetFileDownOrder", &replay_as<&IBtTask::SetFileDownOrder>},
    {"SetDapPriorityList", &replay_as<&IBtTask2::SetDapPriorityList>},
    {"SetStatParam", &replay_as<&IBtTask::SetStatParam>},
};

using create_method = HRESULT (STDMETHODCALLTYPE IBitTorrent::*)(tagSTRING, tagSTRING, ULONG, const ULONG*, ULONG,
                                                                 const SEED_TRACKER_ITEM*, IBtTask**);

}  // namespace

bt_shell_task::bt_shell_task(tagSTRING seed_file, tagSTRING data_file_path, ULONG first_count,
                             const ULONG* first_list, ULONG second_count, const SEED_TRACKER_ITEM* second_list,
                             ULONG create_type, CBtShell* shell)
    : CUnknownMultiThread("bt_shell_task"),
      CEventsRaiser<IBtTaskEvents, 0xFFFFFFFF>(IID_IBtTaskEvents),
      m_create_type(create_type),
      m_str_seed_file(to_std_string(seed_file)),
      m_str_data_file_path(to_std_string(data_file_path)),
      m_first_count(first_count),
      m_first_list(copy_array(first_count, first_list)),
      m_second_count(second_count),
      m_second_list(copy_array(second_count, second_list)),
      m_task_events(com_ptr<task_event_relay>::adopt(new task_event_relay(this))),
      m_bt_shell(shell) {
  LOG4CPLUS_INFO(task_logger(), TASK_PREFIX << "bt_shell_task::bt_shell_task, m_str_seed_file " << m_str_seed_file
                                            << " m_str_data_file_path:" << m_str_data_file_path);
}

bt_shell_task::~bt_shell_task() {
  LOG4CPLUS_INFO(task_logger(), TASK_PREFIX << "bt_shell_task::~bt_shell_task");
  m_shell_status = shell_destroying;
  if (!m_para_containers.empty()) shell_reload_function();
  // A proxy released while still waiting for the kernel leaves the shell's
  // list, so that the shell never calls a destroyed listener; one released
  // while its real task runs detaches its sink, so that the real task (let
  // go of with the proxy) no longer holds it.
  uninit();
  m_task_events->disconnect();
}

HRESULT bt_shell_task::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (IsEqualIID(riid, IID_ITask) || IsEqualIID(riid, IID_IBtTask) || IsEqualIID(riid, IID_IBtTask2)) {
    *ppv = static_cast<IBtTask3*>(this);
  } else if (IsEqualIID(riid, IID_IVirtualTask)) {
    *ppv = static_cast<IVirtualTask*>(this);
  } else if (IsEqualIID(riid, IID_IBtTask3)) {
    *ppv = static_cast<IBtTask3*>(this);
  } else if (IsEqualIID(riid, IID_IAcceleratable) || IsEqualIID(riid, IID_IUnknown)) {
    *ppv = static_cast<IAcceleratable*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

void bt_shell_task::init() {
  LOG4CPLUS_INFO(task_logger(), TASK_PREFIX << "bt_shell_task::init");
  m_bt_shell->add_loading_listenner(this);
  m_listener_registered = 1;
}

void bt_shell_task::uninit() {
  withdraw_registration();
  if (m_task_events_attached) {
    m_task_events_attached = false;
    m_IBtTask->DetachEvents(m_task_events.get());
  }
}

void bt_shell_task::withdraw_registration() {
  if (m_listener_registered == 0) return;
  m_bt_shell->remove_loading_listenner(this);
  m_listener_registered = 0;
}

void bt_shell_task::loading_complete(ULONG error_code) {
  LOG4CPLUS_INFO(task_logger(), TASK_PREFIX << "loading_complete, m_str_seed_file " << m_str_seed_file
                                            << " m_str_data_file_path:" << m_str_data_file_path
                                            << ", error_code=" << error_code
                                            << ", m_shell_status=" << static_cast<LONG>(m_shell_status)
                                            << ", m_shell_task_status=" << static_cast<LONG>(m_shell_task_status));
  if (error_code != 0) {
    m_failure_code = kernel_unavailable_code;
    return;
  }
  if (m_shell_status != shell_idle) {
    // Told of the kernel twice: the first hand-over stands.
    REPORT_ASSERT(task_logger(), "m_shell_status == shell_idle", "");
    return;
  }
  // The shell holds a reference for the length of the call: a host sink may
  // release the host's last one during the replay.
  m_shell_status = shell_reload_func;
  if (m_shell_task_status == shell_task_stopped) return;

  if (!create_real_task()) {
    // The kernel is there but gave no usable task: nothing more will come.
    m_failure_code = kernel_unavailable_code;
    withdraw_registration();
    return;
  }
  m_task_events_attached = SUCCEEDED(m_IBtTask->AttachEvents(m_task_events.get()));
  hand_over_acceleration();
  withdraw_registration();
  if (m_shell_task_status != shell_task_stopped) shell_reload_function();
  m_shell_status = shell_running;
}

bool bt_shell_task::create_real_task() {
  com_ptr<IBitTorrentKernel> kernel;
  IDownloadLib* host = GetDownloadLib();
  const HRESULT hr = host ? host->GetInstance(IID_IBitTorrentKernel, kernel.put_void()) : E_FAIL;
  if (FAILED(hr) || !kernel) {
    REPORT_ASSERT(task_logger(), "SUCCEEDED(hr)", "no kernel registered with the host");
    return false;
  }

  create_method create = nullptr;
  switch (m_create_type) {
    case create_new_task:
      LOG4CPLUS_DEBUG(task_logger(), "OnRegisterInstance CreateNewTask");
      create = &IBitTorrent::CreateNewTask;
      break;
    case create_continued_task:
      LOG4CPLUS_DEBUG(task_logger(), "OnRegisterInstance CreateContinuedTask");
      create = &IBitTorrent::CreateContinuedTask;
      break;
    case create_upload_task:
      LOG4CPLUS_DEBUG(task_logger(), "OnRegisterInstance CreateUploadTask");
      create = &IBitTorrent::CreateUploadTask;
      break;
    default:
      RELEASE_ASSERT_TEXT(false, "FALSE", "unknown creation type");
  }
  com_ptr<IBtTask> task;
  (kernel.get()->*create)(to_tag_string(m_str_seed_file), to_tag_string(m_str_data_file_path), m_first_count,
                          m_first_list.get(), m_second_count, m_second_list.get(), task.put());
  if (!task) {
    REPORT_ASSERT(task_logger(), "pIBtTask", "the kernel gave no task");
    return false;
  }
  task.query(IID_IBtTask2, m_IBtTask);
  if (!m_IBtTask) {
    REPORT_ASSERT(task_logger(), "m_IBtTask != NULL", "the kernel's task does not answer IID_IBtTask2");
    return false;
  }
  return true;
}

void bt_shell_task::hand_over_acceleration() {
  if (m_str_certification.empty()) return;
  com_ptr<IAcceleratable> acceleratable;
  if (SUCCEEDED(m_IBtTask.query(IID_IAcceleratable, acceleratable)) && acceleratable)
    acceleratable->Accelerate(to_tag_string(m_str_certification));
}

void bt_shell_task::shell_reload_function() {
  LOG4CPLUS_DEBUG(task_logger(), "shell_reload_function");
  while (!m_para_containers.empty()) {
    std::unique_ptr<para_container> entry = std::move(m_para_containers.front());
    m_para_containers.pop_front();
    // A StopTask recorded during the hand-over reaches the real task here,
    // once, and ends the replay: whatever was recorded after it is dropped.
    const bool ends_replay = m_shell_status == shell_reload_func && entry->function_name() == "StopTask";
    replay_record(*entry);
    entry.reset();
    if (ends_replay) {
      m_para_containers.clear();
      break;
    }
  }
}

void bt_shell_task::replay_record(const para_container& record) {
  const std::string& name = record.function_name();
  LOG4CPLUS_DEBUG(task_logger(), "shell_reload_function, funcion_name:" << name);
  for (const replay_entry& entry : kReplayTable) {
    if (name != entry.name) continue;
    m_replaying_stop = name == "StopTask";
    const HRESULT hr = entry.replay(*this, record);
    m_replaying_stop = false;
    if (FAILED(hr)) REPORT_ASSERT(task_logger(), "SUCCEEDED(hr)", name);
    return;
  }
}

void bt_shell_task::log_status_entry(const char* name) const {
  LOG4CPLUS_DEBUG(task_logger(), name << ", m_shell_status: " << static_cast<LONG>(m_shell_status));
}

void bt_shell_task::report_missing_task(const char* name) const {
  std::ostringstream detail;
  detail << TASK_PREFIX << " " << name << " dropped";
  REPORT_ASSERT(task_logger(), "m_IBtTask != NULL", detail.str());
}
