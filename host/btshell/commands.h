// btshell's commands. Each runs in a host session of its own and writes its
// report to `out` and its failures to `err`; the result is the exit status.
// The command table (command_table.h) names them.
#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "host/btshell/command_line.h"
#include "host/btshell/host_session.h"
#include "interfaces/IBitTorrent.h"

namespace btshell {

// Records the shell hands out, released through it.
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

// Opens the session; false (the reason written to `err`) when it cannot.
bool open_session(host_session& session, std::ostream& err);
// "btshell: OPERATION SUBJECT: RESULT (meaning)" to `err` (and with --json
// the error object on stdout, error_object.h); returns exit_failed.
int report_failure(std::ostream& err, const std::string& operation, const std::string& subject, HRESULT result);

// The settings of the command line, with the defaults of btshell's tree for
// what it leaves out.
session_settings settings_from(const command_line& line);

// Runs line.command (one that parse_command_line accepted), or prints the
// versions for --version. With --json, a command that fails without
// printing its result prints an error object (error_object.h).
int run_command(const command_line& line, std::ostream& out, std::ostream& err);

// btshell's version and the version note of the plugin module.
int print_versions(const session_settings& settings, std::ostream& out, std::ostream& err);

int run_inspect(const session_settings& settings, const command_line& line, std::ostream& out, std::ostream& err);
int run_temp_files(const session_settings& settings, const command_line& line, std::ostream& out,
                   std::ostream& err);
int run_notify_deleted(const session_settings& settings, const command_line& line, std::ostream& out,
                       std::ostream& err);
int run_notify_moved(const session_settings& settings, const command_line& line, std::ostream& out,
                     std::ostream& err);
// lazy_kernel.cpp
int run_lazy_kernel(const session_settings& settings, const command_line& line, std::ostream& out,
                    std::ostream& err);
// transfer_commands.cpp
int run_download(const session_settings& settings, const command_line& line, std::ostream& out, std::ostream& err);
int run_seed(const session_settings& settings, const command_line& line, std::ostream& out, std::ostream& err);
// settings_command.cpp
int run_settings(const session_settings& settings, const command_line& line, std::ostream& out, std::ostream& err);

// create_command.cpp, verify_command.cpp
int run_create(const session_settings& settings, const command_line& line, std::ostream& out, std::ostream& err);
int run_verify(const session_settings& settings, const command_line& line, std::ostream& out, std::ostream& err);

// The folder as the shell expects it: with a trailing '/'.
std::string folder_argument(const std::string& folder);

}  // namespace btshell
