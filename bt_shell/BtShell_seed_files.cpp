// CBtShell: seed-file information, temporary files and P2P hub notices.
#include "bt_shell/BtShell.h"

// Not served yet: answers E_NOTIMPL until the seed-file code lands.
HRESULT CBtShell::ParseSeedFile(tagSTRING, SEED_FILE_INFO**) { return E_NOTIMPL; }
HRESULT CBtShell::IsTempFileExist(tagSTRING, tagSTRING) { return E_NOTIMPL; }
HRESULT CBtShell::GetDataFileList(tagSTRING, tagSTRING, DATA_FILE_LIST**) { return E_NOTIMPL; }
HRESULT CBtShell::GetCfgFileList(tagSTRING, DATA_FILE_LIST**) { return E_NOTIMPL; }
HRESULT CBtShell::ReleaseSeedFileInfo(SEED_FILE_INFO*) { return E_NOTIMPL; }
HRESULT CBtShell::ReleaseDataFileList(DATA_FILE_LIST*) { return E_NOTIMPL; }
HRESULT CBtShell::NotifyHubBtDeleted(tagSTRING, tagSTRING) { return E_NOTIMPL; }
HRESULT CBtShell::NotifyHubBtMoved(tagSTRING, tagSTRING, tagSTRING) { return E_NOTIMPL; }
