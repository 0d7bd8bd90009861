// task_event_relay: the IBtTaskEvents sink that a proxy task attaches to its
// real task, relaying the real task's events to the host's sinks of the
// proxy.
//
// An object of its own, so that the real task's reference to the sink does
// not keep the proxy alive. The sink holds the proxy uncounted; for the
// length of each relay it takes a counted reference, under its own lock,
// unless the proxy is already being destroyed. The proxy's destructor
// disconnects the sink under that lock; events that reach it afterwards (the
// real task raises them on its own threads) are dropped.
#pragma once

#include "com_utility/UnknownBase.h"
#include "interfaces/IBtTask.h"
#include "platform/critical_section.h"

class bt_shell_task;

class task_event_relay : public IBtTaskEvents, public CUnknownMultiThread {
 public:
  explicit task_event_relay(bt_shell_task* proxy);

  // Called by the proxy's destructor: nothing reaches the proxy from now on.
  void disconnect();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return CUnknownMultiThread::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return CUnknownMultiThread::Release(); }

  HRESULT STDMETHODCALLTYPE OnBtTaskEvent1(ULONG_PTR value) override;
  HRESULT STDMETHODCALLTYPE OnBtTaskEvent2(ULONG_PTR value) override;
  HRESULT STDMETHODCALLTYPE OnBtTaskEvent3(ULONG_PTR value) override;
  HRESULT STDMETHODCALLTYPE OnBtTaskEvent4(ULONG_PTR value) override;

 private:
  ~task_event_relay() override = default;

  HRESULT relay(const char* name, HRESULT (STDMETHODCALLTYPE IBtTaskEvents::*event)(ULONG_PTR), ULONG_PTR value);

  platform::critical_section m_lock;  // guards m_proxy
  bt_shell_task* m_proxy;
};
