// bt_shell_task: the virtual-task face and the acceleration certification.
// (The real task's events reach the host's sinks through task_event_relay.)
#include "bt_shell/bt_shell_task.h"
#include "bt_shell/bt_shell_task_log.h"

HRESULT bt_shell_task::GetRealTask(ITask** task) {
  return guarded("GetRealTask", [&] {
    LOG4CPLUS_DEBUG(task_logger(), "OnRegisterInstance GetRealTask");
    if (!task) return misuse("GetRealTask", host_misuse::null_pointer);
    if (m_IBtTask)
      m_IBtTask->QueryInterface(IID_ITask, reinterpret_cast<void**>(task));
    else
      *task = nullptr;
    return S_OK;
  });
}

HRESULT bt_shell_task::IsModuleDownloadFailed() {
  return guarded("IsModuleDownloadFailed", [&] {
    if (kernel_load_failed()) {
      LOG4CPLUS_DEBUG(task_logger(), "IsModuleDownloadFailed TRUE");
      return S_OK;
    }
    LOG4CPLUS_DEBUG(task_logger(), "IsModuleDownloadFailed FALSE");
    return S_FALSE;
  });
}

HRESULT bt_shell_task::Accelerate(tagSTRING certification) {
  return guarded("Accelerate", [&] {
    m_str_certification = to_std_string(certification);
    HRESULT hr = S_OK;
    if (m_IBtTask) {
      // Passed on at once; without a real task it waits for the hand-over.
      com_ptr<IAcceleratable> acceleratable;
      if (SUCCEEDED(m_IBtTask.query(IID_IAcceleratable, acceleratable)) && acceleratable)
        hr = acceleratable->Accelerate(to_tag_string(m_str_certification));
      else
        hr = S_FALSE;
    }
    LOG4CPLUS_INFO(task_logger(),
                   TASK_PREFIX << "Accelerate hr=" << hr << ", Certification=" << m_str_certification);
    return hr;
  });
}

HRESULT bt_shell_task::IsAccelerated(IStringSetter* setter) {
  return guarded("IsAccelerated", [&] {
    LOG4CPLUS_INFO(task_logger(), TASK_PREFIX << "IsAccelerated " << m_str_certification);
    if (m_str_certification.empty()) return S_FALSE;
    if (setter) setter->SetString(static_cast<ULONG>(m_str_certification.size()), m_str_certification.c_str());
    return S_OK;
  });
}
