// The settings of a kernel module's session, set by the host at run time.
// A kernel module that offers them registers the object with the host under
// IID_IBtKernelSettings in DownloadLibModuleLoad, before it registers its
// kernel under IID_IBitTorrentKernel: a host that listens for registrations
// (IDownloadLib::AttachEvents) can apply its settings before any task is
// made or handed over. The kernel starts with its own defaults (the kernel on
// libtorrent: bt_kernel.ini beside the module); what the host sets replaces
// them while the module is loaded and is not written anywhere.
//
// Keys are the names of bt_kernel.ini as "section.key", values the text the
// file would hold (docs/hosting.md lists them):
//   session.listen_interfaces, session.outgoing_interfaces, session.dht,
//   session.local_peer_discovery, session.upnp, session.natpmp, session.utp,
//   session.download_rate_limit, session.upload_rate_limit (bytes per
//   second, 0 = none), session.connections_limit, ...
// and, read only, "session.listen_port": the TCP port listened on now.
//
// Task settings name the task by its info hash as the shell computes it (40
// hexadecimal digits, either case) and hold for every task of that torrent
// the kernel makes from then on, the running one included:
//   download_rate_limit, upload_rate_limit  bytes per second, 0 = none
//   connections_limit                       peer connections, 0 = none
//
// When each key takes effect: docs/hosting.md, "Settings at run time".
//
// Every operation may be called on any thread, from inside any event too.
#pragma once

#include "interfaces/IStringSetter.h"
#include "interfaces/string_types.h"
#include "platform/unknwn.h"

// {198A5C60-1B28-41AF-9D0D-66FFB9F8D108}
inline constexpr IID IID_IBtKernelSettings = {0x198A5C60, 0x1B28, 0x41AF, {0x9D, 0x0D, 0x66, 0xFF, 0xB9, 0xF8, 0xD1, 0x08}};

struct IBtKernelSettings : IUnknown {
  // slot 3: applies one setting at once. E_INVALIDARG for an unknown or
  // read-only key or a value that does not parse, with nothing changed.
  virtual HRESULT STDMETHODCALLTYPE SetValue(tagSTRING key, tagSTRING value) = 0;
  // slot 4: the value in force, as the file would write it. E_INVALIDARG for
  // an unknown key, E_POINTER for a null setter.
  virtual HRESULT STDMETHODCALLTYPE GetValue(tagSTRING key, IStringSetter* value) = 0;
  // slot 5: one setting of the tasks of one torrent. E_INVALIDARG for a hash
  // that is not 40 hexadecimal digits, an unknown key or a bad value.
  virtual HRESULT STDMETHODCALLTYPE SetTaskValue(tagSTRING info_hash, tagSTRING key, tagSTRING value) = 0;
};
