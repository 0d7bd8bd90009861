// The host's service object: event reporting and connection bookkeeping.
#pragma once

#include "platform/unknwn.h"

// {B9AFBE01-1B19-4D0B-9675-7C1959E9AEDD}
inline constexpr CLSID CLSID_HostService = {0xB9AFBE01, 0x1B19, 0x4D0B, {0x96, 0x75, 0x7C, 0x19, 0x59, 0xE9, 0xAE, 0xDD}};
// {17F77AE6-68CE-4495-8BE9-B11353F94475}
inline constexpr IID IID_IHostService = {0x17F77AE6, 0x68CE, 0x4495, {0x8B, 0xE9, 0xB1, 0x13, 0x53, 0xF9, 0x44, 0x75}};

// Implemented by the host, created by the plugin's Init through
// IDownloadLib::CreateInstance(CLSID_HostService); called by the shell
// (ReportEvent) and the proxy tasks (GetNewConnectInfo) through the
// module's context. The slots without a name here belong to the host and are
// never called by the module.
struct IHostService : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Reserved3() = 0;
  // slot 4: fire-and-forget. The module sends (2, 152, -1, 0) when it
  // requests the kernel module, (2, 154, -1, 0) when it got it and
  // (4, 153, -1, 0) when that failed.
  virtual HRESULT STDMETHODCALLTYPE ReportEvent(ULONG kind, ULONG event_id, LONG param1, LONG param2) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved5() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved6() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved7() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved8() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved9() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved10() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved11() = 0;
  // slot 12: receives a task's GetNewConnectInfo arguments unchanged (see
  // ITask::GetNewConnectInfo); the host fills the two out-values.
  virtual HRESULT STDMETHODCALLTYPE GetNewConnectInfo(ULONG_PTR value1, ULONG_PTR value2, ULONG* result_size,
                                                      ULONG* result) = 0;
};
