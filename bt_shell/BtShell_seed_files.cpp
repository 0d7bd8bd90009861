// CBtShell: seed-file information, temporary files and P2P hub notices,
// served by the shell itself in every status.
#include "bt_shell/BtShell.h"
#include "bt_shell/seed_files.h"
#include "bt_shell/shell_log.h"

HRESULT CBtShell::ParseSeedFile(tagSTRING seed_path, SEED_FILE_INFO** info) {
  return guarded("ParseSeedFile", [&] {
    if (!info) return misuse("ParseSeedFile", host_misuse::null_pointer);
    return HRESULT{parse_seed_file(to_std_string(seed_path), info)};
  });
}

HRESULT CBtShell::ReleaseSeedFileInfo(SEED_FILE_INFO* info) {
  return guarded("ReleaseSeedFileInfo", [&] {
    LOG4CPLUS_DEBUG(shell_logger(), "ReleaseSeedFileInfo ");
    release_seed_file_info(info);
    return S_OK;
  });
}

HRESULT CBtShell::IsTempFileExist(tagSTRING unused, tagSTRING seed_path) {
  return guarded("IsTempFileExist", [&] {
    LOG4CPLUS_DEBUG(shell_logger(), "IsTempFileExist ");
    return HRESULT{is_bt_tempfile_exist(to_std_string(unused), to_std_string(seed_path))};
  });
}

HRESULT CBtShell::GetCfgFileList(tagSTRING seed_path, DATA_FILE_LIST** list) {
  return guarded("GetCfgFileList", [&] {
    LOG4CPLUS_DEBUG(shell_logger(), "GetCfgFileList ");
    if (!list) return misuse("GetCfgFileList", host_misuse::null_pointer);
    return HRESULT{get_bt_cfg_file_list(to_std_string(seed_path), list)};
  });
}

HRESULT CBtShell::GetDataFileList(tagSTRING data_folder, tagSTRING seed_path, DATA_FILE_LIST** list) {
  return guarded("GetDataFileList", [&] {
    LOG4CPLUS_DEBUG(shell_logger(), "GetDataFileList ");
    if (!list) return misuse("GetDataFileList", host_misuse::null_pointer);
    return HRESULT{get_bt_data_file_list(to_std_string(data_folder), to_std_string(seed_path), list)};
  });
}

HRESULT CBtShell::ReleaseDataFileList(DATA_FILE_LIST* list) {
  return guarded("ReleaseDataFileList", [&] {
    LOG4CPLUS_DEBUG(shell_logger(), "ReleaseDataFileList ");
    release_data_file_list(list);
    return S_OK;
  });
}

HRESULT CBtShell::NotifyHubBtDeleted(tagSTRING data_folder, tagSTRING seed_path) {
  return guarded("NotifyHubBtDeleted", [&] {
    return HRESULT{notify_hub_bt_deleted(*_context, to_std_string(data_folder), to_std_string(seed_path))};
  });
}

HRESULT CBtShell::NotifyHubBtMoved(tagSTRING old_folder, tagSTRING seed_path, tagSTRING new_folder) {
  return guarded("NotifyHubBtMoved", [&] {
    return HRESULT{
        notify_hub_bt_moved(*_context, to_std_string(old_folder), to_std_string(seed_path), to_std_string(new_folder))};
  });
}
