// The face of a stand-in task that leads to the task behind it.
#pragma once

#include "interfaces/ITask.h"

// {B02F5E6E-9442-402E-9703-E2A01DC0E39C}
inline constexpr IID IID_IVirtualTask = {0xB02F5E6E, 0x9442, 0x402E, {0x97, 0x03, 0xE2, 0xA0, 0x1D, 0xC0, 0xE3, 0x9C}};

// Implemented by the shell's proxy task; called by the host.
struct IVirtualTask : IUnknown {
  // slot 3: the real task (AddRef'd), or null while there is none.
  virtual HRESULT STDMETHODCALLTYPE GetRealTask(ITask** task) = 0;
  // slot 4: S_OK when the kernel module could not be had, S_FALSE otherwise.
  virtual HRESULT STDMETHODCALLTYPE IsModuleDownloadFailed() = 0;
};
