// bt_shell_task: construction, registration with the shell, the hand-over to
// the real task when the kernel arrives, the replay of recorded calls, and
// destruction.
#include "bt_shell/bt_shell_task.h"

#include <cstring>
#include <sstream>

#include "bt_shell/bt_shell_task_log.h"
#include "bt_shell/host_instance.h"
#include "common/release_assert.h"

log4cplus::Logger& task_logger() {
  static log4cplus::Logger instance = log4cplus::Logger::getInstance("bt_shell_task");
  return instance;
}

namespace {

using create_method = HRESULT (STDMETHODCALLTYPE IBitTorrent::*)(tagSTRING, tagSTRING, ULONG, const ULONG*, ULONG,
                                                                 const SEED_TRACKER_ITEM*, IBtTask**);

bool is_call_of(const para_container<IBtTask2>& record, const char* name) {
  return std::strcmp(record.function_name(), name) == 0;
}

}  // namespace

bt_shell_task::bt_shell_task(tagSTRING seed_file, tagSTRING data_file_path, ULONG first_count,
                             const ULONG* first_list, ULONG second_count, const SEED_TRACKER_ITEM* second_list,
                             bt_task_creation create_type, bt_kernel_loader* shell,
                             std::shared_ptr<module_context> context)
    : CUnknownMultiThread("bt_shell_task"),
      CEventsRaiser<IBtTaskEvents, unlimited_sinks>(IID_IBtTaskEvents),
      m_create_type(create_type),
      m_str_seed_file(to_std_string(seed_file)),
      m_str_data_file_path(to_std_string(data_file_path)),
      m_first_count(first_count),
      m_first_list(copy_array(first_count, first_list)),
      m_second_count(second_count),
      m_second_list(copy_array(second_count, second_list)),
      m_task_events(com_ptr<task_event_relay>::adopt(new task_event_relay(this))),
      m_bt_shell(shell),
      m_context(std::move(context)) {
  LOG4CPLUS_INFO(task_logger(), TASK_PREFIX << "bt_shell_task::bt_shell_task, m_str_seed_file " << m_str_seed_file
                                            << " m_str_data_file_path:" << m_str_data_file_path);
}

bt_shell_task::~bt_shell_task() {
  LOG4CPLUS_INFO(task_logger(), TASK_PREFIX << "bt_shell_task::~bt_shell_task");
  m_shell_status = bt_shell_task_status::shell_destroying;
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
  m_listener_registered = true;
}

void bt_shell_task::uninit() {
  withdraw_registration();
  if (m_task_events_attached) {
    m_task_events_attached = false;
    m_IBtTask->DetachEvents(m_task_events.get());
  }
}

void bt_shell_task::withdraw_registration() {
  if (!m_listener_registered) return;
  m_bt_shell->remove_loading_listenner(this);
  m_listener_registered = false;
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
  if (m_shell_status != bt_shell_task_status::shell_idle) {
    // Told of the kernel twice: the first hand-over stands.
    REPORT_ASSERT(task_logger(), "m_shell_status == shell_idle", "");
    return;
  }
  // The shell holds a reference for the length of the call: a host sink may
  // release the host's last one during the replay.
  m_shell_status = bt_shell_task_status::shell_reload_func;
  if (m_shell_task_status == bt_shell_task_run_status::shell_task_stopped) return;

  if (!create_real_task()) {
    // The kernel is there but gave no usable task: nothing more will come.
    m_failure_code = kernel_unavailable_code;
    withdraw_registration();
    return;
  }
  m_task_events_attached = SUCCEEDED(m_IBtTask->AttachEvents(m_task_events.get()));
  hand_over_acceleration();
  withdraw_registration();
  if (m_shell_task_status != bt_shell_task_run_status::shell_task_stopped) shell_reload_function();
  m_shell_status = bt_shell_task_status::shell_running;
}

bool bt_shell_task::create_real_task() {
  const com_ptr<IBitTorrentKernel> kernel =
      host_instance<IBitTorrentKernel>(m_context->download_lib(), IID_IBitTorrentKernel);
  if (!kernel) {
    REPORT_ASSERT(task_logger(), "SUCCEEDED(hr)", "no kernel registered with the host");
    return false;
  }

  create_method create = nullptr;
  switch (m_create_type) {
    case bt_task_creation::new_download:
      LOG4CPLUS_DEBUG(task_logger(), "OnRegisterInstance CreateNewTask");
      create = &IBitTorrent::CreateNewTask;
      break;
    case bt_task_creation::continued:
      LOG4CPLUS_DEBUG(task_logger(), "OnRegisterInstance CreateContinuedTask");
      create = &IBitTorrent::CreateContinuedTask;
      break;
    case bt_task_creation::upload:
      LOG4CPLUS_DEBUG(task_logger(), "OnRegisterInstance CreateUploadTask");
      create = &IBitTorrent::CreateUploadTask;
      break;
    default:
      RELEASE_ASSERT_TEXT(false, "FALSE", "unknown creation type");
      return false;
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
    const std::unique_ptr<record> call = std::move(m_para_containers.front());
    m_para_containers.pop_front();
    LOG4CPLUS_DEBUG(task_logger(), "shell_reload_function, funcion_name:" << call->function_name());
    log_status_entry(call->function_name());
    if (m_shell_status != bt_shell_task_status::shell_reload_func) continue;  // being destroyed: dropped
    if (is_call_of(*call, "StopTask")) {
      // Stopped during the hand-over: the stop reaches the real task once,
      // and what was recorded after it is dropped.
      call->apply(*m_IBtTask.get());
      m_para_containers.clear();
      return;
    }
    // A start older than a stop made during the hand-over is void, as a
    // start given to a stopped proxy is.
    if (is_call_of(*call, "StartTask") && m_shell_task_status == bt_shell_task_run_status::shell_task_stopped)
      continue;
    call->apply(*m_IBtTask.get());
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
