// CBtShell: task creation.
#include "bt_shell/BtShell.h"

// Not served yet: answers E_NOTIMPL until the proxy task lands.
HRESULT CBtShell::CreateNewTask(tagSTRING, tagSTRING, ULONG, const ULONG*, ULONG, const SEED_TRACKER_ITEM*,
                                IBtTask**) {
  return E_NOTIMPL;
}
HRESULT CBtShell::CreateContinuedTask(tagSTRING, tagSTRING, ULONG, const ULONG*, ULONG, const SEED_TRACKER_ITEM*,
                                      IBtTask**) {
  return E_NOTIMPL;
}
HRESULT CBtShell::CreateUploadTask(tagSTRING, tagSTRING, ULONG, const ULONG*, ULONG, const SEED_TRACKER_ITEM*,
                                   IBtTask**) {
  return E_NOTIMPL;
}
