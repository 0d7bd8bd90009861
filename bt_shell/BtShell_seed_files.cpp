// CBtShell: seed-file information, temporary files and P2P hub notices,
// served by the shell itself in every status.
#include "bt_shell/BtShell.h"
#include "bt_shell/seed_files.h"
#include "bt_shell/shell_log.h"

namespace {

std::string text_of(const tagSTRING& s) { return s.len && s.ptr ? std::string(s.ptr, s.len) : std::string(); }

}  // namespace

HRESULT CBtShell::ParseSeedFile(tagSTRING seed_path, SEED_FILE_INFO** info) {
  if (!info) return E_POINTER;
  return parse_seed_file(text_of(seed_path), info);
}

HRESULT CBtShell::ReleaseSeedFileInfo(SEED_FILE_INFO* info) {
  LOG4CPLUS_DEBUG(shell_logger(), "ReleaseSeedFileInfo ");
  release_seed_file_info(info);
  return S_OK;
}

HRESULT CBtShell::IsTempFileExist(tagSTRING unused, tagSTRING seed_path) {
  LOG4CPLUS_DEBUG(shell_logger(), "IsTempFileExist ");
  return is_bt_tempfile_exist(text_of(unused), text_of(seed_path));
}

HRESULT CBtShell::GetCfgFileList(tagSTRING seed_path, DATA_FILE_LIST** list) {
  LOG4CPLUS_DEBUG(shell_logger(), "GetCfgFileList ");
  if (!list) return E_POINTER;
  return get_bt_cfg_file_list(text_of(seed_path), list);
}

HRESULT CBtShell::GetDataFileList(tagSTRING data_folder, tagSTRING seed_path, DATA_FILE_LIST** list) {
  LOG4CPLUS_DEBUG(shell_logger(), "GetDataFileList ");
  if (!list) return E_POINTER;
  return get_bt_data_file_list(text_of(data_folder), text_of(seed_path), list);
}

HRESULT CBtShell::ReleaseDataFileList(DATA_FILE_LIST* list) {
  LOG4CPLUS_DEBUG(shell_logger(), "ReleaseDataFileList ");
  release_data_file_list(list);
  return S_OK;
}

HRESULT CBtShell::NotifyHubBtDeleted(tagSTRING data_folder, tagSTRING seed_path) {
  return notify_hub_bt_deleted(text_of(data_folder), text_of(seed_path));
}

HRESULT CBtShell::NotifyHubBtMoved(tagSTRING old_folder, tagSTRING seed_path, tagSTRING new_folder) {
  return notify_hub_bt_moved(text_of(old_folder), text_of(seed_path), text_of(new_folder));
}
