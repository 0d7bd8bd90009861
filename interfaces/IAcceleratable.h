// Acceleration certification of a task.
#pragma once

#include "interfaces/IStringSetter.h"
#include "interfaces/string_types.h"
#include "platform/unknwn.h"

// {51E3A239-0FAC-4A49-9C7B-E51B24D62496}
inline constexpr IID IID_IAcceleratable = {0x51E3A239, 0x0FAC, 0x4A49, {0x9C, 0x7B, 0xE5, 0x1B, 0x24, 0xD6, 0x24, 0x96}};

// Implemented by the shell's proxy task and, optionally, by the kernel's
// tasks; called by the host, and by the proxy to pass a certification on to
// the real task.
struct IAcceleratable : IUnknown {
  // slot 3: the certification text (not NUL-terminated).
  virtual HRESULT STDMETHODCALLTYPE Accelerate(tagSTRING certification) = 0;
  // slot 4: S_OK and the text through `setter` (which may be null) when a
  // certification was given, S_FALSE otherwise.
  virtual HRESULT STDMETHODCALLTYPE IsAccelerated(IStringSetter* setter) = 0;
};
