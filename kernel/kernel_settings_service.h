// IBtKernelSettings of the kernel on libtorrent: a face of the kernel object
// (its identity and reference count) over the kernel's session. The keys and
// their values are bt_kernel.ini's (kernel_settings.h); docs/hosting.md,
// "Settings at run time", says when each one takes effect.
//
// Threads: every operation may be called on any thread, from inside any
// event too; none raises an event or waits for the kernel thread.
#pragma once

#include <memory>

#include "com_utility/member_interface.h"
#include "interfaces/IBtKernelSettings.h"

class kernel_session;

class kernel_settings_service : public member_interface<IBtKernelSettings, IUnknown> {
 public:
  // `owner` is the kernel object this face belongs to.
  kernel_settings_service(IUnknown& owner, std::shared_ptr<kernel_session> session);

  HRESULT STDMETHODCALLTYPE SetValue(tagSTRING key, tagSTRING value) override;
  HRESULT STDMETHODCALLTYPE GetValue(tagSTRING key, IStringSetter* value) override;
  HRESULT STDMETHODCALLTYPE SetTaskValue(tagSTRING info_hash, tagSTRING key, tagSTRING value) override;

 private:
  std::shared_ptr<kernel_session> session_;
};
