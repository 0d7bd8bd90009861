// btshell's commands. Each runs in a host session of its own and writes its
// report to `out` and its failures to `err`; the result is the exit status.
// The command table (command_table.h) names them.
#pragma once

#include <ostream>
#include <string>

#include "host/btshell/command_line.h"
#include "host/btshell/host_session.h"

namespace btshell {

// The settings of the command line, with the defaults of btshell's tree for
// what it leaves out.
session_settings settings_from(const command_line& line);

// Runs line.command (one that parse_command_line accepted), or prints the
// versions for --version.
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

// The folder as the shell expects it: with a trailing '/'.
std::string folder_argument(const std::string& folder);

}  // namespace btshell
