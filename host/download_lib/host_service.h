// The host's service object: a small real implementation of what the plugin
// module relies on. It records every ReportEvent in order and answers
// GetNewConnectInfo from values the host (or a test) sets, recording the
// arguments it was given. Safe to call from any thread.
#pragma once

#include <vector>

#include "com_utility/UnknownBase.h"
#include "interfaces/IHostService.h"
#include "platform/critical_section.h"

class host_service : public IHostService, public CUnknownMultiThread {
 public:
  struct reported_event {
    ULONG kind;
    ULONG event_id;
    LONG param1;
    LONG param2;
  };
  struct connect_info_call {
    ULONG_PTR value1;
    ULONG_PTR value2;
  };

  host_service();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return CUnknownMultiThread::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return CUnknownMultiThread::Release(); }
  HRESULT STDMETHODCALLTYPE Reserved3() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ReportEvent(ULONG kind, ULONG event_id, LONG param1, LONG param2) override;
  HRESULT STDMETHODCALLTYPE Reserved5() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved6() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved7() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved8() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved9() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved10() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved11() override { return E_NOTIMPL; }
  // Writes the configured values to the non-null out-pointers; S_OK.
  HRESULT STDMETHODCALLTYPE GetNewConnectInfo(ULONG_PTR value1, ULONG_PTR value2, ULONG* result_size,
                                              ULONG* result) override;

  std::vector<reported_event> events() const;
  std::vector<connect_info_call> connect_info_calls() const;
  // The out-values of later GetNewConnectInfo calls (both 0 at first).
  void set_connect_info(ULONG result_size, ULONG result);
  void clear();

 private:
  mutable platform::critical_section lock_;
  std::vector<reported_event> events_;
  std::vector<connect_info_call> connect_calls_;
  ULONG result_size_ = 0;
  ULONG result_ = 0;
};
