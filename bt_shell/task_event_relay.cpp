#include "bt_shell/task_event_relay.h"

#include "bt_shell/bt_shell_task.h"
#include "com_utility/com_boundary.h"

task_event_relay::task_event_relay(bt_shell_task* proxy) : CUnknownMultiThread("task_event_relay"), m_proxy(proxy) {}

void task_event_relay::disconnect() {
  platform::critical_section_lock lock(m_lock);
  m_proxy = nullptr;
}

HRESULT task_event_relay::QueryInterface(REFIID riid, void** ppv) {
  return query_single_interface<IBtTaskEvents>(this, IID_IBtTaskEvents, riid, ppv);
}

HRESULT task_event_relay::OnBtTaskEvent1(ULONG_PTR value) {
  return relay("OnBtTaskEvent1", &IBtTaskEvents::OnBtTaskEvent1, value);
}

HRESULT task_event_relay::OnBtTaskEvent2(ULONG_PTR value) {
  return relay("OnBtTaskEvent2", &IBtTaskEvents::OnBtTaskEvent2, value);
}

HRESULT task_event_relay::OnBtTaskEvent3(ULONG_PTR value) {
  return relay("OnBtTaskEvent3", &IBtTaskEvents::OnBtTaskEvent3, value);
}

HRESULT task_event_relay::OnBtTaskEvent4(ULONG_PTR value) {
  return relay("OnBtTaskEvent4", &IBtTaskEvents::OnBtTaskEvent4, value);
}

HRESULT task_event_relay::relay(const char* name, HRESULT (STDMETHODCALLTYPE IBtTaskEvents::*event)(ULONG_PTR),
                                ULONG_PTR value) {
  return com_boundary(task_logger(), this, name, [&] {
    com_ptr<bt_shell_task> proxy;
    {
      platform::critical_section_lock lock(m_lock);
      if (m_proxy && m_proxy->add_ref_unless_destroyed()) proxy = com_ptr<bt_shell_task>::adopt(m_proxy);
    }
    if (proxy) proxy->broadcast(event, value);
    return S_OK;
  });
}
