// The P2P hub module's interface, as far as the shell uses it.
#pragma once

#include "interfaces/string_types.h"
#include "platform/unknwn.h"

// The id under which the P2P hub registers itself with the host.
// {A71F90F6-140A-4A2F-86B6-35A5726EF0DE}
inline constexpr IID IID_IP2p = {0xA71F90F6, 0x140A, 0x4A2F, {0x86, 0xB6, 0x35, 0xA5, 0x72, 0x6E, 0xF0, 0xDE}};

// Implemented by the P2P hub (an optional module of the host); called by the
// shell's p2phub_notify when the host deletes or moves a task's files.
// Slots 3 to 9 are the hub's own and never called by the module. The texts
// live only for the duration of a call; results are not looked at.
struct IP2p : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Reserved3() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved4() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved5() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved6() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved7() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved8() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved9() = 0;
  // slot 10
  virtual HRESULT STDMETHODCALLTYPE NotifyFileMoved(tagSTRING old_path, tagSTRING new_path) = 0;
  // slot 11
  virtual HRESULT STDMETHODCALLTYPE NotifyFileDeleted(tagSTRING path) = 0;
};
