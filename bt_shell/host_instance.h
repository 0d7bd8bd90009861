// The object a host has registered under an interface identifier.
#pragma once

#include "interfaces/IDownloadLib.h"
#include "platform/com_ptr.h"

// The object registered with `host` under `iid`, queried for `I` (which
// `iid` names), or null: when `host` is null, refuses, or has none.
template <class I>
com_ptr<I> host_instance(IDownloadLib* host, REFIID iid) {
  com_ptr<I> object;
  if (!host || FAILED(host->GetInstance(iid, object.put_void()))) object.reset();
  return object;
}
