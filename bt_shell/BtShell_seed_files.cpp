// CBtShell: seed-file information, temporary files and P2P hub notices,
// served by the shell itself in every status.
#include <new>

#include "bt_shell/BtShell.h"
#include "bt_shell/seed_files.h"
#include "bt_shell/shell_log.h"

namespace {

// Runs one request; memory running out on the way is answered, not thrown
// into the host (whatever was built is released on the way out).
template <class Work>
HRESULT answered(Work work) {
  try {
    return work();
  } catch (const std::bad_alloc&) {
    LOG4CPLUS_ERROR(shell_logger(), "out of memory");
    return E_OUTOFMEMORY;
  }
}

}  // namespace

HRESULT CBtShell::ParseSeedFile(tagSTRING seed_path, SEED_FILE_INFO** info) {
  if (!info) return E_POINTER;
  return answered([&] { return parse_seed_file(to_std_string(seed_path), info); });
}

HRESULT CBtShell::ReleaseSeedFileInfo(SEED_FILE_INFO* info) {
  LOG4CPLUS_DEBUG(shell_logger(), "ReleaseSeedFileInfo ");
  release_seed_file_info(info);
  return S_OK;
}

HRESULT CBtShell::IsTempFileExist(tagSTRING unused, tagSTRING seed_path) {
  LOG4CPLUS_DEBUG(shell_logger(), "IsTempFileExist ");
  return answered([&] { return is_bt_tempfile_exist(to_std_string(unused), to_std_string(seed_path)); });
}

HRESULT CBtShell::GetCfgFileList(tagSTRING seed_path, DATA_FILE_LIST** list) {
  LOG4CPLUS_DEBUG(shell_logger(), "GetCfgFileList ");
  if (!list) return E_POINTER;
  return answered([&] { return get_bt_cfg_file_list(to_std_string(seed_path), list); });
}

HRESULT CBtShell::GetDataFileList(tagSTRING data_folder, tagSTRING seed_path, DATA_FILE_LIST** list) {
  LOG4CPLUS_DEBUG(shell_logger(), "GetDataFileList ");
  if (!list) return E_POINTER;
  return answered([&] { return get_bt_data_file_list(to_std_string(data_folder), to_std_string(seed_path), list); });
}

HRESULT CBtShell::ReleaseDataFileList(DATA_FILE_LIST* list) {
  LOG4CPLUS_DEBUG(shell_logger(), "ReleaseDataFileList ");
  release_data_file_list(list);
  return S_OK;
}

HRESULT CBtShell::NotifyHubBtDeleted(tagSTRING data_folder, tagSTRING seed_path) {
  return answered([&] { return notify_hub_bt_deleted(to_std_string(data_folder), to_std_string(seed_path)); });
}

HRESULT CBtShell::NotifyHubBtMoved(tagSTRING old_folder, tagSTRING seed_path, tagSTRING new_folder) {
  return answered([&] {
    return notify_hub_bt_moved(to_std_string(old_folder), to_std_string(seed_path), to_std_string(new_folder));
  });
}
