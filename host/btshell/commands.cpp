#include "host/btshell/commands.h"

#include <memory>

#include "host/btshell/module_location.h"
#include "host/btshell/printers.h"
#include "interfaces/string_types.h"
#include "host/download_lib/p2p_hub.h"

namespace btshell {

namespace {

// Releases a record through the shell that handed it out.
struct seed_info_release {
  IBitTorrent2* shell;
  void operator()(SEED_FILE_INFO* info) const { shell->ReleaseSeedFileInfo(info); }
};
struct file_list_release {
  IBitTorrent2* shell;
  void operator()(DATA_FILE_LIST* list) const { shell->ReleaseDataFileList(list); }
};
using seed_info_ptr = std::unique_ptr<SEED_FILE_INFO, seed_info_release>;
using file_list_ptr = std::unique_ptr<DATA_FILE_LIST, file_list_release>;

bool open_session(host_session& session, std::ostream& err) {
  std::string error;
  if (session.open(error)) return true;
  err << "btshell: " << error << '\n';
  return false;
}

int report_failure(std::ostream& err, const std::string& operation, const std::string& subject, HRESULT result) {
  err << "btshell: " << operation << " " << subject << ": " << result_text(result) << '\n';
  return exit_failed;
}

}  // namespace

std::string folder_argument(const std::string& folder) {
  if (folder.empty() || folder.back() == '/') return folder;
  return folder + '/';
}

session_settings settings_from(const command_line& line) {
  session_settings settings;
  settings.module = line.module.empty() ? default_module_path() : line.module;
  settings.modules_dir = line.modules_dir.empty() ? default_modules_dir() : line.modules_dir;
  settings.version = line.version;
  return settings;
}

int run_command(const command_line& line, std::ostream& out, std::ostream& err) {
  const session_settings settings = settings_from(line);
  const std::vector<std::string>& a = line.arguments;
  if (line.command == "inspect") return inspect_seed(settings, a[0], out, err);
  if (line.command == "temp-files") return list_temp_files(settings, a[0], a[1], out, err);
  if (line.command == "notify-deleted") return notify_deleted(settings, a[0], a[1], out, err);
  if (line.command == "notify-moved") return notify_moved(settings, a[0], a[1], a[2], out, err);
  if (line.command == "lazy-kernel") return play_lazy_kernel(settings, a[0], a[1], out, err);
  err << "btshell: unknown command " << line.command << '\n';
  return exit_usage;
}

int inspect_seed(const session_settings& settings, const std::string& seed, std::ostream& out, std::ostream& err) {
  host_session session(settings);
  if (!open_session(session, err)) return exit_failed;
  IBitTorrent2* shell = session.shell();

  SEED_FILE_INFO* raw = nullptr;
  const HRESULT hr = shell->ParseSeedFile(to_tag_string(seed), &raw);
  seed_info_ptr info(raw, seed_info_release{shell});
  if (hr != S_OK || !info) return report_failure(err, "ParseSeedFile", seed, hr);
  out << "seed:           " << seed << '\n';
  print_seed_info(out, *info);
  return exit_ok;
}

int list_temp_files(const session_settings& settings, const std::string& seed, const std::string& data_folder,
                    std::ostream& out, std::ostream& err) {
  host_session session(settings);
  if (!open_session(session, err)) return exit_failed;
  IBitTorrent2* shell = session.shell();
  const std::string folder = folder_argument(data_folder);

  DATA_FILE_LIST* raw = nullptr;
  HRESULT hr = shell->GetCfgFileList(to_tag_string(seed), &raw);
  file_list_ptr cfg_files(raw, file_list_release{shell});
  if (hr != S_OK) return report_failure(err, "GetCfgFileList", seed, hr);
  raw = nullptr;
  hr = shell->GetDataFileList(to_tag_string(folder), to_tag_string(seed), &raw);
  file_list_ptr data_files(raw, file_list_release{shell});
  if (hr != S_OK) return report_failure(err, "GetDataFileList", folder, hr);
  // The first text is not looked at by the shell.
  const HRESULT exists = shell->IsTempFileExist(to_tag_string(""), to_tag_string(seed));

  out << "seed:           " << seed << '\n';
  out << "data folder:    " << folder << '\n';
  out << "IsTempFileExist: " << result_text(exists) << " - "
      << (exists == S_OK ? "the configuration file is there and not empty: the download can be continued"
                         : "no usable configuration file: the download starts afresh")
      << '\n';
  out << "configuration files beside the seed (GetCfgFileList):\n";
  print_file_list(out, cfg_files.get());
  out << "files in the data folder (GetDataFileList):\n";
  print_file_list(out, data_files.get());
  return exit_ok;
}

int notify_deleted(const session_settings& settings, const std::string& data_folder, const std::string& seed,
                   std::ostream& out, std::ostream& err) {
  session_settings with_hub = settings;
  with_hub.p2p_hub = true;
  host_session session(with_hub);
  if (!open_session(session, err)) return exit_failed;
  const std::string folder = folder_argument(data_folder);
  const HRESULT hr = session.shell()->NotifyHubBtDeleted(to_tag_string(folder), to_tag_string(seed));
  if (hr != S_OK) return report_failure(err, "NotifyHubBtDeleted", seed, hr);
  out << "NotifyHubBtDeleted(" << folder << ", " << seed << "): " << result_text(hr) << '\n';
  out << "the P2P hub was told:\n";
  print_hub_notices(out, session.host().hub()->notices());
  return exit_ok;
}

int notify_moved(const session_settings& settings, const std::string& old_folder, const std::string& seed,
                 const std::string& new_folder, std::ostream& out, std::ostream& err) {
  session_settings with_hub = settings;
  with_hub.p2p_hub = true;
  host_session session(with_hub);
  if (!open_session(session, err)) return exit_failed;
  const std::string from = folder_argument(old_folder);
  const std::string to = folder_argument(new_folder);
  const HRESULT hr =
      session.shell()->NotifyHubBtMoved(to_tag_string(from), to_tag_string(seed), to_tag_string(to));
  if (hr != S_OK) return report_failure(err, "NotifyHubBtMoved", seed, hr);
  out << "NotifyHubBtMoved(" << from << ", " << seed << ", " << to << "): " << result_text(hr) << '\n';
  out << "the P2P hub was told:\n";
  print_hub_notices(out, session.host().hub()->notices());
  return exit_ok;
}

}  // namespace btshell
