#include "host/btshell/commands.h"

#include <dlfcn.h>

#include <memory>

#include "host/btshell/command_table.h"
#include "host/btshell/error_object.h"
#include "host/btshell/json_printers.h"
#include "host/btshell/module_location.h"
#include "host/btshell/printers.h"
#include "host/download_lib/p2p_hub.h"
#include "interfaces/module_version.h"
#include "interfaces/string_types.h"

#ifndef BTSHELL_VERSION
#define BTSHELL_VERSION "unknown"
#endif

namespace btshell {

namespace {

void print_json(std::ostream& out, const nlohmann::ordered_json& value) { out << value.dump(2) << '\n'; }

std::vector<command_entry> kCommands = {
    {"inspect",
     "what seed files describe: info hash, title, publisher, files, trackers",
     {{"SEED...", "seed files (.torrent); each is printed, with --json as one element of an array"}},
     add_json_option,
     run_inspect},
    {"temp-files",
     "the download's files on disk: configuration files beside the seed, data files in the folder",
     {{"SEED", "the seed file"}, {"DATA_FOLDER", "the download's folder"}},
     add_json_option,
     run_temp_files},
    {"notify-deleted",
     "tell the P2P hub that the download's files were deleted",
     {{"DATA_FOLDER", "the download's folder"}, {"SEED", "the seed file"}},
     add_json_option,
     run_notify_deleted},
    {"notify-moved",
     "tell the P2P hub that the download's files were moved",
     {{"OLD_FOLDER", "the download's folder before"}, {"SEED", "the seed file"}, {"NEW_FOLDER", "and after"}},
     add_json_option,
     run_notify_moved},
    {"lazy-kernel",
     "create a task before the kernel module exists, install the kernel, show the hand-over",
     {{"SEED", "the seed file"}, {"DATA_FOLDER", "the task's folder (made one level deep)"}},
     nullptr,
     run_lazy_kernel,
     kernel_module::recording},
    {"download",
     "download what a seed describes, through the shell and the kernel it fetches on demand",
     {{"SEED", "the seed file (the task's state is kept beside it), its http(s):// URL, or a magnet link"},
      {"DATA_FOLDER", "where the files go (made when missing)"}},
     add_download_options,
     run_download},
    {"seed",
     "upload data that is complete in a folder, through the shell and the kernel it fetches on demand",
     {{"SEED", "the seed file, its http(s):// URL, or a magnet link"}, {"DATA_FOLDER", "the folder that holds the data"}},
     add_seed_options,
     run_seed},
    {"settings",
     "the settings download, seed and the daemon run with, and where each came from",
     {},
     add_settings_command_options,
     run_settings},
    {"create",
     "make a seed of a file or a folder, its pieces hashed on every core",
     {{"PATH", "the file or folder the seed describes"}},
     add_create_options,
     run_create},
    {"verify",
     "check the data in a folder against a seed's piece hashes, without network or kernel",
     {{"SEED", "the seed file"}, {"DATA_FOLDER", "the folder that holds the data, as download fills it"}},
     add_verify_options,
     run_verify},
};

}  // namespace

bool open_session(host_session& session, std::ostream& err) {
  std::string error;
  if (session.open(error)) return true;
  err << "btshell: " << error << '\n';
  return false;
}

int report_failure(std::ostream& err, const std::string& operation, const std::string& subject, HRESULT result) {
  const std::string message = result_failure_text(operation, subject, result);
  error_capture::note_code(message, result);
  err << "btshell: " << message << '\n';
  return exit_failed;
}

const std::vector<command_entry>& command_table() { return kCommands; }

void add_command(command_entry entry) { kCommands.push_back(std::move(entry)); }

const command_entry* find_command(const std::string& name) {
  for (const command_entry& entry : kCommands)
    if (name == entry.name) return &entry;
  return nullptr;
}

std::string folder_argument(const std::string& folder) {
  if (folder.empty() || folder.back() == '/') return folder;
  return folder + '/';
}

session_settings settings_from(const command_line& line) {
  session_settings settings;
  settings.module = line.module.empty() ? default_module_path() : line.module;
  const command_entry* entry = find_command(line.command);
  settings.modules_dir = !line.modules_dir.empty() ? line.modules_dir
                         : entry                  ? default_modules_dir(entry->kernel)
                                                  : default_modules_dir();
  settings.version = line.version;
  return settings;
}

int run_command(const command_line& line, std::ostream& out, std::ostream& err) {
  const session_settings settings = settings_from(line);
  if (line.show_version) return print_versions(settings, out, err);
  const command_entry* entry = find_command(line.command);
  if (!entry) {
    err << "btshell: unknown command " << line.command << '\n';
    return exit_usage;
  }
  if (!line.json) return entry->run(settings, line, out, err);
  error_capture capture(out, err);
  int status = exit_failed;
  try {
    status = entry->run(settings, line, capture.out(), capture.err());
  } catch (const std::exception& e) {
    capture.err() << "btshell: " << e.what() << '\n';
  }
  capture.finish(status);
  return status;
}

int print_versions(const session_settings& settings, std::ostream& out, std::ostream& err) {
  out << "btshell " << BTSHELL_VERSION << '\n';
  void* module = dlopen(settings.module.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    err << "btshell: cannot open the plugin module: " << dlerror() << '\n';
    return exit_failed;
  }
  const std::string version = read_module_version(module);
  dlclose(module);
  out << "plugin module " << (version.empty() ? "(no version)" : version) << "  " << settings.module << '\n';
  return exit_ok;
}

int run_inspect(const session_settings& settings, const command_line& line, std::ostream& out, std::ostream& err) {
  host_session session(settings);
  if (!open_session(session, err)) return exit_failed;
  IBitTorrent2* shell = session.shell();

  int status = exit_ok;
  nlohmann::ordered_json all = nlohmann::ordered_json::array();
  for (const std::string& seed : line.arguments) {
    SEED_FILE_INFO* raw = nullptr;
    const HRESULT hr = shell->ParseSeedFile(to_tag_string(seed), &raw);
    seed_info_ptr info(raw, seed_info_release{shell});
    if (hr != S_OK || !info) {
      status = report_failure(err, "ParseSeedFile", seed, hr);
      if (line.json) all.push_back(seed_failure_json(seed, hr));
      continue;
    }
    if (line.json) {
      all.push_back(seed_info_json(seed, *info));
      continue;
    }
    if (&seed != &line.arguments.front()) out << '\n';
    out << "seed:           " << seed << '\n';
    print_seed_info(out, *info);
  }
  if (line.json) print_json(out, all);
  return status;
}

int run_temp_files(const session_settings& settings, const command_line& line, std::ostream& out,
                   std::ostream& err) {
  host_session session(settings);
  if (!open_session(session, err)) return exit_failed;
  IBitTorrent2* shell = session.shell();
  const std::string& seed = line.arguments[0];
  const std::string folder = folder_argument(line.arguments[1]);

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

  if (line.json) {
    print_json(out, {{"seed", json_text(seed)},
                     {"data_folder", json_text(folder)},
                     {"temp_file_exists", exists == S_OK},
                     {"cfg_files", file_list_json(cfg_files.get())},
                     {"data_files", file_list_json(data_files.get())}});
    return exit_ok;
  }
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

namespace {

// Runs one hub notice with the host's stand-in P2P hub registered, and
// reports what the hub was told. `call` makes the shell's call; `echo` is
// the call as printed, `fields` the same for --json.
template <class Call>
int notify_hub(const session_settings& settings, const command_line& line, const char* operation,
               const std::string& echo, nlohmann::ordered_json fields, Call call, std::ostream& out, std::ostream& err) {
  session_settings with_hub = settings;
  with_hub.p2p_hub = true;
  host_session session(with_hub);
  if (!open_session(session, err)) return exit_failed;
  const std::string& seed = line.arguments[1];  // both notices take it second
  const HRESULT hr = call(session.shell());
  if (hr != S_OK) return report_failure(err, operation, seed, hr);
  const std::vector<p2p_hub::notice> notices = session.host().hub()->notices();
  if (line.json) {
    fields["hub_notices"] = hub_notices_json(notices);
    print_json(out, fields);
    return exit_ok;
  }
  out << operation << "(" << echo << "): " << result_text(hr) << '\n';
  out << "the P2P hub was told:\n";
  print_hub_notices(out, notices);
  return exit_ok;
}

}  // namespace

int run_notify_deleted(const session_settings& settings, const command_line& line, std::ostream& out,
                       std::ostream& err) {
  const std::string folder = folder_argument(line.arguments[0]);
  const std::string& seed = line.arguments[1];
  return notify_hub(
      settings, line, "NotifyHubBtDeleted", folder + ", " + seed,
      {{"data_folder", json_text(folder)}, {"seed", json_text(seed)}},
      [&](IBitTorrent2* shell) { return shell->NotifyHubBtDeleted(to_tag_string(folder), to_tag_string(seed)); },
      out, err);
}

int run_notify_moved(const session_settings& settings, const command_line& line, std::ostream& out,
                     std::ostream& err) {
  const std::string from = folder_argument(line.arguments[0]);
  const std::string& seed = line.arguments[1];
  const std::string to = folder_argument(line.arguments[2]);
  return notify_hub(
      settings, line, "NotifyHubBtMoved", from + ", " + seed + ", " + to,
      {{"old_folder", json_text(from)}, {"seed", json_text(seed)}, {"new_folder", json_text(to)}},
      [&](IBitTorrent2* shell) {
        return shell->NotifyHubBtMoved(to_tag_string(from), to_tag_string(seed), to_tag_string(to));
      },
      out, err);
}

}  // namespace btshell
